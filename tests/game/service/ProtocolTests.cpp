// The game-server protocol over a scripted connection: base-95, frames, line
// splitting, the login conversation and every server line.
#include <gtest/gtest.h>

#include "FormatTestSupport.h"
#include "game/formats/PlayerFile.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"
#include "ServiceTestSupport.h"
#include "TestSupport.h"

namespace {

TEST(Base95, DecodesMostSignificantFirstWithoutRejectingAnything) {
  struct Case {
    std::string text;
    int value;
  } cases[] = {
      {"", 0},           {" ", 0},        {"!", 1},   {"~", 94},        {"!%", 100},
      {"%J", 517},       {"~~", 9024},    {" !", 1},  {"\x1f", -1},     {"\xff", -33},
      {"\x80", -160},    {"!\x1f", 94},
      // Longer texts wrap in 32 bits rather than overflow.
      {"~~~~~~", 652483008},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeBase95(c.text), c.value) << "text of " << c.text.size() << " chars";
  EXPECT_EQ(DecodeBase95Char('\0'), 0);
  EXPECT_EQ(DecodeBase95Char('~'), 94);
  EXPECT_EQ(DecodeBase95Char('\x7f'), 95);
}

TEST(Base95, EncodesOneOrTwoCharacters) {
  EXPECT_EQ(EncodeBase95(5, false), "%");
  EXPECT_EQ(EncodeBase95(100, true), "!%");
  EXPECT_EQ(EncodeBase95(0, true), "  ");
  EXPECT_EQ(EncodeBase95(9024, true), "~~");
  EXPECT_EQ(EncodeBase95(95, false), " ");
  EXPECT_EQ(EncodeBase95(94, false), "~");
}

TEST(Base95, StripControlCharsKeepsOnlyPrintableAscii) {
  EXPECT_EQ(StripControlChars(std::string("a\tb\x7f\xc3\xa9" "c\r\n\0d", 11)), "abcd");
  EXPECT_EQ(StripControlChars(" ~"), " ~");
}

std::string Frame(int value) { return std::string{static_cast<char>(value / 95 + 32), static_cast<char>(value % 95 + 32)}; }

TEST(AvatarFrame, DecodesFlagFormPoseAndDirection) {
  struct Case {
    int frame, flag, form, pose, direction;
  } cases[] = {
      {517, 2, 0, 1, 2},  // the frame text "%J"
      {1, 0, 0, 0, 2},    {2, 0, 0, 3, 2},    {3, 0, 0, 2, 2},    {4, 0, 0, 4, 2},    {5, 0, 0, 0, 3},
      {10, 0, 0, 3, 1},   {16, 0, 0, 4, 0},   {17, 0, 0, 1, 2},   {18, 0, 0, 1, 3},   {19, 0, 0, 1, 0},
      {20, 0, 0, 1, 1},   {21, 0, 1, 0, 2},   {40, 0, 1, 1, 1},   {41, 0, 2, 0, 2},   {60, 0, 2, 1, 1},
      {61, 0, 3, 0, 2},   {80, 0, 3, 1, 1},   {81, 0, 4, 0, 2},   {100, 0, 4, 1, 1},  {101, 0, 5, 0, 2},
      {120, 0, 5, 1, 1},  {501, 2, 0, 0, 2},  {600, 2, 4, 1, 1},
  };
  for (const Case& c : cases) {
    LogTail errors;
    AvatarRecord record;
    record.flag = record.form = record.pose = record.direction = 9;
    ParseAvatarCode("", Frame(c.frame), record);
    EXPECT_EQ(record.flag, c.flag) << c.frame;
    EXPECT_EQ(record.form, c.form) << c.frame;
    EXPECT_EQ(record.pose, c.pose) << c.frame;
    EXPECT_EQ(record.direction, c.direction) << c.frame;
    EXPECT_EQ(errors.Text(), "") << c.frame;
  }
}

TEST(AvatarFrame, FormFiveBeyondItsRangeWarnsAndWrapsModulo21) {
  struct Case {
    int frame, flag, pose, direction;
  } cases[] = {
      {121, 0, 4, 9},  // f 21 -> 0: pose from r 4; d -4 leaves the direction
      {130, 0, 0, 1},  // f 30 -> 9
      {500, 0, 0, 2},  // not above 500: f 400 -> 1
      {650, 2, 4, 3},  // the warning names the whole frame number
  };
  for (const Case& c : cases) {
    LogTail errors;
    AvatarRecord record;
    record.direction = 9;
    ParseAvatarCode("", Frame(c.frame), record);
    EXPECT_EQ(record.form, 5) << c.frame;
    EXPECT_EQ(record.flag, c.flag) << c.frame;
    EXPECT_EQ(record.pose, c.pose) << c.frame;
    EXPECT_EQ(record.direction, c.direction) << c.frame;
    EXPECT_EQ(errors.Text(),
              "Warning: Animation frame could not be correctly parsed: " + std::to_string(c.frame) + "\n");
  }
}

TEST(AvatarFrame, ZeroOrShortFrameAndShortCodeLeaveTheRecord) {
  for (const std::string& frame : {std::string("  "), std::string("!"), std::string()}) {
    AvatarRecord record;
    record.flag = record.form = record.pose = record.direction = 7;
    record.colorCode[0] = 77;
    ParseAvatarCode("!\"#$%&'()", frame, record);  // nine characters: colours untouched
    EXPECT_EQ(record.form, 7);
    EXPECT_EQ(record.flag, 7);
    EXPECT_EQ(record.pose, 7);
    EXPECT_EQ(record.direction, 7);
    EXPECT_EQ(record.colorCode[0], 77);
  }
  AvatarRecord record;
  ParseAvatarCode("!\"#$%&'()*+", "  ", record);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(record.colorCode[i], i + 1);
}

class GameProtocol : public testing::Test {
 protected:
  void SetUp() override {
    ResetServiceState();
    SetServerConnection(&connection);
    previousEffects = SetWorldEffects(RecordingEffects());
  }
  void TearDown() override {
    SetServerConnection(nullptr);
    SetWorldEffects(previousEffects);
    GetPlayerInfo() = PlayerInfo();
  }

