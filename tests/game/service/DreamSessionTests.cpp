// Whole sessions against the stand-in servers with the real map, palette and
// archive code: login, world lines, chat, a generated sample dream
// downloaded, extracted, loaded and acknowledged, then the same dream again
// from the local copy; and a dream with an unusual name and imperfect files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "FormatTestSupport.h"
#include "game/formats/ColorTables.h"
#include "game/formats/MapGrid.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/Device.h"
#include "graphics/GBMesh.h"
#include "NullBackend.h"
#include "StandInSession.h"
#include "TestSupport.h"
#include "WorldTestSupport.h"

namespace {

namespace fs = std::filesystem;

// The generated sample installation (tools/fixtures), beside the test's
// working folder in the build tree.
const char* const kSample = "../../sample";

class StandInFullSession : public StandInSession {
 protected:
  void SetUp() override {
    StandInSession::SetUp();
    if (IsSkipped()) return;
    // The program's own map, palette, floor and archive code, not the
    // recording, with the floor hooks the world renderer adds; floors become
    // textures of the null graphics backend in the renderer's slots.
    SetWorldEffects(previousEffects_);
    NullBackend::Reset();
    G::Setup setup;
    setup.colour32 = true;
    setup.width = 800;
    setup.height = 600;
    ASSERT_TRUE(DXG::Init(nullptr, &setup));
    G::CreateBoneAllocator();
    CopyWorldData();
    ASSERT_TRUE(InitRenderer());
    for (const char* folder : {"maps", "patches"}) {
      fs::remove_all(folder);
      fs::copy(fs::path(kSample) / folder, folder, fs::copy_options::recursive);
    }
    LoadPcxPalette("patches\\default\\default.pcx");
    fs::remove_all("qvrx_tmp/Meadow");
    // Small blocks, so the small sample dream still takes several.
    FileScenario("\"dreams\": " + JsonText(BinaryDir() + "/sample/dreams") + ", \"block_size\": 512");
  }
  void TearDown() override {
    ShutdownRenderer();
    StandInSession::TearDown();
    G::ClearLoadedModels();
    G::DestroyBoneAllocator();
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
  }
};

std::string SlotTexels(int slot) {
  const G::TextureRecord* record = FloorSlotRecords().at(slot);
  if (!record) return "";
  return std::string(reinterpret_cast<const char*>(NullBackend::TextureMemory(record)), 64 * 64 * 4);
}

// The next frame's floors against the map now loaded: each floor number's
// run of the buffer holds that number's cells of the window, and is drawn
// with that number's texture. The window's floor counts, for comparing maps.
std::vector<int> ExpectNextFrameFloorsShowTheMap() {
  const size_t earlier = NullBackend::BufferDraws().size();
  RenderFloors();
  const std::vector<int> tiles = WindowFloorTiles();
  const std::vector<const G::TextureRecord*> slots = FloorSlotRecords();
  size_t draw = earlier;
  for (int n = 0; n < kFloorSlots; ++n) {
    EXPECT_EQ(FloorRendererPtr->vertexCount[n], 6 * tiles[n]) << "floor " << n;
    if (tiles[n] == 0 || !slots[n]) continue;
    if (draw < NullBackend::BufferDraws().size()) {
      EXPECT_EQ(NullBackend::BufferDraws()[draw].texture0, slots[n]) << "floor " << n;
    }
    ++draw;
  }
  EXPECT_EQ(NullBackend::BufferDraws().size(), draw);
  return tiles;
}

std::string Acks(size_t archiveSize) {
  std::string acks;
  size_t blocks = (archiveSize + 501) / 502;
  for (size_t i = 0; i < blocks; ++i) acks += "PKOK " + std::to_string(i) + "\n";
  return acks + "BYE\n";
}

TEST_F(StandInFullSession, FromConnectToSaltmarrowsAndTheSameDreamAgain) {
  const std::string archive = ReadFileBytes(std::string(kSample) + "/dreams/Meadow.dream");
  ASSERT_GT(archive.size(), 502u * 2) << "the sample dream should need several blocks";
  // File (7, 12) on the 40 x 60 map of vinca.map.
  const std::string pos = " ' ,";
  GameScript({Send("Welcome to Vantrell.\nPlease log in. END\n"), Expect("connect Bob secret\n"),
              Send("&&&&&&&&&&&&& Logged in.\n"), Expect(" \n"),
              Send(";maps\\vinca.map\n@" + pos + "\n<!\"#$%&'()*" + pos + "%J\n1" + pos + "\"M\n]s" + pos +
                   "xxMeadow The|Meadow\n[Welcome to the island\n"),
              Expect("\"hello everyone\n\n"), Send("(Ann: hi Bob\n]q Meadow\n"), Expect("saltmarrows\n"),
              Send("]q  Meadow\n"), Expect("saltmarrows\n")});
  MessageBoxRecorder boxes;
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("Welcome to the island"); }));

  int width = 0, height = 0;
  GetMapSize(&width, &height);
  EXPECT_EQ(width, 2 * (40 + 60));
  // The default floors, for the map line.
  const size_t defaultFloors = FilledFloorSlots();
  EXPECT_GE(defaultFloors, 162u);
  const std::string defaultFloor3 = SlotTexels(3);
  int x = 0, y = 0, ownX = -1, ownY = -1;
  Deskew(7, 12, &x, &y);
  GetViewPosition(ownX, ownY);
  EXPECT_EQ(ownX, x);
  EXPECT_EQ(ownY, y);
  EXPECT_EQ(GetMapFloor(x, y), 2 * 95 + 45);
  ASSERT_EQ(GetAvatarList().size(), 1u);
  EXPECT_EQ(GetAvatarList().front().x, x);
  ASSERT_EQ(GetPortalList().size(), 1u);
  EXPECT_EQ(GetPortalList().front().y, y);
  const std::vector<int> islandFloors = ExpectNextFrameFloorsShowTheMap();

  // A typed chat line, as the in-game scene sends it.
  ASSERT_TRUE(SendLine("\"hello everyone\n"));
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_TRUE(GetAvatarList().empty());
  EXPECT_TRUE(GetPortalList().empty());
  GetMapSize(&width, &height);
  EXPECT_EQ(width, 2 * (24 + 40));  // the dream's own map
  // And its floors: the default set with three images of its own.
  EXPECT_EQ(FilledFloorSlots(), defaultFloors);
  EXPECT_NE(SlotTexels(3), defaultFloor3);
  EXPECT_EQ(SlotTexels(3).size(), defaultFloor3.size());
  // The server sent no new own tile: the next frame still shows the dream's
  // floors, not the island's.
  GetViewPosition(ownX, ownY);
  EXPECT_EQ(ownX, x);
  EXPECT_EQ(ownY, y);
  EXPECT_NE(ExpectNextFrameFloorsShowTheMap(), islandFloors);
  EXPECT_EQ(ReadFileBytes("qvrx_tmp\\Meadow\\Meadow.dream"), archive);
  EXPECT_TRUE(FileExists("qvrx_tmp\\Meadow\\notes\\stones.txt"));
  EXPECT_EQ(statusLines_,
            (std::vector<std::string>{"Welcome to Vantrell.", "Please log in. END", "Welcome to the island",
                                      "Ann: hi Bob", "> Downloading Dream...",
                                      "> File Server welcome received.  Requesting transfer...",
                                      "> Transfer request accepted.  Download beginning.", "> Download Complete.",
                                      "> Decompressing dream...", "> Loading dream...", "> Dream load succeeded."}));

  statusLines_.clear();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_EQ(statusLines_, (std::vector<std::string>{"> Downloading Dream...",
                                                     "> File Server welcome received.  Requesting transfer...",
                                                     "> Already have file, cancelling download and using local copy.",
                                                     "> Decompressing dream...", "> Loading dream...",
                                                     "> Dream load succeeded."}));
  GetMapSize(&width, &height);
  EXPECT_EQ(width, 2 * (24 + 40));

  const std::string sent = "connect Bob secret\ndesc A tall fox\ncolor #$%&'()*+,#% \n\"hello everyone\n\n"
                           "saltmarrows\nsaltmarrows\n";
  EXPECT_EQ(GameTranscript(sent), sent);
  const std::string request = "RC Bob secret Meadow 0 2 4096\n";
  EXPECT_EQ(FileTranscript(request + Acks(archive.size())), request + Acks(archive.size()));
  EXPECT_EQ(FileTranscript(request, 2), request);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(errors.Text(), "");
}

