// The world renderer's fixture on the null backend: started at 800 x 600
// with the bone allocator, the program's data in the working folder, an empty
// world and a running renderer; everything back off afterwards.
#pragma once
#include <gtest/gtest.h>

#include "foundation/Input.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/Device.h"
#include "graphics/Font.h"
#include "graphics/GBMesh.h"
#include "NullBackend.h"
#include "TestSupport.h"
#include "WorldTestSupport.h"

class WorldTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(NullBackend::ResetAndStart(false));
    G::CreateBoneAllocator();
    CopyWorldData();
    SetViewPosition(0, 0);
    ClearAvatars();
    ClearPortals();
    ResetKeyStates();
    CameraYaw = 0.7853982f;
    ASSERT_TRUE(InitRenderer());
    NullBackend::ClearCalls();
    NullBackend::ClearDrawnBlocks();
  }

  void TearDown() override {
    ShutdownRenderer();
    G::ReleaseTextShader();  // made by the first label drawn
    G::ClearLoadedModels();
    G::DestroyBoneAllocator();
    ClearAvatars();
    ClearPortals();
    SetViewPosition(0, 0);
    ResetKeyStates();
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
  }
};
