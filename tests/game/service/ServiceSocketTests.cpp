// The game-server protocol, the dream downloader and the dream step against
// the stand-in servers, over real sockets on 127.0.0.1. The map, palette and
// extraction calls are recorded here (their own tests cover them); the
// session tests with real dreams are in DreamSessionTests.cpp.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "foundation/CMemMan.h"
#include "foundation/CThread.h"
#include "game/service/VantDataManager.h"
#include "game/service/VantFileGetter.h"
#include "ServiceTestSupport.h"
#include "StandInSession.h"
#include "TestSupport.h"

// Tracked allocation takes its blocks from the nothrow operator new: this
// program's own lets a test refuse one block of a given size, after letting
// a number of blocks of that size through.
namespace {
std::atomic<size_t> s_refusedBlockSize{0};
std::atomic<int> s_blocksBeforeRefusal{0};
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (size == s_refusedBlockSize.load() && s_blocksBeforeRefusal.fetch_sub(1) == 0) {
    s_refusedBlockSize = 0;
    return nullptr;
  }
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

const std::string kDream = RandomBytes(10000, 7);  // three blocks of 4096 bytes
const std::string kAbort = ">  Error loading dream... sequence aborted.";
const std::string kWelcome = "> File Server welcome received.  Requesting transfer...";
const std::string kAccepted = "> Transfer request accepted.  Download beginning.";
const std::string kBoxText =
    "Dream download failed.  Reset to Corvale island?\n(If you choose no, you may be temporarily stuck in the dream)";

std::vector<std::string> Steps(std::vector<std::string> steps, const std::vector<std::string>& more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}

std::string DreamFile(const std::string& id) { return "qvrx_tmp\\" + id + "\\" + id + ".dream"; }

void ForgetDream(const std::string& id) { std::filesystem::remove_all("qvrx_tmp/" + id); }

std::string Request(const std::string& id) { return "RC Bob secret " + id + " 0 2 4096\n"; }
const std::string kAllAcks = "PKOK 0\nPKOK 1\nPKOK 2\nBYE\n";

using StandInGameServer = StandInSession;

TEST_F(StandInGameServer, LoginSendsExactlyTheseBytes) {
  GameScript({Send("Welcome to the test\r\nSay END to begin\r\n"), Expect("connect Bob secret\n"),
              Send("&&&&&&&&&&&&& ok\n"), Expect(" \n")});
  ConnectAndLogIn();
  EXPECT_EQ(GameTranscript(LoginBytes()), LoginBytes());
  EXPECT_EQ(statusLines_, (std::vector<std::string>{"Welcome to the test\r", "Say END to begin\r"}));
}

TEST_F(StandInGameServer, GreetingLoginAnswerAndLinesSplitOverBatches) {
  GameScript({Send("Nope.\n(hello\nfirst END\nsecond END\n"),
              Expect("connect Bob secret\nconnect Bob secret\n"),
              // After the greeting batch and before the answer: all ignored.
              Send("Nope.\n(hello\nEND\n"), Expect("ping\n"),
              Send("&&&&&&&&&&&&&\nNope.\n(hello\r\n(one\r\n(two\n(thr"), Expect("pong\n"), Send("ee\n")});
  Connect();
  ASSERT_TRUE(RunUntil([&] { return Saw("second END"); }));
  SendLine("ping");
  ASSERT_TRUE(RunUntil([&] { return Saw("two"); }));
  EXPECT_FALSE(Saw("three"));
  SendLine("pong");
  ASSERT_TRUE(RunUntil([&] { return Saw("three"); }));
  EXPECT_EQ(statusLines_, (std::vector<std::string>{"Nope.", "(hello", "first END", "second END",
                                                     "Server reported error while trying to log in.", "hello",
                                                     "one", "two", "three"}));
  const std::string sent = "connect Bob secret\nconnect Bob secret\nping\ndesc A tall fox\ncolor #$%&'()*+,#% \npong\n";
  EXPECT_EQ(GameTranscript(sent), sent);
}

TEST_F(StandInGameServer, WorldLinesChangeTheGameState) {
  const std::string pos = "!\"#$";    // file (97, 289): grid (1097, 2289) through the recording deskew
  const std::string pos2 = "\"!$#";   // file (191, 383): grid (1191, 2383)
  GameScript(Steps(LoginSteps(), {Send("<!\"#$%&'()*" + pos + "%J\n@" + pos + "\n1" + pos + "!%\n>" + pos +
                                       "~~\n]s" + pos2 + "xxMeadow The|Meadow\n]ccdusk.pcx\n(mid\n"),
                                  Expect("next\n"),
                                  Send("/**********" + pos2 + "!!" + pos + "\n]t" + pos2 + "\n(end\n"),
                                  Expect("last\n"), Send(")" + pos2 + "\n;maps\\vinca.map\n(done\n")}));
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("mid"); }));
  ASSERT_EQ(GetAvatarList().size(), 1u);
  EXPECT_EQ(GetAvatarList().front().x, 1097);
  EXPECT_EQ(GetAvatarList().front().y, 2289);
  EXPECT_EQ(GetAvatarList().front().flag, 2);
  int x = 0, y = 0;
  GetViewPosition(x, y);
  EXPECT_EQ(x, 1097);
  EXPECT_EQ(y, 2289);
  ASSERT_EQ(GetPortalList().size(), 1u);
  EXPECT_EQ(GetPortalList().front().name, "Meadow");
  EXPECT_EQ(GetPortalList().front().label, "The|Meadow");
  EXPECT_EQ(GetPortalList().front().x, 1191);
  EXPECT_EQ(EffectLog(), (std::vector<std::string>{"floor 1097 2289 100", "dirty 1097 2289", "object 1097 2289 9024",
                                                   "palette patches\\default\\dusk.pcx"}));

  SendLine("next");
  ASSERT_TRUE(RunUntil([&] { return Saw("end"); }));
  ASSERT_EQ(GetAvatarList().size(), 1u);
  EXPECT_EQ(GetAvatarList().front().x, 1191);
  EXPECT_EQ(GetAvatarList().front().form, 4);
  EXPECT_TRUE(GetPortalList().empty());

  SendLine("last");
  ASSERT_TRUE(RunUntil([&] { return Saw("done"); }));
  EXPECT_TRUE(GetAvatarList().empty());
  EXPECT_EQ(EffectLog().back(), "floors patches\\default\\");
  EXPECT_EQ(EffectLog()[EffectLog().size() - 2], "map maps\\vinca.map");
  EXPECT_EQ(GameTranscript(LoginBytes() + "next\nlast\n"), LoginBytes() + "next\nlast\n");
}

