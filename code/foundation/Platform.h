// The few platform services that portable code needs, as flat functions with
// no Windows types, so format readers and the like also build natively.
#pragma once
#include <cstddef>

struct HWND__;
typedef HWND__* WindowHandle;

// The main window, owner of the program's message boxes; null before the
// window exists and again from the start of shut-down.
extern WindowHandle g_mainWindow;

// Text for an attached debugger (OutputDebugStringA on Windows).
void DebugOutput(const char* text);

// True when size bytes at p can be read without faulting.
bool IsReadableMemory(const void* p, size_t size);

// Message boxes. Every modal box of the program goes through
// ShowMessageBox, so tests can answer them instead of a person.
enum MessageBoxStyle : unsigned {
  kMessageBoxOk = 0x0,            // MB_OK
  kMessageBoxYesNo = 0x4,         // MB_YESNO
  kMessageBoxIconQuestion = 0x20, // MB_ICONQUESTION
};
enum MessageBoxAnswer : int {
  kAnswerOk = 1,   // IDOK
  kAnswerYes = 6,  // IDYES
  kAnswerNo = 7,   // IDNO
};
typedef int (*MessageBoxHandler)(WindowHandle owner, const char* text, const char* caption, unsigned style);

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);
// The platform's own box (MessageBoxA), the default handler.
int PlatformMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);
// Installs a handler (null restores the default) and returns the old one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
