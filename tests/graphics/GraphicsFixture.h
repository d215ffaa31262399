// The fixture most graphics tests share: a fresh null backend, started with
// an 800 x 600 window set-up, and shut down again afterwards.
#pragma once
#include <gtest/gtest.h>

#include "NullBackend.h"
#include "TestSupport.h"
#include "graphics/Device.h"

class GraphicsTest : public testing::Test {
 protected:
  void SetUp() override {
    NullBackend::Reset();
    G::Setup setup;
    setup.colour32 = true;
    setup.width = 800;
    setup.height = 600;
    setup.vertexProcessing = 1;
    setup.multithreaded = true;
    ASSERT_TRUE(DXG::Init(nullptr, &setup));
    NullBackend::ClearCalls();
  }
  void TearDown() override {
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
  }
};
