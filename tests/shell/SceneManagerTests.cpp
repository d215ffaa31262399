// The scene stack against the null backend: pushes and pops, the deferred
// deletion, the first update and the clamp, the per-scene statistics, the
// frame-rate overlay, F11 wireframe and the device callbacks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/CMemMan.h"
#include "foundation/Input.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Font.h"
#include "graphics/RenderState.h"
#include "graphics/Text.h"
#include "NullBackend.h"
#include "shell/SceneManager.h"
#include "TestScenes.h"
#include "TestSupport.h"

namespace {

using NullBackend::CallsStartingWith;

typedef std::vector<std::string> Calls;

class SceneManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    NullBackend::Reset();
    SceneManager::ResetForTests();
    ResetKeyStates();
    liveRecords_ = g_memMan.LiveRecordCount();
  }
  void TearDown() override {
    SceneManager::ResetForTests();
    ResetKeyStates();
    G::ReleaseTextShader();  // made by the overlay's first draw
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
    // Every scene and overlay the manager made or took is gone.
    EXPECT_EQ(g_memMan.LiveRecordCount(), liveRecords_);
  }
  void StartGraphics() {
    G::Setup setup;
    setup.width = 800;
    setup.height = 600;
    ASSERT_TRUE(DXG::Init(nullptr, &setup));
  }
  RecordingScene* Push(const std::string& label, const std::string& name = "") {
    RecordingScene* scene = new2(RecordingScene, RecordingScene(label, name));
    SceneManager::AddScene(scene);
    return scene;
  }
  std::vector<std::string> SceneCalls() { return CallsStartingWith({"A.", "B.", "C."}); }

  int liveRecords_ = 0;
};

TEST_F(SceneManagerTest, PushedSceneBecomesCurrentAndItsFirstUpdateIsShort) {
  Push("A");
  SceneManager::Update(0.02f);
  SceneManager::Update(0.02f);
  Push("B");
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "Unknown");
  SceneManager::PreFrame();
  SceneManager::Draw();
  SceneManager::Update(0.03f);
  SceneManager::Update(0.03f);
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.Update(0.001)", "A.Update(0.02)", "A.OnLeave", "B.OnEnter",
                                 "B.PreFrame", "B.Draw", "B.Update(0.001)", "B.Update(0.03)"}));
}

TEST_F(SceneManagerTest, RemovedSceneIsDeletedAfterTheUpdateAndTheOneBelowGoesOnWithoutOnEnter) {
  Push("A");
  Push("B");
  SceneManager::Update(0.01f);
  NullBackend::ClearCalls();
  SceneManager::RemoveScene();
  EXPECT_EQ(SceneCalls(), (Calls{"B.OnLeave"}));
  SceneManager::Update(0.04f);
  EXPECT_EQ(SceneCalls(), (Calls{"B.OnLeave", "A.Update(0.04)", "B.~"}));
}

TEST_F(SceneManagerTest, SceneThatReplacesItselfLivesUntilItsUpdateReturns) {
  RecordingScene* a = Push("A", "Chooser");
  SceneManager::Update(0.01f);
  a->onUpdate = [this](float) {
    SceneManager::RemoveScene();
    Push("B", "Game");
    NullBackend::Note("A.still-running");
  };
  SceneManager::Update(0.0625f);
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "Game");
  SceneManager::Update(0.0625f);
  SceneManager::Update(0.0625f);
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.Update(0.001)", "A.Update(0.0625)", "A.OnLeave", "B.OnEnter",
                                 "A.still-running", "A.~", "B.Update(0.001)", "B.Update(0.0625)"}));
  // The replacing frame counts for the scene current after it; the
  // successor's short first update does not count.
  LogTail stats("_stat.txt");
  SceneManager::EndAllScenes();
  EXPECT_EQ(stats.Text(),
            "average FPS for invididual scenes:\n"
            "  -Game (over 0 seconds): 16 frames/sec\n"
            "\n");
}

TEST_F(SceneManagerTest, SetSceneLeavesEverySceneAndEntersTheNewOne) {
  Push("A");
  Push("B");
  NullBackend::ClearCalls();
  SceneManager::SetScene(new2(RecordingScene, RecordingScene("C")));
  SceneManager::Update(0.01f);
  EXPECT_EQ(SceneCalls(), (Calls{"B.OnLeave", "A.OnLeave", "C.OnEnter", "C.Update(0.001)", "B.~", "A.~"}));
}

TEST_F(SceneManagerTest, LongFrameIsClampedForTheSceneButNotForTheOverlay) {
  StartGraphics();
  Push("A");
  SceneManager::Update(0.01f);
  SceneManager::Update(2.0f);
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.Update(0.001)", "A.Update(0.25)"}));
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 0\nFPS (last 5 avg): 20");
}