// What the service's dreams really hold: a name with an apostrophe, '!',
// '(', '#', '&', '+' and an accented letter; a map whose header has no
// "BODY" line; floors cut short after two whole images. The dream downloads,
// extracts and loads: an empty map of the header's size, the two floors.
TEST_F(StandInFullSession, AnUnusualNameAMapWithoutBodyAndCutFloorsStillLoad) {
  const std::string name = "Ann's_Caf\xe9!(#1)&+";
  const std::string dir = "qvrx_tmp\\" + name + "\\";
  const std::string map = "MAP V01.10 Vantrell\nwidth=5\nheight=3\nname=Ann's\n";
  const std::string floors("\x03\x00" "\0\0\0\0\0\0"
                           "\x02\x02\0\0" "\x11\x22" "\x33\x44"
                           "\x02\x02\0\0" "\x05\x06" "\x07\x08"
                           "\x02\x02\0\0" "\x09",
                           2 + 6 + 3 * 4 + 8 + 1);
  const std::string archive = DreamArchive({DreamEntry("default.map", 1, Complement(map)),
                                            DreamEntry("floors.fsh", 1, Complement(floors))});
  // Through the C library, which takes the name in the ANSI code page as
  // the program does.
  for (const char* file : {".dream", "default.map", "floors.fsh"})
    std::remove((dir + (file[0] == '.' ? name + file : file)).c_str());
  FileScenario("\"block_size\": 512");
  ServeDream(name, archive);
  std::vector<std::string> steps = LoginSteps();
  steps.push_back(Send("]q " + name + "\n"));
  steps.push_back(Expect("saltmarrows\n"));
  GameScript(steps);
  MessageBoxRecorder boxes;
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));

  EXPECT_EQ(ReadFileBytes(dir + name + ".dream"), archive);
  int width = 0, height = 0;
  GetMapSize(&width, &height);
  EXPECT_EQ(width, 2 * (5 + 3));
  EXPECT_TRUE(IsMapLoaded());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(GetMapFloor(x, y), 65535) << x << " " << y;
  EXPECT_EQ(FilledFloorSlots(), 2u);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(errors.Text(), "Map file body is shorter than its header promises (0 of 90 bytes); the missing cells "
                           "stay empty: " + dir + "default.map\n" +
                           "Warning: EOF hit, but only 2 of the 3 images were loaded from " + dir +
                           "floors.fsh.  Will use what we got...\n");
  const std::string request = "RC Bob secret " + name + " 0 2 4096\n";
  EXPECT_EQ(FileTranscript(request + Acks(archive.size())), request + Acks(archive.size()));
  EXPECT_EQ(GameTranscript(LoginBytes() + "saltmarrows\n"), LoginBytes() + "saltmarrows\n");
}

}  // namespace
