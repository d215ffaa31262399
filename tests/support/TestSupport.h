// Helpers shared by the test programs.
#pragma once
#include <string>
#include <vector>

#include "foundation/Platform.h"

// The text a log file gained since this object was made.
class LogTail {
 public:
  explicit LogTail(const char* fileName = "_error.txt");
  std::string Text() const;

 private:
  std::string fileName_;
  size_t start_;
};

// Text mode: the logs are written in text mode, so on Windows their line
// ends are CR LF on disk and read back as "\n".
std::string ReadFileText(const std::string& path);
// The text's lines, without their line feeds.
std::vector<std::string> Lines(const std::string& text);
std::string ReadFileBytes(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Every message box the code under test shows, answered without a person.
struct RecordedBox {
  std::string text;
  std::string caption;
  unsigned style;
};
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  // The answers to give the next yes/no boxes, in order; then "no".
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  int Record(const char* text, const char* caption, unsigned style);

 private:
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
  std::vector<RecordedBox> boxes_;
  std::vector<int> answers_;
  MessageBoxRecorder* outer_;
  MessageBoxHandler previous_;
};

// The handler test programs keep for their whole life (boxes raised by the
// globals' teardown included): prints the box to stderr, answers OK or no.
int AnswerBoxesSilently(WindowHandle owner, const char* text, const char* caption, unsigned style);

// The text without its call-stack lines (three leading blanks, or "  ("), so
// texts compare exactly whatever frames a build and machine produce.
std::string MaskCallStacks(const std::string& text);

// What the memory manager records of a live object made with new2: the type
// name given to new2 and the source file that made it (as __FILE__ names it,
// from the top of the tree).
struct TrackedRecord {
  std::string typeName;
  std::string file;
};
// Empty fields: the manager tracks no such object.
TrackedRecord TrackedRecordOf(const void* object);

// Source-tree and build-tree folders, given to each test by ctest.
std::string SourceDir();
std::string BinaryDir();