TEST_F(SceneManagerTest, EmptyStackEndsTheProgramAfterDeletingTheRemovedScene) {
  Push("A");
  SceneManager::Update(0.01f);
  SceneManager::RemoveScene();
  EXPECT_TRUE(g_running);
  SceneManager::Update(0.01f);
  EXPECT_FALSE(g_running);
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.Update(0.001)", "A.OnLeave", "A.~"}));
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "none");
}

TEST_F(SceneManagerTest, StatisticsMergeScenesOfOneNameAndAreWrittenOnce) {
  // 6 frames of 1/16 s and 4 of 1/32 s: 10 frames over exactly 0.5 s.
  Push("A", "Same");
  SceneManager::Update(0.01f);  // first update: not counted
  for (int i = 0; i < 6; ++i) SceneManager::Update(0.0625f);
  Push("B", "Same");
  SceneManager::Update(0.01f);
  for (int i = 0; i < 4; ++i) SceneManager::Update(0.03125f);
  Push("C", "Other");
  SceneManager::Update(0.01f);
  for (int i = 0; i < 3; ++i) SceneManager::Update(0.5f);  // clamped to 0.25

  LogTail stats("_stat.txt");
  SceneManager::EndAllScenes();
  const std::string expected =
      "average FPS for invididual scenes:\n"
      "  -Same (over 0 seconds): 20 frames/sec\n"
      "  -Other (over 0 seconds): 4 frames/sec\n"
      "\n";
  EXPECT_EQ(stats.Text(), expected);
  SceneManager::EndAllScenes();
  SceneManager::Shutdown();
  EXPECT_EQ(stats.Text(), expected);
  // Every scene left; none is deleted before the shut-down, which deletes
  // them in the order they left.
  Calls calls = SceneCalls();
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(Calls(calls.end() - 6, calls.end()), (Calls{"C.OnLeave", "B.OnLeave", "A.OnLeave", "C.~", "B.~", "A.~"}));
}

TEST_F(SceneManagerTest, StatisticsOfARunWithoutCountedFramesAreAnEmptyLine) {
  Push("A");
  SceneManager::Update(0.01f);
  LogTail stats("_stat.txt");
  SceneManager::Shutdown();
  EXPECT_EQ(stats.Text(), "\n");
}

TEST_F(SceneManagerTest, SecondsOverOneAreWrittenTruncated) {
  Push("A", "Long");
  SceneManager::Update(0.01f);
  for (int i = 0; i < 7; ++i) SceneManager::Update(0.25f);  // 1.75 s
  LogTail stats("_stat.txt");
  SceneManager::EndAllScenes();
  EXPECT_EQ(stats.Text(),
            "average FPS for invididual scenes:\n"
            "  -Long (over 1 seconds): 4 frames/sec\n"
            "\n");
}

TEST_F(SceneManagerTest, SceneThatRanNoTimeAtAllHasNoRate) {
  Push("A", "Frozen");
  SceneManager::Update(0.01f);
  SceneManager::Update(0.0f);
  SceneManager::Update(0.0f);
  LogTail stats("_stat.txt");
  SceneManager::EndAllScenes();
  EXPECT_EQ(stats.Text(),
            "average FPS for invididual scenes:\n"
            "  -Frozen (over 0 seconds): 0 frames/sec\n"
            "\n");
}

TEST_F(SceneManagerTest, NullPushAndEmptyPopAreLoggedWithTheCaller) {
  LogTail errors;
  SceneManager::AddScene(nullptr);
  SceneManager::RemoveScene();
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Bad.. attempt to add null pointer as a scene.\n"
            "  -attempt made from:\n"
            "\n"
            "Bad.. attempt to remove a scene when none exist.\n"
            "  -attempt made from:\n"
            "\n");
#ifdef _WIN32
  // Under each heading the caller's stack: at least one frame, this test's
  // among them (the native build writes no frames).
  const std::vector<std::string> lines = Lines(errors.Text());
  int headings = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "  -attempt made from:") continue;
    ++headings;
    size_t end = i + 1;
    bool namesTheTest = false;
    while (end < lines.size() && (lines[end].compare(0, 3, "   ") == 0 || lines[end].compare(0, 3, "  (") == 0)) {
      if (lines[end].find("NullPushAndEmptyPopAreLoggedWithTheCaller") != std::string::npos) namesTheTest = true;
      ++end;
    }
    EXPECT_GT(end, i + 1) << "no frames after heading " << headings;
    EXPECT_TRUE(namesTheTest) << errors.Text();
  }
  EXPECT_EQ(headings, 2);