TEST_F(StandInGameServer, LostConnectionIsReportedOnce) {
  GameScript(Steps(LoginSteps(), {Send("(bye\n"), HangUp()}));
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("(Lost Connection to game server)"); }));
  for (int i = 0; i < 5; ++i) Frame();
  EXPECT_EQ(statusLines_, (std::vector<std::string>{"Welcome", "END", "bye", "(Lost Connection to game server)"}));
  EXPECT_FALSE(SendLine("anyone?"));
}

using StandInDreams = StandInSession;

TEST_F(StandInDreams, NameLosesItsBlanksAndTheDreamIsLoadedAndAcknowledged) {
  ForgetDream("MyDream");
  ServeDream("MyDream", kDream);
  GameScript(Steps(LoginSteps(), {Send("]q My Dream\n"), Expect("saltmarrows\n")}));
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_EQ(statusLines_,
            (std::vector<std::string>{"Welcome", "END", "> Downloading Dream...", kWelcome, kAccepted,
                                      "> Download Complete.", "> Decompressing dream...", "> Loading dream...",
                                      "> Dream load succeeded."}));
  EXPECT_EQ(EffectLog(), (std::vector<std::string>{"extract qvrx_tmp\\MyDream\\MyDream.dream",
                                                   "map qvrx_tmp\\MyDream\\default.map",
                                                   "floors qvrx_tmp\\MyDream\\"}));
  EXPECT_EQ(ReadFileBytes(DreamFile("MyDream")), kDream);
  EXPECT_TRUE(GetTransferList().empty());
  EXPECT_EQ(GameTranscript(LoginBytes() + "saltmarrows\n"), LoginBytes() + "saltmarrows\n");
  EXPECT_EQ(FileTranscript(Request("MyDream") + kAllAcks), Request("MyDream") + kAllAcks);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(StandInDreams, TheSameDreamAgainComesFromTheLocalCopy) {
  ForgetDream("Again");
  ServeDream("Again", kDream);
  GameScript(Steps(LoginSteps(),
                   {Send("]q Again\n"), Expect("saltmarrows\n"), Send("]q Again\n"), Expect("saltmarrows\n")}));
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  statusLines_.clear();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_EQ(statusLines_, (std::vector<std::string>{"> Downloading Dream...", kWelcome,
                                                     "> Already have file, cancelling download and using local copy.",
                                                     "> Decompressing dream...", "> Loading dream...",
                                                     "> Dream load succeeded."}));
  EXPECT_EQ(ReadFileBytes(DreamFile("Again")), kDream);
  // No block was acknowledged the second time, and no goodbye said.
  EXPECT_EQ(FileTranscript(Request("Again"), 2), Request("Again"));
  const std::string sent = LoginBytes() + "saltmarrows\nsaltmarrows\n";
  EXPECT_EQ(GameTranscript(sent), sent);
}

TEST_F(StandInDreams, ALocalFileOfAnotherSizeIsReplaced) {
  ForgetDream("Replaced");
  std::filesystem::create_directories("qvrx_tmp/Replaced");
  WriteFileBytes(DreamFile("Replaced"), std::string(50000, 'j'));
  ServeDream("Replaced", kDream);
  GameScript(Steps(LoginSteps(), {Send("]q Replaced\n"), Expect("saltmarrows\n")}));
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_TRUE(Saw(kAccepted));
  EXPECT_EQ(ReadFileBytes(DreamFile("Replaced")), kDream);
}

TEST_F(StandInDreams, AFailureBeforeTheFileIsOpenedKeepsTheCompleteLocalCopy) {
  ForgetDream("Kept");
  std::filesystem::create_directories("qvrx_tmp/Kept");
  WriteFileBytes(DreamFile("Kept"), kDream);
  FileScenario("\"welcome\": \"11 Not today\\n\"");
  GameScript(Steps(LoginSteps(), {Send("]q Kept\n"), Expect("goback\n")}));
  MessageBoxRecorder boxes;
  boxes.QueueAnswer(kAnswerYes);
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw(kAbort); }));
  EXPECT_EQ(errors.Text(), "Anomolous message recieved in response to file server connect.\n");
  EXPECT_EQ(ReadFileBytes(DreamFile("Kept")), kDream);
}

