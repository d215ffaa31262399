// The in-game scene against the stand-in game server, over real sockets:
// what a player's typing, keys and clicks put on the wire, byte for byte,
// and what the scene shows of the connection's life.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>
#include <utility>

#include "foundation/CMemMan.h"
#include "game/scenes/CMain.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/TextWindow.h"
#include "NullBackend.h"
#include "SceneTestSupport.h"
#include "ServiceTestSupport.h"
#include "StandInSession.h"
#include "TestSupport.h"

namespace {

constexpr int kVkPrior = 33, kVkNext = 34, kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39,
              kVkDown = 40, kVkInsert = 45, kVkDelete = 46;

class StandInGameScene : public StandInSession {
 protected:
  void SetUp() override {
    StandInSession::SetUp();
    if (IsSkipped()) return;
    StartSceneGraphics();
  }
  void TearDown() override {
    if (scene_) delete2(scene_);
    scene_ = nullptr;
    StopSceneGraphics();
    StandInSession::TearDown();
  }

  void Start() { scene_ = new2(CMain, CMain); }

  // Frames of the scene, as the main loop runs them, until the condition
  // holds; false after the time limit.
  bool Frames(const std::function<bool()>& done, int milliseconds = 15000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      scene_->Update(0.01f);
      EndFrameInput();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  void Frame() {
    scene_->Update(0.01f);
    EndFrameInput();
  }

  std::vector<std::string> Chat() const { return ChatLines(*scene_->ChatWindow()); }
  bool ChatHas(const std::string& line) const {
    for (const std::string& text : Chat())
      if (text == line) return true;
    return false;
  }
  std::string GamePort() const {
    std::ifstream address("data\\vant_ip.txt");
    std::string host, port;
    address >> host >> port;
    return port;
  }

  CMain* scene_ = nullptr;
};

TEST_F(StandInGameScene, TypedLinesMovesAndLooksGoOutAsTheseBytes) {
  GameScript(LoginSteps());
  Start();
  EXPECT_EQ(Chat(), (std::vector<std::string>{"Connecting to vantrell server at 127.0.0.1 on port " + GamePort() +
                                                  " ...\n",
                                              "Connected to server.\n"}));
  ASSERT_TRUE(Frames([] { return IsLoggedIn(); }));
  EXPECT_TRUE(ChatHas("Welcome"));
  EXPECT_TRUE(ChatHas("END"));

  // Enter on an empty line sends nothing.
  TypeChar(13);
  Frame();
  // Speech, a whisper, a raw command and an emote; each ends in two line
  // feeds. The second Enter meets the line the first one emptied.
  for (const char* line : {"hello", "/bob hi", "`raw line", ":waves"}) {
    TypeText(line);
    TypeChar(13);
    TypeChar(13);
    Frame();
    EXPECT_EQ(scene_->InputLine(), "");
  }
  // Every movement key, one per frame and several in one.
  for (int key : {kVkUp, kVkPrior, kVkLeft, kVkHome}) {
    TypeKey(key);
    Frame();
  }
  for (int key : {kVkDown, kVkEnd, kVkRight, kVkNext, kVkDelete, kVkInsert}) TypeKey(key);
  Frame();
  // A click looks at the tile under the pointer: the middle of the screen
  // is the own tile, here grid (1040, 2010), which is file tile (40, 10)
  // through the tests' reskew.
  SetViewPosition(1040, 2010);
  UpdateCamera(999);  // the camera there at once
  // Presses inside the scrollbar strip (its corners among them) drag the
  // chat and look at nothing.
  for (const auto& at : {std::pair<int, int>{741, 400}, {741, 301}, {763, 555}}) {
    PressLeft(at.first, at.second);
    Frame();
    EXPECT_TRUE(scene_->IsDragging()) << at.first << "," << at.second;
    ReleaseLeft();
    Frame();
    EXPECT_FALSE(scene_->IsDragging());
  }
  PressLeft(400, 300);
  Frame();
  ReleaseLeft();
  Frame();

  const std::string expected = LoginBytes() +
                               "\"hello\n\n"
                               "wh bob hi\n\n"
                               "raw line\n\n"
                               ":waves\n\n"
                               "m 9\nm 9\nm 7\nm 7\n"
                               "m 1\nm 1\nm 3\nm 3\n>\n<\n"
                               "l  H *\n";
  EXPECT_EQ(GameTranscript(expected), expected);
}

TEST_F(StandInGameScene, AFailedSendIsShownInRedAndTheLineIsDropped) {
  GameScript(LoginSteps());
  Start();
  ASSERT_TRUE(Frames([] { return IsLoggedIn(); }));
  // The socket stays connected; the protocol's sends fail.
  ScriptedConnection failing;
  failing.failSends = true;
  SetServerConnection(&failing);
  TypeText("lost words");
  TypeChar(13);
  Frame();
  EXPECT_EQ(scene_->InputLine(), "");
  const G::Text& last = scene_->ChatWindow()->Lines().back().text;
  EXPECT_EQ(last.GetString(), "SEND TO SERVER FAILED!");
  ASSERT_EQ(last.GetColorChanges().size(), 1u);
  EXPECT_EQ(last.GetColorChanges()[0].position, 0);
  EXPECT_EQ(last.GetColorChanges()[0].color, 0xFFDC9696u);
  SetNetClient(nullptr);
}

TEST_F(StandInGameScene, AfterTheServerHangsUpLinesStayTypedAndNothingIsSent) {
  GameScript({Send("Welcome\nEND\n"), Expect("connect Bob secret\n"), Send("&&&&&&&&&&&&&\n"), Expect(" \n"),
              Send("(see you\n"), HangUp()});
  Start();
  ASSERT_TRUE(Frames([&] { return ChatHas("(Lost Connection to game server)"); }));
  const auto& lines = scene_->ChatWindow()->Lines();
  EXPECT_EQ(lines[lines.size() - 2].text.GetString(), "see you");
  EXPECT_EQ(lines.back().text.GetColorChanges().front().color, 0xFFBFFFBFu);
  TypeText("anyone?");
  TypeChar(13);
  TypeKey(kVkUp);
  Frame();
  EXPECT_EQ(scene_->InputLine(), "anyone?");
  EXPECT_EQ(GameTranscript(LoginBytes()), LoginBytes());
}

// At the renderer's shut-down the transfers are gone and the protocol still
// has the connection; afterwards it has none.
size_t s_transfersAtShutdown;
bool s_sentAtShutdown;
bool s_inShutdown;

TEST_F(StandInGameScene, DestructionEndsTransfersThenTheRendererThenLetsGoOfTheConnection) {
  std::vector<std::string> steps = LoginSteps();
  steps.push_back(Expect("probe\n"));
  GameScript(steps);
  Start();
  ASSERT_TRUE(Frames([] { return IsLoggedIn(); }));
  BeginTransfer("Faraway", 0, "qvrx_tmp\\Faraway");
  s_transfersAtShutdown = 99;
  s_sentAtShutdown = false;
  s_inShutdown = false;
  // The renderer's shut-down deletes its floors, then its walls, whose image
  // is released: the first call between the two is one from inside it.
  NullBackend::Scripted().observer = [](const std::string&) {
    if (s_inShutdown || FloorRendererPtr || !WallRendererPtr) return;
    s_inShutdown = true;
    s_transfersAtShutdown = GetTransferList().size();
    s_sentAtShutdown = SendLine("probe");
  };
  delete2(scene_);
  scene_ = nullptr;
  NullBackend::Scripted().observer = nullptr;
  ASSERT_TRUE(s_inShutdown);
  EXPECT_EQ(WallRendererPtr, nullptr);
  EXPECT_EQ(s_transfersAtShutdown, 0u);
  EXPECT_TRUE(s_sentAtShutdown);
  EXPECT_FALSE(SendLine("after"));
  EXPECT_EQ(GameTranscript(LoginBytes() + "probe\n"), LoginBytes() + "probe\n");
}

}  // namespace
