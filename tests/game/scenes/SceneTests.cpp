// The character chooser and the in-game scene on the null backend, each test
// in a working folder of its own that holds the program's data/ folder. What
// crosses the network is in SceneSessionTests.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "foundation/CMemMan.h"
#include "foundation/CProfiler.h"
#include "foundation/Input.h"
#include "game/formats/ColorTables.h"
#include "game/scenes/CChooseINI.h"
#include "game/scenes/CMain.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"
#include "game/service/VantFileGetter.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/TextWindow.h"
#include "graphics/VertexBuffer.h"
#include "NullBackend.h"
#include "SceneTestSupport.h"
#include "shell/SceneManager.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// DirectInput key codes and virtual keys.
constexpr int kDikEnter = 28, kDikUp = 200, kDikDown = 208, kDikLeftControl = 29, kDikRightControl = 157;
constexpr int kVkPrior = 33, kVkNext = 34, kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39,
              kVkDown = 40, kVkInsert = 45, kVkDelete = 46;

std::string PlayerFile(const std::string& name, const std::string& password) {
  return "V1.6\r\nName=" + name + "\r\nPassword=" + password + "\r\nColors=##########\r\nDesc=About " + name +
         "\r\nSpec=12\r\n";
}

class SceneFolder : public testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    fs::path folder = home_ / "scenes" / (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(fs::path(SourceDir()) / "data", folder / "data", fs::copy_options::recursive);
    fs::current_path(folder);
    StartSceneGraphics();
    SceneManager::ResetForTests();
    GetPlayerInfo() = PlayerInfo();
    DrainQueue();
  }
  void TearDown() override {
    SceneManager::Shutdown();
    SceneManager::ResetForTests();
    while (!GetTransferList().empty()) EndTransfer(GetTransferList().front());
    StopSceneGraphics();
    GetPlayerInfo() = PlayerInfo();
    fs::current_path(home_);
  }
  static void DrainQueue() {
    std::string line;
    while (PopMessage(line)) {
    }
  }

  fs::path home_;
};

// ---------------------------------------------------------------- chooser

using Chooser = SceneFolder;

TEST_F(Chooser, ListsPlayerFilesByNameLessServiceFilesAndFilesThatDoNotLoad) {
  WriteFileBytes("Alice.ini", PlayerFile("Alice", "a"));
  WriteFileBytes("Bramble.ini", PlayerFile("Bramble", "b"));
  WriteFileBytes("broken.ini", "V1.6\r\nName=Broken\r\n");  // incomplete
  WriteFileBytes("long.inix", PlayerFile("Long", "l"));      // not a three-letter extension
  WriteFileBytes("notes.txt", PlayerFile("Notes", "n"));
  for (const char* name : {"settings.ini", "soundlist.ini", "skilllevels.ini", "sndlist.ini", "DSEditor.ini",
                           "dslist2.ini", "dslist.ini", "editor.ini"})
    WriteFileBytes(name, PlayerFile("Service", "s"));

  std::vector<std::string> found;
  CChooseINI::FindIniFiles(found);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Alice.ini", "Bramble.ini", "DSEditor.ini", "broken.ini", "dslist.ini",
                                             "dslist2.ini", "editor.ini", "settings.ini", "skilllevels.ini",
                                             "sndlist.ini", "soundlist.ini"}));

  LogTail errors;
  CChooseINI chooser;
  std::vector<std::string> labels, files;
  for (const CChooseINI::Entry& entry : chooser.Entries()) {
    labels.push_back(entry.label);
    files.push_back(entry.fileName);
  }
  // In the order of the search.
  std::vector<std::string> searchOrder;
  CChooseINI::FindIniFiles(searchOrder);
  std::vector<std::string> expectedFiles;
  for (const std::string& name : searchOrder)
    if (name == "Alice.ini" || name == "Bramble.ini") expectedFiles.push_back(name);
  EXPECT_EQ(files, expectedFiles);
  std::vector<std::string> expectedLabels;
  for (const std::string& name : expectedFiles)
    expectedLabels.push_back(name == "Alice.ini" ? "Alice (Alice.ini)" : "Bramble (Bramble.ini)");
  EXPECT_EQ(labels, expectedLabels);
  EXPECT_EQ(chooser.ListText().GetString(), expectedLabels[0] + "\n\n" + expectedLabels[1] + "\n\n");
  EXPECT_EQ(chooser.ListText().GetX(), 310);
  EXPECT_EQ(chooser.ListText().GetY(), 250);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Could not load all vital data fields from player .ini: broken.ini\n");

  EXPECT_EQ(chooser.TitleText().GetString(), "  Quorvex Client\n");
  EXPECT_EQ(chooser.TitleText().GetFontSize(), 48);
  EXPECT_EQ(chooser.TitleText().GetFontName(), "times new roman");
  EXPECT_EQ(chooser.TitleText().GetX(), 175);
  EXPECT_EQ(chooser.TitleText().GetY(), 30);
  ASSERT_NE(chooser.PointerImage().Record(), nullptr);
  EXPECT_EQ(chooser.PointerImage().Record()->name, "data\\pickINI.bmp");
  EXPECT_EQ(chooser.SelectedIndex(), 0);
  EXPECT_EQ(chooser.Phase(), 0);
}