TEST_F(StandInDreams, BlocksThatArriveJustBeforeTheServerHangsUpAreStillUsed) {
  ForgetDream("Hasty");
  ServeDream("Hasty", kDream);
  FileScenario("\"pace\": \"burst\", \"fail\": \"close_after_blocks\"");
  GameScript(Steps(LoginSteps(), {Send("]q Hasty\n"), Expect("saltmarrows\n")}));
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_FALSE(Saw("> Lost connection to file server."));
  EXPECT_EQ(ReadFileBytes(DreamFile("Hasty")), kDream);
}

// A server that writes a few stray bytes with its last block has still sent
// the whole file: acknowledged block by block, or all in one write.
class TrailingBytes : public StandInSession, public testing::WithParamInterface<const char*> {};

TEST_P(TrailingBytes, AfterTheLastBlockDoNotSpoilTheDownload) {
  const std::string id = std::string("Trailer") + GetParam();
  ForgetDream(id);
  ServeDream(id, kDream);
  FileScenario("\"trailer\": \"\\r\\nOK\\n\", \"pace\": " + JsonText(GetParam()));
  GameScript(Steps(LoginSteps(), {Send("]q " + id + "\n"), Expect("saltmarrows\n")}));
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Downloading Dream...") && GetTransferList().empty(); }));
  EXPECT_TRUE(Saw("> Dream load succeeded."));
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(ReadFileBytes(DreamFile(id)), kDream);
  EXPECT_EQ(FileTranscript(Request(id) + kAllAcks), Request(id) + kAllAcks);
}

INSTANTIATE_TEST_SUITE_P(StandInTrailers, TrailingBytes, testing::Values("ack", "glued"));

// The getter found no bytes and, before it asks whether the connection is
// still open, looks away long enough for the answer, every block and the
// server's hang-up to arrive.
void LookAway() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

TEST_F(StandInDreams, BytesAndAHangUpThatLandWhileTheGetterLooksAwayAreStillUsed) {
  ForgetDream("Sudden");
  ServeDream("Sudden", kDream);
  // The answer comes while the getter looks away after its request.
  FileScenario("\"pace\": \"glued\", \"fail\": \"close_after_blocks\", \"answer_delay\": 0.1");
  GameScript(Steps(LoginSteps(), {Send("]q Sudden\n"), Expect("saltmarrows\n")}));
  VANT::SetFileGetterIdlePause(LookAway);
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Downloading Dream...") && GetTransferList().empty(); }));
  EXPECT_FALSE(Saw("> Lost connection to file server."));
  EXPECT_TRUE(Saw("> Dream load succeeded."));
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(ReadFileBytes(DreamFile("Sudden")), kDream);
  // The server had gone: nothing was acknowledged.
  EXPECT_EQ(FileTranscript(Request("Sudden")), Request("Sudden"));
}

// A welcome too long to keep is dropped and logged, and judged by its first
// three bytes: the download goes on. Cut before its line feed, or whole.
struct LongWelcome {
  const char* label;
  std::string pieces;  // the stand-in's welcome writes, as a JSON list
  std::string log;
};

void PrintTo(const LongWelcome& c, std::ostream* out) { *out << c.label; }

const std::string kLongWelcome = "10 " + std::string(5000, 'x');

const LongWelcome kLongWelcomes[] = {
    {"InPieces", "[" + JsonText(kLongWelcome) + ", " + JsonText("\n") + "]",
     "Dropped an over-long line from the file server (more than 4096 bytes without a line feed).\n"},
    {"Whole", "[" + JsonText(kLongWelcome + "\n") + "]",
     "Dropped an over-long line from the file server (5004 bytes).\n"},
};

class OverLongWelcome : public StandInSession, public testing::WithParamInterface<LongWelcome> {};

TEST_P(OverLongWelcome, IsDroppedLoggedAndStillWelcomes) {
  const std::string id = std::string("Chatty") + GetParam().label;
  ForgetDream(id);
  ServeDream(id, kDream);
  FileScenario("\"welcome\": " + GetParam().pieces);
  GameScript(Steps(LoginSteps(), {Send("]q " + id + "\n"), Expect("saltmarrows\n")}));
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Downloading Dream...") && GetTransferList().empty(); }));
  EXPECT_TRUE(Saw("> Dream load succeeded."));
  EXPECT_EQ(errors.Text(), GetParam().log);
  EXPECT_EQ(ReadFileBytes(DreamFile(id)), kDream);
  EXPECT_EQ(FileTranscript(Request(id) + kAllAcks), Request(id) + kAllAcks);
}

