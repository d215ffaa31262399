// The dream downloader: welcome, request, answer, then blocks acknowledged
// one by one into the archive file.
#include "game/service/VantFileGetter.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "foundation/CMemMan.h"
#include "foundation/CThread.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"

namespace VANT {

namespace {

size_t WriteBytes(const void* data, size_t size, std::FILE* file) { return std::fwrite(data, 1, size, file); }
int CloseFile(std::FILE* file) { return std::fclose(file); }

std::atomic<FileWriteCall> s_write{WriteBytes};
std::atomic<FileCloseCall> s_close{CloseFile};
std::atomic<FileGetterPause> s_idlePause{nullptr};

constexpr int kDefaultConnectLimitMs = 20000;
constexpr int kDefaultSilenceLimitMs = 30000;
std::atomic<int> s_connectLimitMs{kDefaultConnectLimitMs};
std::atomic<int> s_silenceLimitMs{kDefaultSilenceLimitMs};

using Clock = std::chrono::steady_clock;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

void SetFileGetterFileCalls(FileWriteCall write, FileCloseCall close) {
  s_write = write ? write : WriteBytes;
  s_close = close ? close : CloseFile;
}

void SetFileGetterIdlePause(FileGetterPause pause) { s_idlePause = pause; }

void SetFileGetterTimeLimits(int connectMilliseconds, int silenceMilliseconds) {
  s_connectLimitMs = connectMilliseconds > 0 ? connectMilliseconds : kDefaultConnectLimitMs;
  s_silenceLimitMs = silenceMilliseconds > 0 ? silenceMilliseconds : kDefaultSilenceLimitMs;
}

FileGetter::FileGetter(const std::string& id, const std::string& dir)
    : thread_(nullptr),
      host_("Failed to load"),
      port_(0),
      done_(false),
      state_(kAwaitingWelcome),
      id_(id),
      nextBlock_(0),
      blockSize_(0),
      blockCount_(0),
      received_(0),
      total_(1),
      file_(nullptr),
      wroteFile_(false),
      droppingLine_(false),
      lastActivity_(Clock::now()) {
  // The name comes from the game server and becomes a folder and a file
  // that this getter creates, writes and may delete.
  if (!IsAcceptableDreamName(id)) {
    ErrorLog << "Refused to download a dream whose name is not a plain file name: \"" << StripControlChars(id)
             << "\"\n";
    Fail(nullptr, "> FAILED");
    return;
  }

  std::ifstream address("data\\vantfile_ip.txt");
  if (address)
    address >> host_ >> port_;
  else
    ErrorLog << "Failed to load vant's file-server ip and port from \\data\\vantfile_ip.txt file.\n";

  path_ = dir + "\\" + id + ".dream";
  // The thread connects: a connect made here would stop the frame loop until
  // the server answered or the attempt timed out.
  thread_ = new2(CThread, CThread(ThreadProcedure,"VantFileGetter",this));
  // Nothing else would ever end the transfer (the thread's absence is
  // already logged).
  if (!thread_ || !thread_->Started()) Fail(nullptr, "> FAILED");
}

FileGetter::~FileGetter() {
  if (thread_) delete2(thread_);
  if (file_) s_close.load()(file_);
  file_ = nullptr;
  if (state_.load() != kTransferComplete && wroteFile_) {
    ErrorLog << "Note: deleting incompletely transfered file \"" << path_ << "\"\n";
    if (std::remove(path_.c_str()) != 0) ErrorLog << "Failed to delete file \"" << path_ << "\"\n";
  }
}

void FileGetter::GetProgress(int& received, int& total) const {
  received = received_.load(std::memory_order_relaxed);
  total = total_.load(std::memory_order_relaxed);
}

bool FileGetter::IsThreadRunning() const { return thread_ && thread_->IsRunning(); }

void FileGetter::ThreadProcedure(CThread* thread, void* parameter) {
  FileGetter* self = static_cast<FileGetter*>(parameter);
  if (!self->ConnectToServer(*thread)) return;
  while (!thread->StopRequested()) {
    if (self->IsDone()) {
      if (!self->connection_.IsConnected()) return;
      SleepMs(5);
      continue;
    }
    self->Pass();
  }
}

bool FileGetter::ConnectToServer(const CThread& thread) {
  // Polled, not blocking: a blocking connect would hold the network lock,
  // and with it every other connection's socket calls (the game
  // connection's sends on the main thread among them), until it returned.
  NetClient::ConnectProgress progress = NetClient::kConnectFailed;
  if (connection_.StartConnect(host_, port_)) progress = connection_.PollConnect();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(s_connectLimitMs.load());
  while (progress == NetClient::kConnectPending) {
    // The transfer was ended meanwhile (the player left): nothing to report.
    if (thread.StopRequested()) return false;
    if (Clock::now() >= deadline) {
      connection_.GiveUpConnect();
      progress = NetClient::kConnectFailed;
      break;
    }
    SleepMs(5);
    progress = connection_.PollConnect();
  }
  if (progress == NetClient::kConnectDone) {
    lastActivity_ = Clock::now();
    return true;
  }
  // The state stays 0 with done set: a failed transfer.
  ErrorLog << "Failed to connect to vant file server.\n";
  done_.store(true, std::memory_order_release);
  return false;
}

void FileGetter::Pass() {
  if (connection_.PendingBytes() > 0) {
    std::vector<char> bytes;
    if (connection_.ReceiveData(bytes)) {
      buffer_.Append(bytes.data(), bytes.size());
      lastActivity_ = Clock::now();
    }
  } else if (buffer_.Empty()) {
    if (s_idlePause.load()) s_idlePause.load()();
    if (!connection_.IsConnected()) {
      // The receive thread stores a server's last bytes before it marks the
      // connection closed, and both may have happened since the count above
      // was read: go round to use them.
      if (connection_.PendingBytes() > 0) return;
      Fail("Lost connection to file server...\n", "> Lost connection to file server.");
      return;
    }
    if (ServerFellSilent()) return;
    SleepMs(25);
    return;
  }
  // Bytes that came in just before the server hung up are still used: the
  // connection only counts as lost once they can take the transfer no
  // further.
  if (!Step() && !IsDone()) {
    if (!connection_.IsConnected() && connection_.PendingBytes() == 0) {
      Fail("Lost connection to file server...\n", "> Lost connection to file server.");
      return;
    }
    // Part of a line or a block, and nothing more coming.
    if (ServerFellSilent()) return;
  }
  SleepMs(5);
}

// A server that accepts and then sends nothing, or stops in the middle
// without hanging up, would otherwise hold the player in the dream for ever.
bool FileGetter::ServerFellSilent() {
  if (Clock::now() - lastActivity_ < std::chrono::milliseconds(s_silenceLimitMs.load())) return false;
  connection_.Disconnect();
  Fail("Lost connection to file server...\n", "> Lost connection to file server.");
  return true;
}

bool FileGetter::ReadLine(std::string& out) { return buffer_.TakeLine(out); }

bool FileGetter::ReadBlock(std::vector<char>& out) { return buffer_.TakeBlock(static_cast<size_t>(blockSize_), out); }

bool FileGetter::Step() {
  int state = state_.load();
  if (state == kAwaitingWelcome || state == kAwaitingAnswer) {
    std::string line;
    bool whole = ReadLine(line);
    if (droppingLine_) {
      // The rest of a line already judged by its start.
      if (whole) {
        droppingLine_ = false;
        return true;
      }
      if (buffer_.Empty()) return false;
      buffer_.Clear();
      return true;
    }
    if (!whole) {
      if (buffer_.Size() <= kMaxFileServerLineBytes) return false;
      ErrorLog << "Dropped an over-long line from the file server (more than "
               << static_cast<int>(kMaxFileServerLineBytes) << " bytes without a line feed).\n";
      std::vector<char> start;
      buffer_.TakeBlock(3, start);
      buffer_.Clear();
      droppingLine_ = true;
      HandleOverLongLine(std::string(start.begin(), start.end()));
      return true;
    }
    if (line.size() > kMaxFileServerLineBytes) {
      ErrorLog << "Dropped an over-long line from the file server (" << static_cast<int>(line.size())
               << " bytes).\n";
      HandleOverLongLine(line.substr(0, 3));
      return true;
    }
    if (state == kAwaitingWelcome)
      HandleWelcome(line);
    else
      HandleAnswer(line);
    return true;
  }
  if (state == kReceivingBlocks) {
    // A few bytes after the last block do not spoil a complete download;
    // much more than the blocks still to come is never a transfer in
    // progress, and would only grow the buffer.
    long long expected = static_cast<long long>(blockCount_ - nextBlock_) * blockSize_;
    if (static_cast<long long>(buffer_.Size()) > expected + static_cast<long long>(kMaxBlockSurplusBytes)) {
      Fail("File server sent more data than the transfer announced... aborting.\n", "> FAILED");
      return true;
    }
    std::vector<char> block;
    if (!ReadBlock(block)) return false;
    HandleBlock(block);
    return true;
  }
  return false;
}

// The line was too long to keep, but the conversation still needs its
// answer: a welcome is judged by its first three bytes, which are all that
// matter in one; an answer that long is nothing the getter could use.
void FileGetter::HandleOverLongLine(const std::string& start) {
  if (state_.load() == kAwaitingWelcome)
    HandleWelcome(start);
  else
    Fail("Anomolous response recieved to RC request.\n", "> FAILED");
}

void FileGetter::HandleWelcome(const std::string& line) {
  if (!IsFileServerWelcome(line)) {
    Fail("Anomolous message recieved in response to file server connect.\n", "> FAILED");
    return;
  }
  PushMessage("> File Server welcome received.  Requesting transfer...");
  const PlayerInfo& player = GetPlayerInfo();
  Reply(TransferRequestLine(player.Name, player.Password, id_));
  state_ = kAwaitingAnswer;
}

void FileGetter::HandleAnswer(const std::string& line) {
  int total = 0;
  int blockSize = 0;
  // Sizes out of bounds would divide by zero, allocate without limit or
  // "complete" an empty download: the same as an unknown answer.
  if (ParseTransferAnswer(line, &total, &blockSize) != TransferAnswer::kAccepted) {
    Fail("Anomolous response recieved to RC request.\n", "> FAILED");
    return;
  }
  received_ = 0;
  total_ = total;
  blockSize_ = blockSize;
  blockCount_ = BlockCountFor(total, blockSize);
  CreateDirectoryPath(path_);
  long length = GetFileLength(path_);
  if (length == total) {
    PushMessage("> Already have file, cancelling download and using local copy.");
    received_ = static_cast<int>(length);
    Finish(kTransferComplete);
    return;
  }
  file_ = std::fopen(path_.c_str(), "wb");
  if (!file_) {
    Fail("Failed to open output file, to download dream into.\n", "> FAILED");
    return;
  }
  wroteFile_ = true;
  PushMessage("> Transfer request accepted.  Download beginning.");
  state_ = kReceivingBlocks;
}

void FileGetter::HandleBlock(const std::vector<char>& block) {
  int number = 0;
  if (!ParseBlockHeader(block.data(), block.size(), &number)) {
    Fail("Non-data block recieved while downloading file... aborting.\n", "> FAILED");
    return;
  }
  if (number != nextBlock_) {
    Fail("Out of order data block received from file server... aborting. (I know, I should handle this better.... "
         "later!)\n",
         "> FAILED");
    return;
  }
  int received = received_.load();
  int payload = number == blockCount_ - 1 ? total_.load() - received : blockSize_ - kBlockHeaderBytes;
  // A full disk must not pass for a complete download that is then reused.
  if (s_write.load()(block.data() + kBlockHeaderBytes, static_cast<size_t>(payload), file_) !=
      static_cast<size_t>(payload)) {
    Fail("Failed to write the downloaded dream file.\n", "> FAILED");
    return;
  }
  received_ = received + payload;
  Reply("PKOK " + std::to_string(number) + "\n");
  if (++nextBlock_ < blockCount_) return;

  Reply("BYE\n");
  PushMessage("> Download Complete.");
  std::FILE* file = file_;
  file_ = nullptr;
  if (s_close.load()(file) != 0) {
    Fail("Failed to finish writing the downloaded dream file.\n", "> FAILED");
    return;
  }
  if (received_.load() != total_.load()) {
    Fail("file dl: me->totalSize and me->totalReceived are different...\n",
         "> Eh... but something's not right with it's size...");
    return;
  }
  Finish(kTransferComplete);
}

// A server that hung up after its last block still gets its blocks used;
// the acknowledgements then have nowhere to go and are not sent.
void FileGetter::Reply(const std::string& text) {
  if (connection_.IsConnected()) connection_.SendData(text.data(), static_cast<int>(text.size()));
  // The server's silence counts from here: it has something to answer.
  lastActivity_ = Clock::now();
}

// The state first, then done: a main thread that sees done sees the state.
void FileGetter::Finish(int state) {
  state_ = state;
  done_.store(true, std::memory_order_release);
}

void FileGetter::Fail(const char* logText, const char* statusLine) {
  if (logText) ErrorLog << logText;
  PushMessage(statusLine);
  Finish(kTransferFailed);
}

}  // namespace VANT