#endif
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "none");
  // A null push changes nothing: the next scene's first update is still short.
  Push("A");
  SceneManager::Update(0.02f);
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.Update(0.001)"}));
}

// The 2D state at the moment of the overlay's draw (a text sets its vertex
// buffer just before it draws; the draw itself is not shown to observers).
struct DrawState {
  Matrix4 projection, view, world;
  int viewport[4];
  bool seen;
};
DrawState g_atOverlayDraw;
void NoteStateAtDraw(const std::string& call) {
  if (call != "VertexBuffer::Set") return;
  g_atOverlayDraw.projection = G::GetProjectionMatrix();
  g_atOverlayDraw.view = G::GetViewMatrix();
  g_atOverlayDraw.world = G::GetWorldMatrix();
  G::GetViewport(g_atOverlayDraw.viewport[0], g_atOverlayDraw.viewport[1], g_atOverlayDraw.viewport[2],
                 g_atOverlayDraw.viewport[3]);
  g_atOverlayDraw.seen = true;
}
std::vector<float> Elements(const Matrix4& m) { return std::vector<float>(m.m, m.m + 16); }

// The bytes of the vertices a buffer draw used.
std::string DrawnVertices(const NullBackend::BufferDraw& draw) {
  int triangles = 0;
  std::sscanf(draw.call.c_str(), "RenderTris(%d", &triangles);
  const char* bytes = reinterpret_cast<const char*>(NullBackend::VertexBufferMemory(draw.vertexBuffer));
  return std::string(bytes, bytes + 3 * triangles * draw.vertexBuffer->vertexSize);
}
std::string VerticesOfTextAt(const std::string& string, float x, float y) {
  G::Text text;
  text = string;
  text.SetPosition(x, y);
  text.Draw();
  return DrawnVertices(NullBackend::BufferDraws().back());
}

TEST_F(SceneManagerTest, OverlayShowsTheRateAndTheFiveFrameAverage) {
  RecordingScene* scene = Push("A");
  SceneManager::Update(0.01f);
  EXPECT_EQ(SceneManager::OverlayText(), "") << "no overlay before graphics is up";
  SceneManager::Draw();
  EXPECT_TRUE(CallsStartingWith({"UnbindShader"}).empty());

  // Frame times of binary fractions, so the rates are exact.
  StartGraphics();
  SceneManager::Update(1.0f / 512);  // history 0, 0, 0, 0
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 512\nFPS (last 5 avg): 102");
  SceneManager::Update(1.0f / 256);  // (256 + 512) / 5
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 256\nFPS (last 5 avg): 153");
  SceneManager::Update(0.0f);  // no rate for no time: the text stays
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 256\nFPS (last 5 avg): 153");
  for (int i = 0; i < 4; ++i) SceneManager::Update(1.0f / 128);
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 128\nFPS (last 5 avg): 153");  // (4 x 128 + 256) / 5
  SceneManager::Update(1.0f / 128);  // the 512 and 256 have left the history
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 128\nFPS (last 5 avg): 128");

  // The scene leaves a 2D mode of its own and moved matrices; the overlay
  // is drawn after it in fixed function, in 2D over the whole screen.
  scene->onDraw = [] {
    G::Set2DMode(40, 300, 700, 250);
    Matrix4 moved = Matrix4::Identity();
    moved[3][0] = 7;
    G::SetWorldMatrix(moved);
    G::SetViewMatrix(moved);
  };
  g_atOverlayDraw = DrawState();
  NullBackend::Scripted().observer = NoteStateAtDraw;
  NullBackend::ClearCalls();
  SceneManager::Draw();
  NullBackend::Scripted().observer = nullptr;
  Calls drawn = CallsStartingWith({"A.", "UnbindShader", "SetViewport", "RenderTris"});
  ASSERT_EQ(drawn.size(), 5u);
  EXPECT_EQ(drawn[0], "A.Draw");
  EXPECT_EQ(drawn[1], "SetViewport(40,300,700,250)");
  EXPECT_EQ(drawn[2], "UnbindShader");
  EXPECT_EQ(drawn[3], "SetViewport(0,0,800,600)");
  EXPECT_EQ(drawn[4].compare(0, 10, "RenderTris"), 0);
  ASSERT_TRUE(g_atOverlayDraw.seen);
  const NullBackend::BufferDraw overlay = NullBackend::BufferDraws().back();
  G::Set2DModeFullScreen();
  EXPECT_EQ(Elements(g_atOverlayDraw.projection), Elements(G::GetProjectionMatrix()));
  EXPECT_EQ(Elements(g_atOverlayDraw.view), Elements(G::GetViewMatrix()));
  EXPECT_EQ(Elements(g_atOverlayDraw.world), Elements(G::GetWorldMatrix()));
  EXPECT_EQ(std::vector<int>(g_atOverlayDraw.viewport, g_atOverlayDraw.viewport + 4),
            (std::vector<int>{0, 0, 800, 600}));

  // The text stands at (5, 5): its vertices are those of the same text
  // placed there (and not those of it at the origin).
  const std::string vertices = DrawnVertices(overlay);
  ASSERT_FALSE(vertices.empty());
  EXPECT_TRUE(vertices == VerticesOfTextAt(SceneManager::OverlayText(), 5, 5));
  EXPECT_FALSE(vertices == VerticesOfTextAt(SceneManager::OverlayText(), 0, 0));
}

