// Native side of the flat platform services, for the sanitizer and fuzzing
// builds of the portable code: no debugger to echo to, boxes go to stderr.
#include "Platform.h"

#include <cstdio>

void DebugOutput(const char*) {}

bool IsReadableMemory(const void* p, size_t) { return p != nullptr; }

int PlatformMessageBox(WindowHandle, const char* text, const char* caption, unsigned style) {
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  return (style & 0xF) == kMessageBoxYesNo ? kAnswerNo : kAnswerOk;
}