INSTANTIATE_TEST_SUITE_P(StandInLongWelcomes, OverLongWelcome, testing::ValuesIn(kLongWelcomes),
                         [](const testing::TestParamInfo<LongWelcome>& info) { return info.param.label; });

TEST_F(StandInDreams, TheGetterThreadEndsWhenTheServerHangsUpAfterBye) {
  ForgetDream("Farewell");
  ServeDream("Farewell", kDream);
  GameScript(Steps(LoginSteps(), {Send("]q Farewell\n")}));
  dreamStep_ = false;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return !GetTransferList().empty(); }));
  ASSERT_TRUE(DownloadsFinish());
  const VANT::FileGetter* getter = GetTransferList().front().getter;
  EXPECT_TRUE(getter->Succeeded());
  // The stand-in hangs up once it has read "BYE".
  EXPECT_EQ(FileTranscript(Request("Farewell") + kAllAcks), Request("Farewell") + kAllAcks);
  EXPECT_TRUE(RunUntil([&] { return !getter->IsThreadRunning(); }, 5000));
  EXPECT_EQ(GetTransferList().size(), 1u);  // the transfer waits for the dream step
}

// A getter that cannot be made, or whose thread cannot be, must not leave a
// transfer that never ends: the player gets the choice at once, and the same
// dream can come again.
struct ScarceCase {
  const char* label;  // also the dream's name
  size_t refusedBlock;
  int blocksBefore;  // of that size, let through first
};

void PrintTo(const ScarceCase& c, std::ostream* out) { *out << c.label; }

const ScarceCase kScarceCases[] = {
    {"NoGetter", sizeof(VANT::FileGetter) + 2 * CMemMan::kGuardBytes, 0},
    // The getter's connection makes its receive thread first. The getter
    // connects on its own thread: without it, nothing is connected.
    {"NoGetterThread", sizeof(CThread) + 2 * CMemMan::kGuardBytes, 1},
};

class ScarceMemory : public StandInSession, public testing::WithParamInterface<ScarceCase> {};

TEST_P(ScarceMemory, FailsTheDreamAtOnceAndLetsItComeAgain) {
  const ScarceCase& c = GetParam();
  const std::string id = c.label;
  ForgetDream(id);
  ServeDream(id, kDream);
  GameScript(Steps(LoginSteps(), {Expect("armed\n"), Send("]q " + id + "\n"), Expect("goback\n"),
                                  Send("]q " + id + "\n"), Expect("saltmarrows\n")}));
  MessageBoxRecorder boxes;
  boxes.QueueAnswer(kAnswerYes);
  LogTail errors;
  ConnectAndLogIn();
  s_blocksBeforeRefusal = c.blocksBefore;
  s_refusedBlockSize = c.refusedBlock;
  SendLine("armed");
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_EQ(s_refusedBlockSize.load(), 0u) << "nothing was refused";
  s_refusedBlockSize = 0;
  EXPECT_EQ(statusLines_,
            (std::vector<std::string>{"Welcome", "END", "> Downloading Dream...", "> FAILED", kAbort,
                                      "> Downloading Dream...", kWelcome, kAccepted, "> Download Complete.",
                                      "> Decompressing dream...", "> Loading dream...", "> Dream load succeeded."}));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Out of memory trying to alloc?  A call to now must have failed...\n  -call stack:\n\n");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kBoxText);
  EXPECT_TRUE(GetTransferList().empty());
  const std::string sent = LoginBytes() + "armed\ngoback\nsaltmarrows\n";
  EXPECT_EQ(GameTranscript(sent), sent);
  // The refused attempt did not even connect to the file server.
  EXPECT_EQ(FileTranscript(Request(id) + kAllAcks, 1), Request(id) + kAllAcks);
  EXPECT_FALSE(FileServerConnected(2));
}

INSTANTIATE_TEST_SUITE_P(StandInScarce, ScarceMemory, testing::ValuesIn(kScarceCases),
                         [](const testing::TestParamInfo<ScarceCase>& info) { return info.param.label; });

TEST_F(StandInDreams, ARepeatedAnnouncementWhileDownloadingIsIgnored) {
  ForgetDream("Twice");
  ServeDream("Twice", kDream);
  // Windows file names ignore case: the same dream however it is written.
  GameScript(Steps(LoginSteps(), {Send("]q Twice\n]q tWICE\n"), Expect("saltmarrows\n")}));
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return !GetTransferList().empty(); }));
  EXPECT_EQ(GetTransferList().size(), 1u);
  ASSERT_TRUE(RunUntil([&] { return Saw("> Dream load succeeded."); }));
  EXPECT_EQ(errors.Text(), "Ignoring a repeated request for dream \"tWICE\" while its download is still pending.\n");
  EXPECT_EQ(FileTranscript(Request("Twice") + kAllAcks), Request("Twice") + kAllAcks);
  EXPECT_FALSE(FileServerConnected(2));
}