TEST_F(Chooser, ExclusionIsByExactNameSoAnUpperCaseSettingsFileIsListed) {
  WriteFileBytes("SETTINGS.INI", PlayerFile("Shouty", "s"));
  CChooseINI chooser;
  ASSERT_EQ(chooser.Entries().size(), 1u);
  EXPECT_EQ(chooser.Entries()[0].label, "Shouty (SETTINGS.INI)");
}

TEST_F(Chooser, WithoutPlayerFilesItShowsTheErrorAndKeysDoNothing) {
  WriteFileBytes("settings.ini", PlayerFile("Service", "s"));
  WriteFileBytes("broken.ini", "V1.6\r\n\r\nName=Late\r\n");
  LogTail errors;
  CChooseINI chooser;
  EXPECT_TRUE(chooser.Entries().empty());
  EXPECT_EQ(chooser.ListText().GetString(),
            "ERROR: No valid player .ini files found.\n\nPlease verify that you put Quorvex inside of Vantrell's\n"
            "   Directory, as it relies on some of Vantrell's data files.");
  EXPECT_EQ(chooser.ListText().GetX(), 200);
  EXPECT_EQ(chooser.ListText().GetY(), 300);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Could not load all vital data fields from player .ini: broken.ini\n"
            "No valid player .ini files found.\n");

  for (int key : {kDikDown, kDikUp, kDikEnter}) {
    HoldKeys({});
    HoldKeys({key});
    chooser.Update(0.5f);
  }
  EXPECT_EQ(chooser.SelectedIndex(), 0);
  EXPECT_EQ(chooser.Phase(), 0);
  NullBackend::ClearDrawnBlocks();
  NullBackend::ClearCalls();
  chooser.Draw();
  EXPECT_TRUE(SpritesOf(chooser.PointerImage()).empty());
  EXPECT_EQ(NullBackend::Calls().front(), "Clear(0x00000000,1,1,1,0)");
}

TEST_F(Chooser, ArrowsWrapAroundAndOnlyANewPressCounts) {
  for (const char* name : {"A.ini", "B.ini", "C.ini"}) WriteFileBytes(name, PlayerFile(name, "pw"));
  CChooseINI chooser;
  ASSERT_EQ(chooser.Entries().size(), 3u);
  struct Step {
    std::vector<int> keys;
    int selected;
  };
  const Step steps[] = {
      {{kDikUp}, 2},    // up on the first selects the last
      {{kDikUp}, 2},    // still held: no new press
      {{}, 2},          {{kDikDown}, 0},  // down on the last selects the first
      {{}, 0},          {{kDikDown}, 1},
      {{kDikDown, kDikUp}, 0},  // down held, up new
      {{}, 0},          {{kDikUp, kDikDown}, 0},  // both new: up and down
  };
  int i = 0;
  for (const Step& step : steps) {
    HoldKeys(step.keys);
    chooser.Update(0.01f);
    EXPECT_EQ(chooser.SelectedIndex(), step.selected) << "step " << i;
    ++i;
  }
}