  void Poll(const std::string& batch) {
    connection.batches.push_back(batch);
    PollGameServer();
  }
  void LogIn() {
    Poll("Welcome END\n");
    Poll("&&&&&&&&&&&&&\n");
    ASSERT_TRUE(IsLoggedIn());
    connection.sent.clear();
    DrainMessages();
  }

  ScriptedConnection connection;
  WorldEffects previousEffects;
};

TEST_F(GameProtocol, GreetingBatchShowsLinesAndEveryEndLineAsksToLogIn) {
  Poll("Welcome\r\nFirst END\r\nSecond END\nThird");
  EXPECT_EQ(DrainMessages(), (std::vector<std::string>{"Welcome\r", "First END\r", "Second END"}));
  EXPECT_EQ(connection.sent, "connect Bob secret\nconnect Bob secret\n");
  EXPECT_FALSE(IsAwaitingGreeting());
  // The rest of the greeting arrives later: it is no longer the greeting.
  Poll(" END\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  EXPECT_EQ(connection.sent, "connect Bob secret\nconnect Bob secret\n");
  EXPECT_FALSE(IsLoggedIn());
}

TEST_F(GameProtocol, EndOnlyInTheSecondBatchNeverLogsIn) {
  Poll("Welcome to the server\n");
  Poll("END\n");
  EXPECT_EQ(connection.sent, "");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"Welcome to the server"});
}

TEST_F(GameProtocol, PollWithoutBytesKeepsTheGreeting) {
  PollGameServer();
  EXPECT_TRUE(IsAwaitingGreeting());
  Poll("Hi END\n");
  EXPECT_EQ(connection.sent, "connect Bob secret\n");
}

