// The replaceable message-box function and the main window handle.
#include "Platform.h"

WindowHandle g_mainWindow = nullptr;

static MessageBoxHandler s_messageBoxHandler = PlatformMessageBox;

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  return s_messageBoxHandler(owner, text, caption, style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler old = s_messageBoxHandler;
  s_messageBoxHandler = handler ? handler : PlatformMessageBox;
  return old;
}