TEST_F(Chooser, PointerSwingsEightPixelsAroundItsEntryOncePerSecond) {
  for (const char* name : {"A.ini", "B.ini"}) WriteFileBytes(name, PlayerFile(name, "pw"));
  CChooseINI chooser;
  HoldKeys({});
  HoldKeys({kDikDown});
  chooser.Update(0.25f);  // a quarter swing: the pointer at its right end
  EXPECT_FLOAT_EQ(chooser.Phase(), 6.2831855f * 0.25f);
  NullBackend::ClearDrawnBlocks();
  NullBackend::ClearCalls();
  chooser.Draw();
  std::vector<SpriteAt> sprites = SpritesOf(chooser.PointerImage());
  ASSERT_EQ(sprites.size(), 1u);
  EXPECT_NEAR(sprites[0].x, 278, 0.01);
  EXPECT_NEAR(sprites[0].y, 238 + 32, 0.01);

  HoldKeys({});
  chooser.Update(0.5f);  // three quarters: the left end
  NullBackend::ClearDrawnBlocks();
  chooser.Draw();
  sprites = SpritesOf(chooser.PointerImage());
  ASSERT_EQ(sprites.size(), 1u);
  EXPECT_NEAR(sprites[0].x, 262, 0.01);
  EXPECT_EQ(NullBackend::Calls().front(), "Clear(0x00000000,1,1,1,0)");
}

TEST_F(Chooser, EnterLoadsTheChosenFileAndHandsOverToTheGame) {
  for (const char* name : {"A.ini", "B.ini", "C.ini"}) WriteFileBytes(name, PlayerFile(name, std::string("pw-") + name));
  CChooseINI* chooser = new2(CChooseINI, CChooseINI);
  SceneManager::AddScene(chooser);
  SceneManager::Update(0.01f);
  // Whatever the search order, the second entry is the one chosen.
  const std::string chosen = chooser->Entries()[1].fileName;
  HoldKeys({kDikDown});
  SceneManager::Update(0.01f);
  HoldKeys({kDikEnter});
  SceneManager::Update(0.01f);
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "CMain");
  EXPECT_EQ(GetPlayerInfo().Name, chosen);
  EXPECT_EQ(GetPlayerInfo().Password, "pw-" + chosen);
  EXPECT_NE(FloorRendererPtr, nullptr);  // the game started the world renderer
  // The chooser went with the update; the game is the only scene left.
  SceneManager::RemoveScene();
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "none");
}

TEST_F(Chooser, AChosenFileThatNoLongerLoadsKeepsTheChooserOnTheFolderAsItIsNow) {
  for (const char* name : {"A.ini", "B.ini"}) WriteFileBytes(name, PlayerFile(name, std::string("pw-") + name));
  CChooseINI* chooser = new2(CChooseINI, CChooseINI);
  SceneManager::AddScene(chooser);
  const std::string chosen = chooser->Entries()[0].fileName;
  const std::string other = chooser->Entries()[1].fileName;
  WriteFileBytes(chosen, "V1.6\r\nName=Half\r\n");
  HoldKeys({kDikEnter});
  SceneManager::Update(0.01f);
  // Not logged in as the other character, whose fields the store held last.
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "CChooseINI");
  ASSERT_EQ(chooser->Entries().size(), 1u);
  EXPECT_EQ(chooser->Entries()[0].fileName, other);
  EXPECT_EQ(chooser->SelectedIndex(), 0);
  EXPECT_EQ(FloorRendererPtr, nullptr);  // no game, no world renderer

  HoldKeys({});
  HoldKeys({kDikEnter});
  SceneManager::Update(0.01f);
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "CMain");
  EXPECT_EQ(GetPlayerInfo().Name, other);
}

// ---------------------------------------------------------------- in-game scene

using InGame = SceneFolder;

