// The typed-character queue: characters and editing keys from the window
// procedure, for text entry, oldest first.
#include <deque>

#include "Input.h"
#include "StartupOrder.h"

namespace {
// Window message numbers, spelled out so this file needs no platform header.
constexpr unsigned kMessageKeyDown = 0x0100;  // WM_KEYDOWN
constexpr unsigned kMessageChar = 0x0102;     // WM_CHAR
constexpr intptr_t kExtendedKeyBit = 1 << 24;
}  // namespace

QV_STARTUP_MARK(kRowTypedCharQueue, "TypedCharQueue");
static std::deque<char> TypedCharQueue QV_STARTUP(kRowTypedCharQueue);

namespace {

void Push(unsigned char code) { TypedCharQueue.push_back(static_cast<char>(code)); }

// Characters that must not reach the queue: those whose byte is one of the
// editing-key codes (0xF4-0xFF, e.g. 'ö' would read as the Down key), and
// control characters (Tab, Escape, Ctrl+letter, DEL), which would otherwise
// end up in lines sent to the server.
bool IsDroppedChar(unsigned char c) { return c < 32 || c == 127 || c >= kTypedRight; }

unsigned char CodeForVirtualKey(uintptr_t key) {
  switch (key) {
    case 45: return kTypedInsert;    // VK_INSERT
    case 46: return kTypedDelete;    // VK_DELETE
    case 36: return kTypedHome;      // VK_HOME
    case 35: return kTypedEnd;       // VK_END
    case 33: return kTypedPageUp;    // VK_PRIOR
    case 34: return kTypedPageDown;  // VK_NEXT
    case 38: return kTypedUp;        // VK_UP
    case 40: return kTypedDown;      // VK_DOWN
    case 37: return kTypedLeft;      // VK_LEFT
    case 39: return kTypedRight;     // VK_RIGHT
    default: return 0;
  }
}

}  // namespace

bool HandleCharMessage(WindowHandle, unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == kMessageChar) {
    if (wParam == 8) {
      Push(kTypedBackspace);
      Push(8);
    } else if (wParam == 13) {
      Push(kTypedEnter);
    } else {
      unsigned char c = static_cast<unsigned char>(wParam & 0xFF);
      if (!IsDroppedChar(c)) Push(c);
    }
    return true;
  }
  // Only the main cursor block: the keypad's keys lack the extended bit.
  if (message == kMessageKeyDown && (lParam & kExtendedKeyBit)) {
    unsigned char code = CodeForVirtualKey(wParam);
    if (code == 0) return false;
    Push(code);
    return true;
  }
  return false;
}

bool HasTypedChars() { return !TypedCharQueue.empty(); }

char PopTypedChar() {
  if (TypedCharQueue.empty()) return 0;
  char c = TypedCharQueue.front();
  TypedCharQueue.pop_front();
  return c;
}

void ClearTypedChars() { TypedCharQueue.clear(); }