TEST_F(SceneManagerTest, F11DrawsTheSceneInWireframe) {
  Push("A");
  NullBackend::ClearCalls();
  SceneManager::Draw();
  EXPECT_EQ(CallsStartingWith({"A.", "Clear", "SetRenderState"}), (Calls{"A.Draw"}));

  unsigned char keys[256] = {};
  keys[87] = 0x80;
  AdvanceKeyState(keys);
  NullBackend::ClearCalls();
  SceneManager::Draw();
  EXPECT_EQ(CallsStartingWith({"A.", "Clear", "SetRenderState"}),
            (Calls{"Clear(0x00000000,1,0,0,0)", "SetRenderState(6,1)", "A.Draw", "SetRenderState(6,0)"}));
}

TEST_F(SceneManagerTest, PreFrameAndDrawOfAnEmptyStackDoNothing) {
  SceneManager::PreFrame();
  SceneManager::Draw();
  EXPECT_TRUE(NullBackend::Calls().empty());
}

TEST_F(SceneManagerTest, DeviceLossIsLoggedPerSceneAndDropsTheOverlay) {
  StartGraphics();
  Push("A");
  Push("B");
  SceneManager::Update(0.01f);
  ASSERT_NE(SceneManager::OverlayText(), "");
  LogTail errors;
  G::SetDeviceLost(true);
  EXPECT_EQ(errors.Text(),
            "Release junk removed... it was only an old dx hack.\n"
            "Release junk removed... it was only an old dx hack.\n");
  EXPECT_EQ(SceneManager::OverlayText(), "");
  NullBackend::ClearCalls();
  SceneManager::Draw();
  EXPECT_TRUE(CallsStartingWith({"UnbindShader"}).empty());

  G::SetDeviceLost(false);
  EXPECT_EQ(errors.Text(),
            "Release junk removed... it was only an old dx hack.\n"
            "Release junk removed... it was only an old dx hack.\n"
            "Restore junk removed... it was only an old dx hack.\n"
            "Restore junk removed... it was only an old dx hack.\n");
  SceneManager::Update(0.01f);  // made again
  EXPECT_EQ(SceneManager::OverlayText(), "FPS: 100\nFPS (last 5 avg): 40");
}

TEST_F(SceneManagerTest, DeviceCallbacksAreRegisteredOnceOnTheFirstPush) {
  size_t lost = G::DeviceLostCallbacks.size();
  size_t restored = G::DeviceRestoredCallbacks.size();
  SceneManager::AddScene(nullptr);  // the first call, even a refused one
  EXPECT_EQ(G::DeviceLostCallbacks.size(), lost + 1);
  EXPECT_EQ(G::DeviceRestoredCallbacks.size(), restored + 1);
  Push("A");
  Push("B");
  EXPECT_EQ(G::DeviceLostCallbacks.size(), lost + 1);
  EXPECT_EQ(G::DeviceRestoredCallbacks.size(), restored + 1);
}

TEST_F(SceneManagerTest, ShutdownDeletesEverySceneAndTheOverlay) {
  StartGraphics();
  Push("A");
  Push("B");
  SceneManager::Update(0.01f);
  SceneManager::RemoveScene();
  int before = g_memMan.LiveRecordCount();
  SceneManager::Shutdown();
  EXPECT_EQ(SceneCalls(), (Calls{"A.OnEnter", "A.OnLeave", "B.OnEnter", "B.Update(0.001)", "B.OnLeave", "A.OnLeave",
                                 "B.~", "A.~"}));
  EXPECT_EQ(g_memMan.LiveRecordCount(), before - 3);  // two scenes and the overlay
  EXPECT_EQ(SceneManager::OverlayText(), "");
}

}  // namespace