TEST_F(StandInDreams, TwoFinishedDownloadsAreTakenOnePerFrameFrontFirst) {
  ForgetDream("First");
  ForgetDream("Second");
  ServeDream("First", kDream);
  ServeDream("Second", RandomBytes(5000, 3));
  GameScript(Steps(LoginSteps(), {Send("]q First\n]q Second\n"), Expect("saltmarrows\nsaltmarrows\n")}));
  dreamStep_ = false;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return GetTransferList().size() == 2; }));
  ASSERT_TRUE(DownloadsFinish());
  EXPECT_EQ(GetTransferList().front().id, "Second");
  UpdateDreamTransfers();
  ASSERT_EQ(GetTransferList().size(), 1u);
  EXPECT_EQ(GetTransferList().front().id, "First");
  EXPECT_EQ(EffectLog().front(), "extract qvrx_tmp\\Second\\Second.dream");
  UpdateDreamTransfers();
  EXPECT_TRUE(GetTransferList().empty());
  EXPECT_EQ(EffectLog()[3], "extract qvrx_tmp\\First\\First.dream");
  UpdateDreamTransfers();  // nothing left: nothing happens
  EXPECT_EQ(EffectLog().size(), 6u);
  const std::string sent = LoginBytes() + "saltmarrows\nsaltmarrows\n";
  EXPECT_EQ(GameTranscript(sent), sent);
}

TEST_F(StandInDreams, ADreamWithoutALoadableMapFailsAndKeepsTheFloors) {
  ForgetDream("NoMap");
  ServeDream("NoMap", kDream);
  EffectResults().loadMap = false;
  GameScript(Steps(LoginSteps(), {Send("]q NoMap\n"), Expect("goback\n")}));
  MessageBoxRecorder boxes;
  boxes.QueueAnswer(kAnswerYes);
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw(kAbort); }));
  EXPECT_EQ(EffectLog(), (std::vector<std::string>{"extract qvrx_tmp\\NoMap\\NoMap.dream",
                                                   "map qvrx_tmp\\NoMap\\default.map"}));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kBoxText);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Erp");
  EXPECT_EQ(boxes.Boxes()[0].style, static_cast<unsigned>(kMessageBoxYesNo));
  EXPECT_EQ(GameTranscript(LoginBytes() + "goback\n"), LoginBytes() + "goback\n");
  // The download itself was complete: the archive stays for the next try.
  EXPECT_EQ(ReadFileBytes(DreamFile("NoMap")), kDream);
}

TEST_F(StandInDreams, EndingATransferThatIsNotInTheListIsLogged) {
  LogTail errors;
  Transfer ghost;
  ghost.kind = 1;
  ghost.upload = true;
  ghost.id = "ghost";
  EndTransfer(ghost);
  ghost.kind = 0;
  ghost.upload = false;
  EndTransfer(ghost);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Attempt to end a transfer that doesn't exist.\n  -transfer type: upload portrait\n"
            "  -transfer ID: ghost\n  -call stack:\n\n"
            "Attempt to end a transfer that doesn't exist.\n  -transfer type: download dream\n"
            "  -transfer ID: ghost\n  -call stack:\n\n");
}

// ---- every failure of a download ends in the player's choice

// What goes wrong beside the file server's own scenario.
enum Twist {
  kAsServed,
  kSecondWriteFails,  // the disk fills up
  kCloseFails,
  kNoAddressFile,     // data\vantfile_ip.txt is missing
  kNothingListens,    // the address names a port that refuses connections
  kFolderInTheWay,    // a folder stands where the archive would be written
  kImpatient,         // the getter waits only a short time for the server's next byte
  kUnanswered,        // the address names a port where connects stay pending;
                      // the getter waits only a short time for its connect
};

struct FailureCase {
  const char* label;  // also the dream's name
  std::string fileServer;
  Twist twist;
  std::vector<std::string> status;  // after "> Downloading Dream..."
  std::string log;                  // ID stands for the dream's name, PORT the port of the address
  std::string received;             // by the file server; ID as above
  bool goBack;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.label; }

std::string WithId(std::string text, const std::string& id) {
  for (size_t at = text.find("ID"); at != std::string::npos; at = text.find("ID", at + id.size()))
    text.replace(at, 2, id);
  return text;
}

const std::string kDeleted = "Note: deleting incompletely transfered file \"qvrx_tmp\\ID\\ID.dream\"\n";
const std::string kRequest = "RC Bob secret ID 0 2 4096\n";
const std::string kAnomalousAnswer = "Anomolous response recieved to RC request.\n";

const std::string kLongLineCut =
    "Dropped an over-long line from the file server (more than 4096 bytes without a line feed).\n";
const std::string kLongAnswer = "44 10000 0 4096 " + std::string(4990, 'z') + "\n";

