// Append-only text logs in the working folder. Every write opens, appends and
// closes, so a text is on disk as soon as its write returns (also when the
// program dies right after), and the object holds nothing but its name: it
// stays usable after its own teardown, when the leak report still writes.
#pragma once
#include <string>

class LogFile {
 public:
  // Creates or empties the file.
  LogFile(const std::string& fileName, int echo);
  virtual ~LogFile();

  // Nothing for a null or empty text.
  void Write(const char* text);
  void WriteString(const std::string& text);
  void WriteInt(int value);
  LogFile& WriteLong(long value);
  void WriteDouble(double value);
  // The bytes with every NUL left out (received network data).
  void WriteBytes(const char* bytes, int length);

  // The plain C-string write, for chaining pieces: log << "a" << "b".
  LogFile& operator<<(const char* text);
  LogFile& operator<<(const std::string& text);
  LogFile& operator<<(int value);

  const char* FileName() const { return fileName_; }

 private:
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  char fileName_[260];
  int echo_;
};

extern LogFile ErrorLog;      // "_error.txt"
extern LogFile StatLog;       // "_stat.txt"
extern LogFile NetworkLog;    // "_netlog.txt"
extern LogFile ShaderLog;     // "_shaders.txt"
extern LogFile MeshStatsLog;  // "_meshStats.txt"

// The error idiom's tail: heading ("  -call stack:\n", "  -attempt made
// from:\n", "  -call made from:\n"), the call stack of the function that
// called this one, and "\n".
void WriteCallStack(LogFile& log, const char* heading);