TEST_F(InGame, WithoutTheAddressFileItSaysSoAndTheConnectionFails) {
  LogTail errors;
  CMain scene;
  EXPECT_EQ(ChatLines(*scene.ChatWindow()),
            (std::vector<std::string>{"Failed to load vant's ip and port from \\data\\vant_ip.txt file.\n",
                                      "CONNECTION TO SERVER FAILED.\n"}));
  for (const G::TextWindowLine& line : scene.ChatWindow()->Lines()) EXPECT_TRUE(line.text.GetColorChanges().empty());
  EXPECT_EQ(MaskCallStacks(errors.Text()).substr(0, 92),
            "Failed to load vant's ip and port from file.\n"
            "Unable to resolve host \"Failed to load\" port 0\n");
  EXPECT_FALSE(scene.Connection().IsConnected());
  EXPECT_NE(FloorRendererPtr, nullptr);  // the world renderer runs
  ASSERT_NE(scene.ScrollTrack().Record(), nullptr);
  ASSERT_NE(scene.ScrollThumb().Record(), nullptr);
  EXPECT_EQ(scene.ScrollTrack().Record()->name, "data\\ui\\sbar0.png");
  EXPECT_EQ(scene.ScrollThumb().Record()->name, "data\\ui\\sbar1.png");
  EXPECT_EQ(scene.ChatWindow()->GetScroll(), 1);
  EXPECT_EQ(scene.InputText().GetX(), 50);
  EXPECT_EQ(scene.InputText().GetY(), 555);
  EXPECT_EQ(scene.InputText().GetWrapWidth(), 700);
}

TEST_F(InGame, WithTheAddressOfNoServerItNamesTheAddressAndTheConnectionFails) {
  WriteFileText("data\\vant_ip.txt", "127.0.0.1 1\n");
  CMain scene;
  EXPECT_EQ(ChatLines(*scene.ChatWindow()),
            (std::vector<std::string>{"Connecting to vantrell server at 127.0.0.1 on port 1 ...\n",
                                      "CONNECTION TO SERVER FAILED.\n"}));
}

TEST_F(InGame, MakesItsChatWindowAndLoadsTheColourTables) {
  fs::create_directories("data/colors");
  WriteFileText("data/colors/colors.txt", "Teal 0 128 128\nEnd\n");
  WriteFileText("data/colors/vest.txt", "7 Teal\n-1\n");
  std::memset(PartColorTables, 0, sizeof PartColorTables);
  CMain scene;
  EXPECT_EQ(PartColorTables[kPartVest][7].g, 128);
  EXPECT_EQ(PartColorTables[kPartVest][7].b, 128);
  std::memset(PartColorTables, 0, sizeof PartColorTables);

  G::TextWindow& chat = *scene.ChatWindow();
  const TrackedRecord record = TrackedRecordOf(&chat);
  EXPECT_EQ(record.typeName, "G::TextWindow");
  EXPECT_EQ(record.file, "code/game/scenes/CMain.cpp");

  // At most 60 lines, each in the default face at size 16, proportional,
  // 700 wide from x 40; the newest ends on the bottom edge at y 550, and
  // scrolled to the top the oldest starts at y 300.
  for (int i = 0; i < 70; ++i) chat.AddLine(G::Text("line " + std::to_string(i)));
  ASSERT_EQ(chat.Lines().size(), 60u);
  EXPECT_EQ(chat.Lines().front().text.GetString(), "line 10");
  for (const G::TextWindowLine& line : chat.Lines()) {
    EXPECT_EQ(line.text.GetX(), 40);
    EXPECT_EQ(line.text.GetWrapWidth(), 700);
    EXPECT_EQ(line.text.GetFontSize(), 16);
    EXPECT_EQ(line.text.GetFontName(), "");
    EXPECT_FALSE(line.text.IsFixedWidth());
    EXPECT_EQ(line.text.GetFixedAdvance(), 0.5f);
  }
  EXPECT_FLOAT_EQ(chat.Lines().back().text.GetY() + chat.Lines().back().height, 550);
  chat.SetScroll(0);
  EXPECT_FLOAT_EQ(chat.Lines().front().text.GetY(), 300);
  // It draws in 2D over its own rectangle.
  NullBackend::ClearCalls();
  chat.Draw();
  EXPECT_EQ(NullBackend::CallsStartingWith({"SetViewport"}), (std::vector<std::string>{"SetViewport(40,300,700,250)"}));
}

