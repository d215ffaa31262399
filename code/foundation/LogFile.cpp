// The five log files and the error idiom's call-stack tail.
#include "LogFile.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "CallStack.h"
#include "Platform.h"
#include "StartupOrder.h"
#include "Utility.h"

namespace {
// Worker threads log too. A constant-initialised mutex needs no constructor,
// so it also serves writes made before or after the globals' lifetime.
std::mutex s_writeLock;
}  // namespace

LogFile::LogFile(const std::string& fileName, int echo) : echo_(echo) {
  std::snprintf(fileName_, sizeof fileName_, "%s", fileName.c_str());
  if (FILE* f = std::fopen(fileName_, "w+")) std::fclose(f);
}

// Deliberately leaves the name in place: see the header.
LogFile::~LogFile() {}

void LogFile::Write(const char* text) {
  if (!text || !*text) return;
  if (echo_) DebugOutput(text);
  std::lock_guard<std::mutex> hold(s_writeLock);
  if (FILE* f = std::fopen(fileName_, "a+")) {
    std::fwrite(text, 1, std::strlen(text), f);
    std::fclose(f);
  }
}

void LogFile::WriteString(const std::string& text) { Write(text.c_str()); }

void LogFile::WriteInt(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  Write(buffer);
}

LogFile& LogFile::WriteLong(long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%ld", value);
  Write(buffer);
  return *this;
}

void LogFile::WriteDouble(double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.20g", value);
  Write(buffer);
}

void LogFile::WriteBytes(const char* bytes, int length) {
  std::string text;
  text.reserve(length > 0 ? length : 0);
  for (int i = 0; i < length; ++i)
    if (bytes[i] != 0) text += bytes[i];
  Write(text.c_str());
}

LogFile& LogFile::operator<<(const char* text) {
  Write(text);
  return *this;
}

LogFile& LogFile::operator<<(const std::string& text) {
  Write(text.c_str());
  return *this;
}

LogFile& LogFile::operator<<(int value) {
  WriteInt(value);
  return *this;
}

void WriteCallStack(LogFile& log, const char* heading) {
  std::string stack = CallStackText();
  DropFirstLine(stack);  // CallStackText's own frame
  DropFirstLine(stack);  // this function's frame
  log.Write(heading);
  log.WriteString(stack);
  log.Write("\n");
}

QV_STARTUP_MARK(kRowErrorLog, "ErrorLog");
LogFile ErrorLog QV_STARTUP(kRowErrorLog)("_error.txt", 1);
QV_STARTUP_MARK(kRowStatLog, "StatLog");
LogFile StatLog QV_STARTUP(kRowStatLog)("_stat.txt", 1);
QV_STARTUP_MARK(kRowNetworkLog, "NetworkLog");
LogFile NetworkLog QV_STARTUP(kRowNetworkLog)("_netlog.txt", 1);
QV_STARTUP_MARK(kRowShaderLog, "ShaderLog");
LogFile ShaderLog QV_STARTUP(kRowShaderLog)("_shaders.txt", 1);
QV_STARTUP_MARK(kRowMeshStatsLog, "MeshStatsLog");
LogFile MeshStatsLog QV_STARTUP(kRowMeshStatsLog)("_meshStats.txt", 1);
