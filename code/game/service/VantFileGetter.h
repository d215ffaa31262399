// One dream download from the file server, on a thread of its own with a
// connection of its own. The main thread polls IsDone and Succeeded; status
// lines go through the game-state store's queue.
#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/NetClient.h"
#include "game/service/FileServerProtocol.h"

class CThread;

namespace VANT {

enum FileGetterState : int {
  kAwaitingWelcome = 0,
  kAwaitingAnswer = 1,
  kReceivingBlocks = 2,
  kTransferComplete = 3,
  kTransferFailed = 4,
};

class FileGetter {
 public:
  // Starts the thread at once, which connects and downloads; a name that is
  // not a plain file name fails the transfer before anything is connected or
  // created.
  FileGetter(const std::string& id, const std::string& dir);
  // Stops the thread; deletes the file when this getter wrote it and the
  // download did not complete.
  virtual ~FileGetter();

  bool IsDone() const { return done_.load(std::memory_order_acquire); }
  bool Succeeded() const { return state_.load() == kTransferComplete; }
  void GetProgress(int& received, int& total) const;
  const std::string& GetPath() const { return path_; }
  // False once the thread has ended: after the transfer, when the
  // connection has closed (the server hung up, or the getter did on a server
  // gone quiet).
  bool IsThreadRunning() const;

  static void ThreadProcedure(CThread* thread, void* parameter);

 private:
  FileGetter(const FileGetter&) = delete;
  FileGetter& operator=(const FileGetter&) = delete;

  // One line (line feed included) or one block off the receive buffer;
  // false, taking nothing, when it is not all there.
  bool ReadLine(std::string& out);
  bool ReadBlock(std::vector<char>& out);

  // The connect, made without blocking and given up after its time limit;
  // false when it failed (the transfer is then done) or the thread was asked
  // to stop meanwhile.
  bool ConnectToServer(const CThread& thread);
  // One pass of the thread loop; the step handles at most one line or block
  // and tells whether it could do anything.
  void Pass();
  // Fails the transfer and closes the connection when the server has sent
  // nothing for the silence limit since the last byte or the last line sent.
  bool ServerFellSilent();
  bool Step();
  void HandleOverLongLine(const std::string& start);
  void HandleWelcome(const std::string& line);
  void HandleAnswer(const std::string& line);
  void HandleBlock(const std::vector<char>& block);
  void Reply(const std::string& text);
  void Finish(int state);
  void Fail(const char* logText, const char* statusLine);

  CThread* thread_;
  NetClient connection_;
  std::string host_;
  int port_;
  std::atomic<bool> done_;
  std::atomic<int> state_;
  ByteQueue buffer_;
  std::string id_;
  int nextBlock_;
  int blockSize_;
  int blockCount_;
  std::atomic<int> received_;
  std::atomic<int> total_;
  std::string path_;
  std::FILE* file_;
  // This getter opened the path for writing, so an unfinished download may
  // be deleted; a local copy it never touched is left alone.
  bool wroteFile_;
  // The rest of a dropped over-long line is dropped up to its line feed.
  bool droppingLine_;
  // When the server last sent a byte or the getter last sent a line.
  std::chrono::steady_clock::time_point lastActivity_;
};

// The file writes of every getter, for tests that need a write or the close
// to fail (a full disk). Null restores fwrite and fclose.
typedef size_t (*FileWriteCall)(const void* data, size_t size, std::FILE* file);
typedef int (*FileCloseCall)(std::FILE* file);
void SetFileGetterFileCalls(FileWriteCall write, FileCloseCall close);

// Called on a getter's thread when it found no received bytes, before it asks
// whether the connection is still open, so tests can let the server's last
// bytes and its hang-up both land in that gap. Null: no pause.
typedef void (*FileGetterPause)();
void SetFileGetterIdlePause(FileGetterPause pause);

// How long a getter waits for its connect to complete (20 s, as long as the
// system's own limit for a blocking connect), and for the file server's next
// byte while it waits for the welcome, the answer or a block (30 s). Tests
// make them short; 0 restores the default.
void SetFileGetterTimeLimits(int connectMilliseconds, int silenceMilliseconds);

}  // namespace VANT