TEST_F(InGame, StatusLinesAreColouredLineByLineByTheirFirstCharacter) {
  CMain scene;
  const int before = static_cast<int>(scene.ChatWindow()->Lines().size());
  PushMessage("(hello\n*oops\n[note\nplain\n>done");
  PushMessage("> Downloading Dream...");
  PushMessage("says hi\n*but this is red");
  PushMessage("");
  scene.Update(0.01f);
  const auto& lines = scene.ChatWindow()->Lines();
  ASSERT_EQ(static_cast<int>(lines.size()), before + 4);
  const G::Text& first = lines[before].text;
  EXPECT_EQ(first.GetString(), "(hello\n*oops\n[note\nplain\n>done");
  std::vector<std::pair<int, unsigned>> changes;
  for (const G::ColorChange& change : first.GetColorChanges()) changes.push_back({change.position, change.color});
  EXPECT_EQ(changes, (std::vector<std::pair<int, unsigned>>{
                         {0, 0xFFBFFFBF}, {7, 0xFFFFBFBF}, {13, 0xFFBFBFFF}, {19, 0xFFFFFFFF}, {25, 0xFFBFFFBF}}));
  ASSERT_EQ(lines[before + 1].text.GetColorChanges().size(), 1u);
  EXPECT_EQ(lines[before + 1].text.GetColorChanges()[0].color, 0xFFBFFFBFu);
  changes.clear();
  for (const G::ColorChange& change : lines[before + 2].text.GetColorChanges())
    changes.push_back({change.position, change.color});
  EXPECT_EQ(changes, (std::vector<std::pair<int, unsigned>>{{0, 0xFFFFFFFF}, {8, 0xFFFFBFBF}}));
  EXPECT_EQ(lines[before + 2].text.GetString(), "says hi\n*but this is red");
  EXPECT_EQ(lines[before + 3].text.GetString(), "");
}

TEST_F(InGame, TypingEditsTheInputLineAndAnUnconnectedEnterKeepsIt) {
  CMain scene;
  TypeText("hex");
  TypeChar(8);  // backspace
  TypeText("llo");
  scene.Update(0.01f);
  EXPECT_EQ(scene.InputLine(), "hello");
  EXPECT_EQ(scene.InputText().GetString(), "hello");

  // Printable characters typed with either Control key held are not added.
  for (int control : {kDikLeftControl, kDikRightControl}) {
    HoldKeys({control});
    TypeText("ab");
    scene.Update(0.01f);
  }
  HoldKeys({});
  EXPECT_EQ(scene.InputLine(), "hello");

  // Enter and the movement keys need a connection; codes outside 32..126 are
  // not added.
  TypeChar(13);
  for (int key : {kVkUp, kVkDelete, kVkInsert}) TypeKey(key);
  TypeChar(0xE9);
  TypeChar(9);
  scene.Update(0.01f);
  EXPECT_EQ(scene.InputLine(), "hello");

  for (int i = 0; i < 7; ++i) TypeChar(8);  // backspaces past the start do nothing
  scene.Update(0.01f);
  EXPECT_EQ(scene.InputLine(), "");
  EXPECT_EQ(scene.InputText().GetString(), "");
  EXPECT_EQ(ChatLines(*scene.ChatWindow()).size(), 2u);  // no send-failed line
}

TEST_F(InGame, UpdatePollsReadsInputThenRunsTheDreamStepAndTheRenderer) {
  SetViewPosition(0, 0);
  CMain scene;
  // The own tile moved: the renderer's update turns the camera toward it,
  // after the hover pick, which still saw the camera where it was.
  SetViewPosition(30, 10);
  int tileX = 0, tileY = 0;
  PickTile(400, 120, tileX, tileY);
  MoveMouse(400, 120);
  scene.Update(0.25f);
  EXPECT_EQ(SelectedTile.x, tileX);
  EXPECT_EQ(SelectedTile.y, tileY);
  EXPECT_EQ(ViewCentre.x, 30);
  EXPECT_EQ(ViewCentre.y, 10);
  int nowX = 0, nowY = 0;
  PickTile(400, 120, nowX, nowY);
  EXPECT_NE(std::make_pair(nowX, nowY), std::make_pair(tileX, tileY));
  SetViewPosition(0, 0);
}