const FailureCase kFailures[] = {
    {"BadWelcome", "\"welcome\": \"11 Go away\\n\"", kAsServed, {"> FAILED"},
     "Anomolous message recieved in response to file server connect.\n", "", true},
    // Too long to keep, and not a welcome by its start.
    {"LongBadWelcome", "\"welcome\": [" + JsonText(std::string(5000, 'x')) + ", " + JsonText("\n10 Welcome\n") + "]",
     kAsServed, {"> FAILED"}, kLongLineCut + "Anomolous message recieved in response to file server connect.\n",
     "", false},
    {"BareTen", "\"welcome\": \"10\\n\"", kAsServed, {"> FAILED"},
     "Anomolous message recieved in response to file server connect.\n", "", false},
    {"WrongCode", "\"answer\": \"45 Busy\\n\"", kAsServed, {kWelcome, "> FAILED"}, kAnomalousAnswer, kRequest,
     true},
    {"LongAnswer", "\"answer\": " + JsonText(kLongAnswer), kAsServed, {kWelcome, "> FAILED"},
     "Dropped an over-long line from the file server (5007 bytes).\n" + kAnomalousAnswer, kRequest, true},
    // Nothing follows, so no later byte can end the line.
    {"LongAnswerCut", "\"answer\": " + JsonText(kLongAnswer.substr(0, 4500)) + ", \"fail\": \"close_after_answer\"",
     kAsServed, {kWelcome, "> FAILED"},
     kLongLineCut + kAnomalousAnswer, kRequest, false},
    {"ThreeFields", "\"answer\": \"44 10000 0\\n\"", kAsServed, {kWelcome, "> FAILED"}, kAnomalousAnswer,
     kRequest, false},
    {"NoPayload", "\"answer\": \"44 10000 0 10\\n\"", kAsServed, {kWelcome, "> FAILED"}, kAnomalousAnswer,
     kRequest, true},
    {"HugeBlocks", "\"answer\": \"44 10000 0 2000000000\\n\"", kAsServed, {kWelcome, "> FAILED"},
     kAnomalousAnswer, kRequest, false},
    {"EmptyFile", "\"answer\": \"44 0 0 4096\\n\"", kAsServed, {kWelcome, "> FAILED"}, kAnomalousAnswer,
     kRequest, true},
    {"Untagged", "\"fail\": \"untagged_block\"", kAsServed, {kWelcome, kAccepted, "> FAILED"},
     "Non-data block recieved while downloading file... aborting.\n" + kDeleted, kRequest + "PKOK 0\n", false},
    // Block 1 where block 0 belongs: nothing is acknowledged.
    {"OutOfOrder", "\"fail\": \"out_of_order\", \"fail_block\": 0", kAsServed,
     {kWelcome, kAccepted, "> FAILED"},
     "Out of order data block received from file server... aborting. (I know, I should handle this better.... "
     "later!)\n" + kDeleted,
     kRequest, true},
    {"ClosedMidway", "\"fail\": \"close_mid\"", kAsServed,
     {kWelcome, kAccepted, "> Lost connection to file server."}, "Lost connection to file server...\n" + kDeleted,
     kRequest + "PKOK 0\n", false},
    {"ShortBlock", "\"fail\": \"short_block\"", kAsServed,
     {kWelcome, kAccepted, "> Lost connection to file server."}, "Lost connection to file server...\n" + kDeleted,
     kRequest + "PKOK 0\n", true},
    {"ClosedAfterAnswer", "\"fail\": \"close_after_answer\"", kAsServed,
     {kWelcome, kAccepted, "> Lost connection to file server."}, "Lost connection to file server...\n" + kDeleted,
     kRequest, false},
    // The connection fails at once: state 0 with done set, so no status line
    // of the getter's own.
    {"NoAddress", "", kNoAddressFile, {},
     "Failed to load vant's file-server ip and port from \\data\\vantfile_ip.txt file.\n"
     "Unable to resolve host \"Failed to load\" port 0\n"
     "Failed to connect to vant file server.\n",
     "", true},
    {"Refused", "", kNothingListens, {},
     "Failed to connect to host \"127.0.0.1\" port PORT\n  -connection refused by server\n"
     "Failed to connect to vant file server.\n",
     "", false},
    // Nothing was written, so nothing is deleted: the folder stays.
    {"FolderInTheWay", "", kFolderInTheWay, {kWelcome, "> FAILED"},
     "Failed to open output file, to download dream into.\n", kRequest, true},
    {"TooMuchData", "\"answer\": \"44 100 0 4096\\n\", \"pace\": \"glued\"", kAsServed,
     {kWelcome, kAccepted, "> FAILED"},
     "File server sent more data than the transfer announced... aborting.\n" + kDeleted, kRequest, true},
    // A server that goes quiet without hanging up: waiting for the welcome,
    // inside it, for the answer, for a block.
    {"Silent", "\"fail\": \"silent\"", kImpatient, {"> Lost connection to file server."},
     "Lost connection to file server...\n", "", true},
    {"HalfAWelcome", "\"welcome\": \"10 Wel\"", kImpatient, {"> Lost connection to file server."},
     "Lost connection to file server...\n", "", false},
    {"NoAnswer", "\"fail\": \"no_answer\"", kImpatient, {kWelcome, "> Lost connection to file server."},
     "Lost connection to file server...\n", kRequest, true},
    {"StalledMidway", "\"fail\": \"stall_mid\"", kImpatient,
     {kWelcome, kAccepted, "> Lost connection to file server."}, "Lost connection to file server...\n" + kDeleted,
     kRequest + "PKOK 0\n", false},
    {"Unanswered", "", kUnanswered, {},
     "Failed to connect to host \"127.0.0.1\" port PORT\nFailed to connect to vant file server.\n", "", true},
    {"DiskFull", "", kSecondWriteFails, {kWelcome, kAccepted, "> FAILED"},
     "Failed to write the downloaded dream file.\n" + kDeleted, kRequest + "PKOK 0\n", true},
    {"CloseFails", "", kCloseFails, {kWelcome, kAccepted, "> Download Complete.", "> FAILED"},
     "Failed to finish writing the downloaded dream file.\n" + kDeleted, kRequest + kAllAcks, false},
};

