#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/CMemMan.h"
#include "foundation/Platform.h"

LogTail::LogTail(const char* fileName) : fileName_(fileName), start_(ReadFileText(fileName).size()) {}

std::string LogTail::Text() const {
  std::string all = ReadFileText(fileName_);
  return all.size() >= start_ ? all.substr(start_) : all;
}

static std::string ReadWith(const std::string& path, std::ios::openmode mode) {
  std::ifstream in(path, mode);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

static void WriteWith(const std::string& path, const std::string& text, std::ios::openmode mode) {
  std::ofstream out(path, mode | std::ios::trunc);
  out << text;
}

std::string ReadFileText(const std::string& path) { return ReadWith(path, std::ios::in); }
std::string ReadFileBytes(const std::string& path) { return ReadWith(path, std::ios::in | std::ios::binary); }
void WriteFileText(const std::string& path, const std::string& text) { WriteWith(path, text, std::ios::out); }
void WriteFileBytes(const std::string& path, const std::string& bytes) {
  WriteWith(path, bytes, std::ios::out | std::ios::binary);
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

namespace {
MessageBoxRecorder* s_active;

int RecordBox(WindowHandle, const char* text, const char* caption, unsigned style) {
  return s_active->Record(text, caption, style);
}
}  // namespace

int AnswerBoxesSilently(WindowHandle, const char* text, const char* caption, unsigned style) {
  std::fprintf(stderr, "[message box \"%s\"] %s\n", caption ? caption : "", text ? text : "");
  return (style & 0xF) == kMessageBoxYesNo ? kAnswerNo : kAnswerOk;
}

MessageBoxRecorder::MessageBoxRecorder() : outer_(s_active) {
  s_active = this;
  previous_ = SetMessageBoxHandler(RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler(previous_);
  s_active = outer_;
}

int MessageBoxRecorder::Record(const char* text, const char* caption, unsigned style) {
  boxes_.push_back(RecordedBox{text ? text : "", caption ? caption : "", style});
  if ((style & 0xF) != kMessageBoxYesNo) return kAnswerOk;
  if (answers_.empty()) return kAnswerNo;
  int answer = answers_.front();
  answers_.erase(answers_.begin());
  return answer;
}

TrackedRecord TrackedRecordOf(const void* object) {
  TrackedRecord record;
  AllocationRecord found;
  if (g_memMan.FindRecord(object, &found)) {
    record.typeName = found.typeName;
    record.file = found.file;
  }
  return record;
}

std::string MaskCallStacks(const std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    bool frame = text.compare(pos, 3, "   ") == 0 || text.compare(pos, 3, "  (") == 0;
    if (!frame) out.append(text, pos, end - pos);
    pos = end;
  }
  return out;
}

static std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string SourceDir() { return EnvOr("QV_SOURCE_DIR", "."); }
std::string BinaryDir() { return EnvOr("QV_BINARY_DIR", "."); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}