TEST_F(InGame, ScrollbarDragAndWheelMoveTheChat) {
  CMain scene;
  G::TextWindow& chat = *scene.ChatWindow();
  SetSelectedTile(-99, -99);

  // x 740 is left of the strip: a click there looks at a tile (the tile
  // under the pointer is highlighted too).
  int tileX = 0, tileY = 0;
  PickTile(740, 400, tileX, tileY);
  PressLeft(740, 400);
  scene.Update(0.01f);
  EndFrameInput();
  ReleaseLeft();
  EXPECT_FALSE(scene.IsDragging());
  EXPECT_EQ(chat.GetScroll(), 1);
  EXPECT_EQ(SelectedTile.x, tileX);
  EXPECT_EQ(SelectedTile.y, tileY);

  // The strip's corners start a drag; the scroll follows the pointer while
  // the button is held, clamped to 0..1.
  struct Case {
    int x, y;
    bool drags;
  };
  for (const Case& c : {Case{741, 301, true}, Case{763, 555, true}, Case{764, 400, false}, Case{741, 300, false},
                        Case{741, 556, false}}) {
    chat.SetScroll(0.5f);
    PressLeft(c.x, c.y);
    scene.Update(0.01f);
    EndFrameInput();
    EXPECT_EQ(scene.IsDragging(), c.drags) << c.x << "," << c.y;
    if (c.drags) {
      EXPECT_FLOAT_EQ(chat.GetScroll(), std::clamp((c.y - 316) * 0.004464286f, 0.0f, 1.0f)) << c.y;
    }
    ReleaseLeft();
    scene.Update(0.01f);
    EXPECT_FALSE(scene.IsDragging());
  }

  PressLeft(750, 400);
  scene.Update(0.01f);
  EndFrameInput();
  EXPECT_FLOAT_EQ(chat.GetScroll(), 84 * 0.004464286f);
  MoveMouse(752, 200);  // above the strip, still held
  scene.Update(0.01f);
  EXPECT_EQ(chat.GetScroll(), 0);
  MoveMouse(752, 600);
  scene.Update(0.01f);
  EXPECT_EQ(chat.GetScroll(), 1);
  MoveMouse(752, 428);
  scene.Update(0.01f);
  EXPECT_FLOAT_EQ(chat.GetScroll(), 112 * 0.004464286f);
  ReleaseLeft();
  MoveMouse(752, 316);
  scene.Update(0.01f);
  EXPECT_FALSE(scene.IsDragging());
  EXPECT_FLOAT_EQ(chat.GetScroll(), 112 * 0.004464286f);

  // Each wheel step away from the player scrolls back by 0.05.
  TurnWheel(-2);
  scene.Update(0.01f);
  EndFrameInput();
  EXPECT_FLOAT_EQ(chat.GetScroll(), 112 * 0.004464286f - 0.1f);
  TurnWheel(1);
  scene.Update(0.01f);
  EndFrameInput();
  EXPECT_FLOAT_EQ(chat.GetScroll(), 112 * 0.004464286f - 0.05f);
  scene.Update(0.01f);  // no wheel: no change
  EXPECT_FLOAT_EQ(chat.GetScroll(), 112 * 0.004464286f - 0.05f);
  chat.SetScroll(0.98f);
  TurnWheel(3);
  scene.Update(0.01f);
  EXPECT_EQ(chat.GetScroll(), 1);

  // The thumb is drawn where the scroll says.
  chat.SetScroll(0.25f);
  NullBackend::ClearDrawnBlocks();
  scene.Draw();
  std::vector<SpriteAt> track = SpritesOf(scene.ScrollTrack());
  std::vector<SpriteAt> thumb = SpritesOf(scene.ScrollThumb());
  ASSERT_EQ(track.size(), 1u);
  ASSERT_EQ(thumb.size(), 1u);
  EXPECT_NEAR(track[0].x, 740, 0.01);
  EXPECT_NEAR(track[0].y, 300, 0.01);
  EXPECT_NEAR(thumb[0].x, 740, 0.01);
  EXPECT_NEAR(thumb[0].y, 356, 0.01);
}