std::atomic<int> s_writes;
size_t SecondWriteFails(const void* data, size_t size, std::FILE* file) {
  return ++s_writes == 2 ? 0 : std::fwrite(data, 1, size, file);
}
int CloseFails(std::FILE* file) {
  std::fclose(file);
  return EOF;
}

// A socket bound to a port of 127.0.0.1 that never listens: connects to it
// are refused, and no other program can take the port while it is held.
class RefusingPort {
 public:
  RefusingPort() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 0), &data) == 0;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket_ != INVALID_SOCKET && bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      int length = sizeof address;
      if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) port_ = ntohs(address.sin_port);
    }
  }
  ~RefusingPort() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }
  int Port() const { return port_; }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

// Puts the stand-in's address file back whatever the test did with it.
class AddressFileKeeper {
 public:
  AddressFileKeeper() : text_(ReadFileBytes(kPath)) {}
  ~AddressFileKeeper() { WriteFileBytes(kPath, text_); }

 private:
  static constexpr const char* kPath = "data\\vantfile_ip.txt";
  std::string text_;
};

// Short enough for a test, long enough for a loaded machine between two
// bytes of a server that is still talking.
constexpr int kShortSilenceMs = 1500;
constexpr int kShortConnectMs = 500;

// Points the file-server address at the stand-in's port where connects stay
// pending (an AddressFileKeeper puts the real one back); its number.
int UseUnansweredPort() {
  const std::string address = ReadFileBytes("standin\\unanswered_ip.txt");
  WriteFileBytes("data\\vantfile_ip.txt", address);
  const size_t blank = address.find(' ');
  return blank == std::string::npos ? 0 : std::atoi(address.c_str() + blank + 1);
}

class DownloadFailure : public StandInSession, public testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailure, EndsInThePlayersChoiceWithoutAPartialFile) {
  const FailureCase& c = GetParam();
  const std::string id = c.label;
  ForgetDream(id);
  ServeDream(id, kDream);
  FileScenario(c.fileServer);
  s_writes = 0;
  if (c.twist == kSecondWriteFails) VANT::SetFileGetterFileCalls(SecondWriteFails, nullptr);
  if (c.twist == kCloseFails) VANT::SetFileGetterFileCalls(nullptr, CloseFails);
  AddressFileKeeper address;
  RefusingPort refusing;
  if (c.twist == kNoAddressFile) {
    ASSERT_EQ(std::remove("data\\vantfile_ip.txt"), 0);
  }
  int port = refusing.Port();
  if (c.twist == kNothingListens) {
    ASSERT_GT(port, 0);
    WriteFileBytes("data\\vantfile_ip.txt", "127.0.0.1 " + std::to_string(port) + "\n");
  }
  if (c.twist == kUnanswered) {
    port = UseUnansweredPort();
    ASSERT_GT(port, 0);
  }
  if (c.twist == kImpatient) VANT::SetFileGetterTimeLimits(0, kShortSilenceMs);
  if (c.twist == kUnanswered) VANT::SetFileGetterTimeLimits(kShortConnectMs, 0);
  if (c.twist == kFolderInTheWay) {
    ASSERT_TRUE(std::filesystem::create_directories("qvrx_tmp/" + id + "/" + id + ".dream"));
  }
  const std::string answer = c.goBack ? "goback\n" : "saltmarrows\n";
  GameScript(Steps(LoginSteps(), {Send("]q " + id + "\n"), Expect(answer)}));
  MessageBoxRecorder boxes;
  boxes.QueueAnswer(c.goBack ? kAnswerYes : kAnswerNo);
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw(kAbort); }));

  std::vector<std::string> status = {"Welcome", "END", "> Downloading Dream..."};
  status.insert(status.end(), c.status.begin(), c.status.end());
  status.push_back(kAbort);
  EXPECT_EQ(statusLines_, status);
  std::string log = WithId(c.log, id);
  size_t portAt = log.find("PORT");
  if (portAt != std::string::npos) log.replace(portAt, 4, std::to_string(port));
  EXPECT_EQ(errors.Text(), log);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kBoxText);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Erp");
  EXPECT_TRUE(GetTransferList().empty());
  EXPECT_FALSE(FileExists(DreamFile(id)));
  EXPECT_EQ(std::filesystem::is_directory("qvrx_tmp/" + id + "/" + id + ".dream"), c.twist == kFolderInTheWay);
  EXPECT_TRUE(EffectLog().empty());  // nothing extracted or loaded
  EXPECT_EQ(GameTranscript(LoginBytes() + answer), LoginBytes() + answer);
  EXPECT_EQ(FileTranscript(WithId(c.received, id)), WithId(c.received, id));
  if (c.twist == kNoAddressFile || c.twist == kNothingListens || c.twist == kUnanswered) {
    EXPECT_FALSE(FileServerConnected());
  }
}

