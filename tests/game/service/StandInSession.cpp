#include "StandInSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "foundation/NetClient.h"
#include "game/service/VantDataManager.h"
#include "game/service/VantFileGetter.h"
#include "ServiceTestSupport.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The servers write their transcripts as bytes arrive: wait until the file
// holds what the test expects (or give up and show what it holds).
std::string AwaitFile(const std::string& path, const std::string& expected) {
  std::string text;
  for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end; SleepMs(20)) {
    text = ReadFileBytes(path);
    if (text == expected) break;
  }
  return text;
}

}  // namespace

std::string JsonText(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Send(const std::string& bytes) { return "{\"send\": " + JsonText(bytes) + "}"; }
std::string Expect(const std::string& bytes) { return "{\"expect\": " + JsonText(bytes) + "}"; }
std::string HangUp() { return "{\"close\": true}"; }

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

void StandInSession::SetUp() {
  if (!std::getenv("QV_STANDIN")) GTEST_SKIP() << "needs the stand-in servers: tools/standin/with-standins.sh";
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  testName_ = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : testName_)
    if (c == '/') c = '_';
  ResetServiceState();
  previousEffects_ = SetWorldEffects(RecordingEffects());
  started_ = true;
  std::filesystem::create_directories("standin/dreams");
  FileScenario("");
}

void StandInSession::TearDown() {
  if (!started_) return;
  while (!GetTransferList().empty()) EndTransfer(GetTransferList().front());
  SetNetClient(nullptr);
  game_.reset();
  SetWorldEffects(previousEffects_);
  GetPlayerInfo() = PlayerInfo();
  VANT::SetFileGetterFileCalls(nullptr, nullptr);
  VANT::SetFileGetterIdlePause(nullptr);
  VANT::SetFileGetterTimeLimits(0, 0);
}

void StandInSession::GameScript(const std::vector<std::string>& steps) {
  WriteFileBytes("standin\\game.json", "{\"transcript\": " + JsonText(testName_ + "-game") + ", \"script\": [" +
                                           Join(steps) + "]}");
}

void StandInSession::FileScenario(const std::string& members) {
  WriteFileBytes("standin\\file.json", "{\"transcript\": " + JsonText(testName_ + "-file") +
                                           (members.empty() ? "" : ", " + members) + "}");
}

void StandInSession::ServeDream(const std::string& id, const std::string& bytes) {
  WriteFileBytes("standin\\dreams\\" + id + ".dream", bytes);
}

std::vector<std::string> StandInSession::LoginSteps(const std::string& greeting) {
  return {Send(greeting), Expect("connect Bob secret\n"), Send("&&&&&&&&&&&&&\n"), Expect(" \n")};
}

std::string StandInSession::LoginBytes() { return "connect Bob secret\ndesc A tall fox\ncolor #$%&'()*+,#% \n"; }

void StandInSession::Connect() {
  std::ifstream address("data\\vant_ip.txt");
  std::string host;
  int port = 0;
  address >> host >> port;
  ASSERT_GT(port, 0) << "no address from the stand-in game server";
  game_ = std::make_unique<NetClient>();
  ASSERT_TRUE(game_->Connect(host, port));
  SetNetClient(game_.get());
}

void StandInSession::ConnectAndLogIn() {
  Connect();
  ASSERT_TRUE(RunUntil([] { return IsLoggedIn(); })) << "no login answer";
}

void StandInSession::Frame() {
  std::string line;
  PollGameServer();
  while (PopMessage(line)) statusLines_.push_back(line);
  if (dreamStep_) UpdateDreamTransfers();
  while (PopMessage(line)) statusLines_.push_back(line);
}

bool StandInSession::RunUntil(const std::function<bool()>& done, int milliseconds) {
  for (auto end = Clock::now() + std::chrono::milliseconds(milliseconds); Clock::now() < end; SleepMs(5)) {
    Frame();
    if (done()) return true;
  }
  return false;
}

bool StandInSession::Saw(const std::string& statusLine) const {
  for (const std::string& line : statusLines_)
    if (line == statusLine) return true;
  return false;
}

bool StandInSession::DownloadsFinish(int milliseconds) {
  bool step = dreamStep_;
  dreamStep_ = false;
  bool finished = RunUntil(
      [] {
        for (const Transfer& transfer : GetTransferList())
          if (!transfer.getter->IsDone()) return false;
        return true;
      },
      milliseconds);
  dreamStep_ = step;
  return finished;
}

std::string StandInSession::GameTranscript(const std::string& expected, int connection) {
  return AwaitFile("standin\\" + testName_ + "-game-" + std::to_string(connection) + ".bin", expected);
}

std::string StandInSession::FileTranscript(const std::string& expected, int connection) {
  return AwaitFile("standin\\" + testName_ + "-file-" + std::to_string(connection) + ".bin", expected);
}

bool StandInSession::FileServerConnected(int connection) const {
  return FileExists("standin\\" + testName_ + "-file-" + std::to_string(connection) + ".bin");
}