TEST_F(InGame, DrawsTheWorldThenThePanelTextsTransfersChatAndScrollbar) {
  CMain scene;
  TypeText("typing");
  scene.Update(0.01f);
  // Three downloads that cannot reach a file server (no address file): the
  // lines still show, newest at the top. (No update follows, so no dream
  // step takes the failed ones away.)
  BeginTransfer("One", 0, "qvrx_tmp\\One");
  BeginTransfer("Two", 0, "qvrx_tmp\\Two");
  BeginTransfer("Three", 0, "qvrx_tmp\\Three");
  // What the world draws of itself in this frame (its floors built once).
  RenderWorld();
  NullBackend::ClearCalls();
  NullBackend::ClearDrawnBlocks();
  RenderWorld();
  const std::vector<std::string> worldCalls = NullBackend::Calls();
  const size_t worldBlocks = NullBackend::DrawnBlocks().size();

  struct Shown {
    std::string text;
    float x, y;
  };
  std::vector<Shown> transfers;
  // Every recorded backend call notes where the transfer text stands.
  static std::vector<Shown>* seen;
  static const CMain* drawn;
  seen = &transfers;
  drawn = &scene;
  NullBackend::Scripted().observer = [](const std::string& call) {
    if (call != "VertexBuffer::Set") return;
    const G::Text& text = drawn->TransferText();
    if (seen->empty() || seen->back().text != text.GetString() || seen->back().y != text.GetY())
      seen->push_back(Shown{text.GetString(), text.GetX(), text.GetY()});
  };
  NullBackend::ClearCalls();
  NullBackend::ClearDrawnBlocks();
  scene.Draw();
  NullBackend::Scripted().observer = nullptr;

  // The world is drawn after the clear and the full viewport, before
  // anything of the 2D panel.
  const std::vector<std::string>& calls = NullBackend::Calls();
  std::vector<std::string> throughWorld = {"Clear(0x00000000,1,1,1,0)", "SetViewport(0,0,800,600)"};
  throughWorld.insert(throughWorld.end(), worldCalls.begin(), worldCalls.end());
  ASSERT_GT(calls.size(), throughWorld.size() + 5);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + throughWorld.size()), throughWorld);
  // Then 2D over the whole screen with blending on, and the panel first.
  EXPECT_EQ(std::vector<std::string>(calls.begin() + throughWorld.size(), calls.begin() + throughWorld.size() + 5),
            (std::vector<std::string>{"SetWorldMatrix", "SetViewMatrix", "SetProjectionMatrix",
                                      "SetViewport(0,0,800,600)", "SetRenderState(2,1)"}));

  // The panel: the first block drawn after the world's, one colour at every
  // corner.
  const std::vector<NullBackend::DrawBlock> blocks(NullBackend::DrawnBlocks().begin() + worldBlocks,
                                                   NullBackend::DrawnBlocks().end());
  ASSERT_FALSE(blocks.empty());
  float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
  for (const G::IMVertex& vertex : blocks[0].vertices) {
    EXPECT_EQ(vertex.color, 0x50444444u);
    left = std::min(left, vertex.position[0]);
    top = std::min(top, vertex.position[1]);
    right = std::max(right, vertex.position[0]);
    bottom = std::max(bottom, vertex.position[1]);
  }
  EXPECT_EQ(left, 35);
  EXPECT_EQ(top, 300);
  EXPECT_EQ(right, 740);
  EXPECT_EQ(bottom, 583);

  // Texts drawn: the input line, the three transfers, the chat lines.
  int textDraws = 0;
  for (const std::string& call : calls)
    if (call.rfind("RenderTris", 0) == 0) ++textDraws;
  const G::TextWindow& chat = *scene.ChatWindow();
  EXPECT_EQ(textDraws, 1 + 3 + chat.LastVisible() - chat.FirstVisible() + 1);

  // The transfer text was drawn three times, at these places; the first
  // snapshot is the input line's draw, before the transfers. (Texts set
  // their vertex buffer just before they draw.)
  ASSERT_EQ(transfers.size(), 4u);
  std::vector<std::string> progress;
  for (const Transfer& transfer : GetTransferList()) {
    int received = -1, total = -1;
    transfer.getter->GetProgress(received, total);
    progress.push_back(std::to_string(received) + " / " + std::to_string(total));
  }
  ASSERT_EQ(progress.size(), 3u);
  const Shown expected[] = {{"File Transfer (Three): " + progress[0], 250, 232},
                            {"File Transfer (Two): " + progress[1], 250, 256},
                            {"File Transfer (One): " + progress[2], 250, 280}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(transfers[i + 1].text, expected[i].text);
    EXPECT_EQ(transfers[i + 1].x, expected[i].x);
    EXPECT_EQ(transfers[i + 1].y, expected[i].y);
  }
}

// The figures of one block in a report of the program's profiler.
struct ProfileFigures {
  long long samples = 0;
  std::string longest, total = "0";
};

