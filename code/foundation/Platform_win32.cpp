// Windows side of the flat platform services.
#include "Platform.h"

#include <windows.h>

void DebugOutput(const char* text) { OutputDebugStringA(text); }

bool IsReadableMemory(const void* p, size_t size) { return !IsBadReadPtr(p, size); }

int PlatformMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  return MessageBoxA(owner, text, caption, style);
}