TEST_F(GameProtocol, LoginAnswerSendsDescriptionAndColours) {
  Poll("END\n");
  connection.sent.clear();
  DrainMessages();
  Poll("(not yet\nxx&&&&&&&&&&&&&xx\n");
  EXPECT_TRUE(IsLoggedIn());
  EXPECT_EQ(connection.sent, "desc A tall fox\ncolor #$%&'()*+,#% \n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
}

// The colour line carries each Spec character of the player file as one
// base-95 character: (character - '0') % 95 + 32, in signed arithmetic.
TEST_F(GameProtocol, SpecCharactersOfThePlayerFileGoOnTheWireAsEncoded) {
  struct Case {
    std::string characters;  // the two after "Spec="
    std::string sent;  // what the colour line carries for them
  };
  const Case cases[] = {
      {"12", "!\""},
      {"Az", "1j"},          // letters: 17 and 74
      {"\xe9~", "\xd9n"},    // above '~': -71 gives 0xD9; '~' is 78
      {"\x7f\xd1", "o "},    // DEL is 79; 0xD1 is -95, which wraps to 0
      {std::string("\0\x01", 2), "\xf0\xf1"},
  };
  ResetFolder("players_test");
  for (const Case& c : cases) {
    WriteFileBytes("players_test/player.ini",
                   "V1.6\nName=Bob\nPassword=secret\nColors=#$%&'()*+,\nDesc=A tall fox\nSpec=" + c.characters + "\n");
    LogTail log;
    ASSERT_TRUE(LoadPlayerIni("players_test\\player.ini")) << c.characters;
    EXPECT_EQ(log.Text(), "") << c.characters;
    ResetGameProtocol();
    connection.sent.clear();
    Poll("END\n");
    Poll("&&&&&&&&&&&&&\n");
    EXPECT_EQ(connection.sent, "connect Bob secret\ndesc A tall fox\ncolor #$%&'()*+," + c.sent + " \n") << c.characters;
  }

  // Every byte a Spec character can be: the file is refused exactly when its
  // encoding would be a control character. (A line feed ends the line and
  // Ctrl-Z the text, so they never reach the value.)
  std::vector<int> refused, expected;
  for (int code = 0; code < 256; ++code) {
    if (code == '\n' || code == 0x1A) continue;
    const char character = static_cast<char>(code);
    const unsigned char sent =
        static_cast<unsigned char>(EncodeBase95(static_cast<signed char>(character) - '0', false)[0]);
    const bool sendable = sent >= 32 && sent != 127;
    WriteFileBytes("players_test/player.ini", std::string("V1.6\nName=n\nPassword=p\nColors=c\nDesc=d\nSpec=") +
                                                character + "0\n");
    PlayerInfo info;
    LogTail log;
    EXPECT_EQ(LoadPlayerIni("players_test\\player.ini", info), sendable) << code;
    if (sendable) continue;
    refused.push_back(code);
    EXPECT_EQ(log.Text(), "Error: player ini file \"players_test\\player.ini\" has a Spec= character that would put a "
                          "control character into the colour line.\n")
        << code;
  }
  // Bytes 16 to 31 become 0 to 15 on the wire, the blank to '/' 16 to 31,
  // and 0xB1 to 0xD0 (-79 to -48 as signed bytes) 0 to 31.
  for (int code = 16; code <= '/'; ++code)
    if (code != 0x1A) expected.push_back(code);
  for (int code = 0xB1; code <= 0xD0; ++code) expected.push_back(code);
  EXPECT_EQ(refused, expected);
  RemoveFolder("players_test");
}

TEST_F(GameProtocol, TwelveAmpersandsAreNotTheLoginAnswer) {
  Poll("END\n");
  Poll("&&&&&&&&&&&&\n");
  EXPECT_FALSE(IsLoggedIn());
}

TEST_F(GameProtocol, ChatLineIsShownWholeInTheGreetingIgnoredBeforeLoginStrippedAfter) {
  Poll("(hello\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"(hello"});
  Poll("(hello\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  Poll("&&&&&&&&&&&&&\n(hello\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"hello"});
}

TEST_F(GameProtocol, NopeIsALoginErrorOnlyOnceLoggedIn) {
  Poll("Nope.\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"Nope."});
  Poll("Nope.\nInvalid Name or password.\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  Poll("&&&&&&&&&&&&&\nNope.\nInvalid Name or password.\nNope.\r\n");
  EXPECT_EQ(DrainMessages(), (std::vector<std::string>{"Server reported error while trying to log in.",
                                                        "Server reported error while trying to log in."}));
  EXPECT_TRUE(IsLoggedIn());
}

TEST_F(GameProtocol, LinesSplitOverBatchesAreHandledWhenComplete) {
  LogIn();
  Poll("(one\r\n(two\n(thr");
  EXPECT_EQ(DrainMessages(), (std::vector<std::string>{"one", "two"}));
  Poll("ee");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  Poll("\n");
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"three"});
}

TEST_F(GameProtocol, LostConnectionIsReportedOnceAfterLogin) {
  connection.connected = false;
  PollGameServer();
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  connection.connected = true;
  LogIn();
  connection.connected = false;
  PollGameServer();
  PollGameServer();
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{"(Lost Connection to game server)"});
  EXPECT_FALSE(IsLoggedIn());
}

TEST_F(GameProtocol, OverLongLinesAreDroppedAndLogged) {
  LogIn();
  LogTail errors;
  Poll(std::string(40000, 'x'));
  Poll(std::string(40000, 'x'));  // now over the bound without a line feed
  Poll(std::string(40000, 'x') + "\n(after\n");
  Poll("(" + std::string(70000, 'y') + "\n(ok\n");
  EXPECT_EQ(DrainMessages(), (std::vector<std::string>{"after", "ok"}));
  EXPECT_EQ(errors.Text(),
            "Dropped an over-long line from the game server (more than 65536 bytes without a line feed).\n"
            "Dropped an over-long line from the game server (70001 bytes).\n");
}

// File (97, 289) as two base-95 pairs; the recording deskew makes it (1097, 2289).
const std::string kPos = "!\"#$";
const std::string kPos2 = "\"!$#";  // file (191, 383) -> grid (1191, 2383)

TEST_F(GameProtocol, AvatarsComeMoveAndGo) {
  LogIn();
  Poll("<!\"#$%&'()*" + kPos + "%J\n");
  ASSERT_EQ(GetAvatarList().size(), 1u);
  const AvatarRecord& a = GetAvatarList().front();
  EXPECT_EQ(a.x, 1097);
  EXPECT_EQ(a.y, 2289);
  EXPECT_EQ(a.flag, 2);
  EXPECT_EQ(a.pose, 1);
  EXPECT_EQ(a.direction, 2);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.colorCode[i], i + 1);

  Poll("/**********" + kPos2 + "!!" + kPos + "\n");
  ASSERT_EQ(GetAvatarList().size(), 1u);
  const AvatarRecord& moved = GetAvatarList().front();
  EXPECT_EQ(moved.x, 1191);
  EXPECT_EQ(moved.y, 2383);
  EXPECT_EQ(moved.colorCode[0], 10);
  EXPECT_EQ(moved.form, 4);  // frame 96: form 4, f 16
  EXPECT_EQ(moved.flag, 0);

  Poll(")" + kPos + "\n");
  EXPECT_EQ(GetAvatarList().size(), 1u);
  Poll(")" + kPos2 + "\n");
  EXPECT_EQ(GetAvatarList().size(), 0u);
}

TEST_F(GameProtocol, MapLinesReachTheMapPaletteAndRenderer) {
  LogIn();
  AvatarRecord avatar;
  SetAvatar(0, 0, avatar);
  AddPortal(PortalRecord());
  Poll("1" + kPos + "!%\n>" + kPos + "~~\n]ccpal.pcx\n;maps\\town.map\n");
  EXPECT_EQ(EffectLog(), (std::vector<std::string>{"floor 1097 2289 100", "dirty 1097 2289", "object 1097 2289 9024",
                                                   "palette patches\\default\\pal.pcx", "map maps\\town.map",
                                                   "floors patches\\default\\"}));
  EXPECT_TRUE(GetAvatarList().empty());
  EXPECT_TRUE(GetPortalList().empty());
}

TEST_F(GameProtocol, MapPathsAndPaletteNamesOutsideTheInstallationAreRefused) {
  LogIn();
  SetAvatar(0, 0, AvatarRecord());
  LogTail errors;
  const std::string bad[] = {"\\\\evil.example\\share\\a.map", "\\maps\\a.map", "/etc/a.map", "C:\\maps\\a.map",
                             "maps\\..\\..\\a.map", "../a.map", "maps\\...\\a.map", "PRN:abc", "maps\\. .\\x"};
  std::string expected;
  for (const std::string& path : bad) {
    Poll(";" + path + "\n]cc" + path + "\n");
    expected += "Refused a map path from the game server: \"" + path + "\"\n";
    expected += "Refused a palette name from the game server: \"" + path + "\"\n";
  }
  EXPECT_EQ(errors.Text(), expected);
  EXPECT_EQ(EffectLog(), std::vector<std::string>{});
  EXPECT_EQ(GetAvatarList().size(), 1u);  // a refused map line changes nothing
  Poll(";maps\\.\\sub dir\\v..x.map\n]ccsub\\dusk.pcx\n");
  EXPECT_EQ(EffectLog(), (std::vector<std::string>{"map maps\\.\\sub dir\\v..x.map", "floors patches\\default\\",
                                                   "palette patches\\default\\sub\\dusk.pcx"}));
}

// Under Wine "COM1" is the machine's real serial port: the recording effects
// stand in for the map and palette loads, so nothing here is ever opened.
TEST_F(GameProtocol, DeviceNamesInMapPathsAndPaletteNamesAreRefusedUnopened) {
  LogIn();
  SetAvatar(0, 0, AvatarRecord());
  LogTail errors;
  std::string expected;
  auto refused = [&](const char* what, const std::string& path) {
    expected += std::string("Refused ") + what + " from the game server: \"" + StripControlChars(path) + "\"\n";
  };
  Poll(";maps\\COM1.map\n]ccNUL\n;AUX.map\n;maps/aux\n");
  refused("a map path", "maps\\COM1.map");
  refused("a palette name", "NUL");
  refused("a map path", "AUX.map");
  refused("a map path", "maps/aux");
  for (const std::string& device : DeviceNameForms()) {
    for (const std::string& path : {"maps\\" + device, device + "\\town.map", "a\\" + device + "\\b.map"}) {
      Poll(";" + path + "\n]cc" + path + "\n");
      refused("a map path", path);
      refused("a palette name", path);
    }
  }
  // Too short to be a map line at all: nothing happens.
  Poll(";AUX\n;COM1\n");
  EXPECT_EQ(errors.Text(), expected);
  EXPECT_EQ(EffectLog(), std::vector<std::string>{});
  EXPECT_EQ(GetAvatarList().size(), 1u);

  // Names that only look like devices load.
  for (const std::string& name : NearDeviceNames()) {
    EffectLog().clear();
    Poll(";maps\\" + name + "\n]cc" + name + "\n");
    EXPECT_EQ(EffectLog(), (std::vector<std::string>{"map maps\\" + name, "floors patches\\default\\",
                                                     "palette patches\\default\\" + name}));
  }
}

TEST_F(GameProtocol, OwnTileAndChatLines) {
  LogIn();
  Poll("@" + kPos + "\n(hi\x01 there\n[info\n");
  int x = 0, y = 0;
  GetViewPosition(x, y);
  EXPECT_EQ(x, 1097);
  EXPECT_EQ(y, 2289);
  EXPECT_EQ(DrainMessages(), (std::vector<std::string>{"hi there", "info"}));
}

TEST_F(GameProtocol, PortalsAreAddedWithoutBlanksAndRemovedByPosition) {
  LogIn();
  Poll("]s" + kPos + "xxdreamname The|Big Label\n]s" + kPos2 + "xxsolo\n]s" + kPos + "xx My Dream\n");
  ASSERT_EQ(GetPortalList().size(), 3u);
  auto it = GetPortalList().begin();
  EXPECT_EQ(it->x, 1097);
  EXPECT_EQ(it->y, 2289);
  EXPECT_EQ(it->name, "dreamname");
  EXPECT_EQ(it->label, "The|BigLabel");
  ++it;
  EXPECT_EQ(it->name, "solo");
  EXPECT_EQ(it->label, "");
  ++it;
  EXPECT_EQ(it->name, "");
  EXPECT_EQ(it->label, "MyDream");
  Poll("]t" + kPos + "\n");
  ASSERT_EQ(GetPortalList().size(), 2u);
  EXPECT_EQ(GetPortalList().front().name, "solo");
  EXPECT_EQ(GetPortalList().back().name, "");
}

TEST_F(GameProtocol, LinesShorterThanTheirCommandDoNothing) {
  LogIn();
  SetAvatar(0, 0, AvatarRecord());
  AddPortal(PortalRecord());
  const std::string shortLines[] = {
      "(",
      "[",
      ")" + kPos.substr(0, 3),
      "/" + std::string(19, '!'),
      "1" + kPos + "!",
      "<" + std::string(15, '!'),
      ";abcd",
      ">" + kPos + "!",
      "@!!!",
      "]cc",
      "]s" + kPos + "x",
      "]t!!!",
      "]q xx",
      "Zanything at all",
      "]xunknown",
  };
  for (const std::string& line : shortLines) Poll(line + "\n");
  EXPECT_EQ(EffectLog(), std::vector<std::string>{});
  EXPECT_EQ(DrainMessages(), std::vector<std::string>{});
  EXPECT_EQ(GetAvatarList().size(), 1u);
  EXPECT_EQ(GetPortalList().size(), 1u);
  EXPECT_TRUE(GetTransferList().empty());
  int x = -1, y = -1;
  GetViewPosition(x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST_F(GameProtocol, MovesAndLooks) {
  const char* const lines[] = {"m 9\n", "m 7\n", "m 1\n", "m 3\n", ">\n", "<\n"};
  for (int move = 0; move < 6; ++move) {
    connection.sent.clear();
    EXPECT_TRUE(SendMove(move));
    EXPECT_EQ(connection.sent, lines[move]);
  }
  connection.sent.clear();
  EXPECT_FALSE(SendMove(6));
  EXPECT_FALSE(SendMove(-1));
  EXPECT_EQ(connection.sent, "");

  EXPECT_TRUE(SendLook(1097, 2289));
  EXPECT_TRUE(SendLook(1000 + 9024, 2000 + 9024));
  EXPECT_TRUE(SendLook(1000, 2000));
  EXPECT_EQ(connection.sent, "l " + kPos + "\nl ~~~~\nl     \n");
}

TEST_F(GameProtocol, LookOutsideTheEncodableRangeSendsNothing) {
  // File coordinates below 0 or above 9024 would put control characters (a
  // line feed among them) into the command.
  const int grids[][2] = {{999, 2000}, {1000, 1999}, {1000 + 9025, 2000}, {1000, 2000 + 9025}, {-5000, -5000}};
  for (const auto& g : grids) EXPECT_FALSE(SendLook(g[0], g[1]));
  EXPECT_EQ(connection.sent, "");
}

TEST_F(GameProtocol, SendLineNeedsAConnectionAndReportsFailure) {
  EXPECT_TRUE(SendLine("hello"));
  EXPECT_EQ(connection.sent, "hello\n");
  connection.failSends = true;
  EXPECT_FALSE(SendLine("lost"));
  connection.failSends = false;
  connection.connected = false;
  EXPECT_FALSE(SendLine("offline"));
  SetServerConnection(nullptr);
  EXPECT_FALSE(SendLine("nobody"));
  PollGameServer();  // no connection: nothing to do, nothing to crash on
  EXPECT_EQ(connection.sent, "hello\n");
}

}  // namespace
