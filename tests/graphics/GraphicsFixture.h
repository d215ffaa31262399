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
    ASSERT_TRUE(NullBackend::ResetAndStart());
    NullBackend::ClearCalls();
  }
  void TearDown() override {
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
  }
};