ProfileFigures ReadProfileBlock(const std::string& name) {
  FILE* file = std::fopen("_frames_profile.txt", "wt");
  g_profiler.WriteReport(file, 1.0);
  std::fclose(file);
  const std::string text = ReadFileText("_frames_profile.txt");
  ProfileFigures figures;
  const size_t at = text.find(name + " - ");
  if (at == std::string::npos) return figures;
  auto value = [&](const std::string& key) {
    const size_t from = text.find(key, at) + key.size();
    return text.substr(from, text.find('\n', from) - from);
  };
  figures.samples = std::stoll(value(" Samples taken: "));
  figures.longest = value(" Max time: ");
  figures.total = value(" Total time: ");
  return figures;
}

std::atomic<long long> s_profileNow;

TEST_F(InGame, EveryFrameOfADreamTransferIsTimedUpToTheOneInWhichItEnds) {
  ASSERT_TRUE(g_profiler.IsEnabled());
  // Samples longer than any real frame, so the longest is one of these.
  SetProfilerClock([] { return s_profileNow.load(); }, [] { return 10000000LL; });
  s_profileNow = 1;
  CMain scene;
  const ProfileFigures before = ReadProfileBlock(kDreamFrameBlock);
  auto frameOf = [&](long long seconds) {
    scene.PreFrame();
    s_profileNow += seconds * 10000000LL;
  };
  frameOf(500);  // no transfer: not timed
  frameOf(500);
  BeginTransfer("Picture", 1, "qvrx_tmp\\Picture");  // a portrait: not timed
  frameOf(500);
  frameOf(500);
  BeginTransfer("Meadow", 0, "qvrx_tmp\\Meadow");
  frameOf(1000);
  frameOf(3000);  // the frame whose update loads the dream and ends its transfer
  EndTransfer(GetTransferList().front());
  frameOf(700);   // the frame after it: no longer timed
  frameOf(700);
  SetProfilerClock(nullptr, nullptr);

  const ProfileFigures after = ReadProfileBlock(kDreamFrameBlock);
  EXPECT_EQ(after.samples - before.samples, 2);
  EXPECT_EQ(after.longest, "3000000 ms");
  EXPECT_NEAR(std::stod(after.total) - std::stod(before.total), 4000.0, 1e-6);
  EXPECT_EQ(std::string(kDreamFrameBlock), "Frame while a dream downloads and loads");
}

TEST_F(InGame, DestructionEndsTheChatAndEveryTransferBeforeTheRendererAndTheConnectionGo) {
  MessageBoxRecorder boxes;
  CMain* scene = new2(CMain, CMain);
  TypeText("x");
  scene->Update(0.01f);
  scene->Draw();  // every text, chat lines included, makes its vertex buffer
  const size_t chatBuffers = scene->ChatWindow()->Lines().size();
  const size_t buffersBefore = G::g_vertexBufferRecords.size();
  BeginTransfer("One", 0, "qvrx_tmp\\One");
  BeginTransfer("Two", 0, "qvrx_tmp\\Two");
  static size_t transfersAtShutdown, buffersAtShutdown;
  static bool inShutdown;
  transfersAtShutdown = buffersAtShutdown = 99;
  inShutdown = false;
  // The renderer's shut-down deletes its floors, then its walls, whose image
  // is released: the first call between the two is one from inside it.
  NullBackend::Scripted().observer = [](const std::string&) {
    if (inShutdown || FloorRendererPtr || !WallRendererPtr) return;
    inShutdown = true;
    transfersAtShutdown = GetTransferList().size();
    buffersAtShutdown = G::g_vertexBufferRecords.size();
  };
  delete2(scene);
  NullBackend::Scripted().observer = nullptr;
  ASSERT_TRUE(inShutdown);
  EXPECT_EQ(WallRendererPtr, nullptr);
  EXPECT_EQ(transfersAtShutdown, 0u);
  // The chat window's lines are gone by then (and the floor buffer, the
  // shut-down's first release); the scene's own texts (input line, transfer
  // line) go after it, with the members.
  EXPECT_EQ(buffersAtShutdown, buffersBefore - chatBuffers - 1);
  EXPECT_LT(G::g_vertexBufferRecords.size(), buffersAtShutdown);
  EXPECT_TRUE(GetTransferList().empty());
  EXPECT_FALSE(SendLine("after"));
}

}  // namespace