INSTANTIATE_TEST_SUITE_P(StandInFailures, DownloadFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

// A server gone quiet is hung up on at once: the getter's thread ends with
// the connection, before the dream step has looked at the transfer.
TEST_F(StandInDreams, AServerGoneQuietIsHungUpOn) {
  ForgetDream("Quiet");
  ServeDream("Quiet", kDream);
  FileScenario("\"fail\": \"stall_mid\", \"fail_block\": 2");
  GameScript(Steps(LoginSteps(), {Send("]q Quiet\n")}));
  VANT::SetFileGetterTimeLimits(0, kShortSilenceMs);
  dreamStep_ = false;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return !GetTransferList().empty(); }));
  ASSERT_TRUE(DownloadsFinish());
  const VANT::FileGetter* getter = GetTransferList().front().getter;
  EXPECT_FALSE(getter->Succeeded());
  EXPECT_TRUE(RunUntil([&] { return !getter->IsThreadRunning(); }, 5000));
  EXPECT_EQ(FileTranscript(Request("Quiet") + "PKOK 0\nPKOK 1\n"), Request("Quiet") + "PKOK 0\nPKOK 1\n");
  int received = 0, total = 0;
  getter->GetProgress(received, total);
  EXPECT_EQ(received, 2 * 4086);
  EXPECT_EQ(total, 10000);
}

// The getter's connect must not hold up the frame loop: while it waits on a
// port that never answers, the game connection sends and receives, frame
// after frame; the player leaving ends the waiting download at once.
TEST_F(StandInDreams, FramesGoOnWhileTheFileServerDoesNotAnswer) {
  AddressFileKeeper address;
  ASSERT_GT(UseUnansweredPort(), 0);
  GameScript(Steps(LoginSteps(), {Send("]q Waiting\n"), Expect("one\n"), Send("(two\n"), Expect("three\n"),
                                  Send("(four\n")}));
  MessageBoxRecorder boxes;
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw("> Downloading Dream..."); }));
  ASSERT_EQ(GetTransferList().size(), 1u);
  const VANT::FileGetter* getter = GetTransferList().front().getter;
  ASSERT_TRUE(SendLine("one"));
  ASSERT_TRUE(RunUntil([&] { return Saw("two"); }));
  ASSERT_TRUE(SendLine("three"));
  ASSERT_TRUE(RunUntil([&] { return Saw("four"); }));
  EXPECT_FALSE(getter->IsDone());
  EXPECT_TRUE(getter->IsThreadRunning());

  const Transfer transfer = GetTransferList().front();
  EndTransfer(transfer);
  EXPECT_TRUE(GetTransferList().empty());
  EXPECT_EQ(errors.Text(), "");
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(GameTranscript(LoginBytes() + "one\nthree\n"), LoginBytes() + "one\nthree\n");
  EXPECT_FALSE(FileServerConnected());
}

// A dream's name becomes a folder and a file: anything but a plain name is
// refused before a connection is made or a file created.
class RefusedDreamName : public StandInSession, public testing::WithParamInterface<std::string> {};

TEST_P(RefusedDreamName, FailsTheDownloadWithoutTouchingTheDisk) {
  const std::string name = GetParam();
  GameScript(Steps(LoginSteps(), {Send("]q " + name + "\n"), Expect("goback\n")}));
  MessageBoxRecorder boxes;
  boxes.QueueAnswer(kAnswerYes);
  LogTail errors;
  ConnectAndLogIn();
  ASSERT_TRUE(RunUntil([&] { return Saw(kAbort); }));
  EXPECT_EQ(statusLines_,
            (std::vector<std::string>{"Welcome", "END", "> Downloading Dream...", "> FAILED", kAbort}));
  std::string shown = StripControlChars(name);
  shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
  EXPECT_EQ(errors.Text(),
            "Refused to download a dream whose name is not a plain file name: \"" + shown + "\"\n");
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(GameTranscript(LoginBytes() + "goback\n"), LoginBytes() + "goback\n");
  EXPECT_FALSE(FileServerConnected());
}

INSTANTIATE_TEST_SUITE_P(StandInNames, RefusedDreamName,
                         // "]q", one ignored character, then the name: at least six in all.
                         testing::Values("..\\..\\evil", " ..", "a/b", "CON", "c:\\windows\\x", "tab\there",
                                         std::string(70, 'n'), "   "),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return "Case" + std::to_string(info.index);
                         });

}  // namespace
