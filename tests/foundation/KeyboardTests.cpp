// The DirectInput keyboard, the typed-character queue and the mouse fed by a
// real window: keys and clicks are sent with SendInput as a player's would
// arrive, and read back frame by frame.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "foundation/Input.h"

namespace {

// DirectInput key codes (scan codes).
constexpr int kKeyA = 0x1E;
constexpr int kKeyB = 0x30;
constexpr int kKeyEnter = 0x1C;
constexpr int kKeyPageDown = 0x51;  // extended on the cursor block; plain on the keypad

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCharMessage(window, message, wParam, lParam)) return 0;
  if (HandleMouseMessage(message, wParam, lParam)) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* title, int x) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuorvexInputTest";
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);
    registered = true;
  }
  HWND window = CreateWindowExA(0, "QuorvexInputTest", title, WS_POPUP | WS_VISIBLE, x, 0, 200, 200, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// A key as the keyboard driver reports it: scan code (what DirectInput
// reads) and virtual key (what the window's key messages carry; Wine does
// not derive it from the scan code).
void SendKey(int scanCode, bool up, bool extended = false) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = static_cast<WORD>(scanCode);
  input.ki.wVk = static_cast<WORD>(MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK));
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  SendInput(1, &input, sizeof input);
}

// One drawn frame of the main loop as far as input goes: window messages,
// then the keyboard snapshot.
void Frame() {
  PumpMessages();
  PollKeyboard();
}

// Runs frames until the condition holds after one of them (or time is up).
bool FramesUntil(const std::function<bool()>& condition, int milliseconds = 3000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    Frame();
    if (condition()) return true;
    Sleep(5);
  }
  return false;
}

bool MessagesUntil(const std::function<bool()>& condition, int milliseconds = 3000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    PumpMessages();
    if (condition()) return true;
    Sleep(5);
  }
  return false;
}

std::string DrainTypedChars() {
  std::string out;
  while (HasTypedChars()) out += PopTypedChar();
  return out;
}

class Keyboard : public testing::Test {
 protected:
  // The windows stay until the process ends: hiding or destroying a window
  // that had the focus makes Wine wait 2 s for a window manager, which the
  // test display does not have.
  static void SetUpTestSuite() {
    ReleaseModifiers();
    if (!window_) {
      window_ = MakeWindow("Quorvex input test", 0);
      otherWindow_ = MakeWindow("Quorvex other window", 300);
    }
    Activate(window_);
  }
  // Wine keeps one key state for the whole display: a program that an
  // earlier test closed with Alt+F4 ends before the Alt release reaches
  // it, and Alt then stays down for the next program, whose keys become
  // system keys instead of typed characters. Let go of every modifier.
  static void ReleaseModifiers() {
    for (WORD key : {VK_LMENU, VK_RMENU, VK_LCONTROL, VK_RCONTROL, VK_LSHIFT, VK_RSHIFT}) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = key;
      input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
      input.ki.dwFlags = KEYEVENTF_KEYUP | (key == VK_RMENU || key == VK_RCONTROL ? KEYEVENTF_EXTENDEDKEY : 0);
      SendInput(1, &input, sizeof input);
    }
  }
  // The window must hold the focus before keys are sent: a window that was
  // just made may not be mapped yet, and a program that ran before may
  // still hold the display's focus, so ask until it has arrived.
  static void Activate(HWND window) {
    MessagesUntil([window] {
      SetForegroundWindow(window);
      SetActiveWindow(window);
      SetFocus(window);
      return GetForegroundWindow() == window && GetFocus() == window;
    });
  }
  void SetUp() override {
    Activate(window_);
    ASSERT_EQ(GetFocus(), window_);
    LogTail errors;
    ASSERT_TRUE(InitKeyboard(GetModuleHandleA(nullptr), window_, false));
    EXPECT_EQ(errors.Text(), "");
    ClearTypedChars();
    ResetMouseClicks();
  }
  void TearDown() override {
    ReleaseKeyboard();
    ClearTypedChars();
  }

  static HWND window_;
  static HWND otherWindow_;
};
HWND Keyboard::window_;
HWND Keyboard::otherWindow_;

TEST_F(Keyboard, HeldKeyIsPressedInOneFrameAndDownUntilReleased) {
  Frame();
  EXPECT_FALSE(IsKeyDown(kKeyA));
  SendKey(kKeyA, false);
  ASSERT_TRUE(FramesUntil([] { return IsKeyDown(kKeyA); }));
  EXPECT_TRUE(IsKeyPressed(kKeyA));
  for (int i = 0; i < 3; ++i) {
    Frame();
    EXPECT_TRUE(IsKeyDown(kKeyA));
    EXPECT_FALSE(IsKeyPressed(kKeyA));
  }
  SendKey(kKeyA, true);
  ASSERT_TRUE(FramesUntil([] { return !IsKeyDown(kKeyA); }));
  EXPECT_FALSE(IsKeyPressed(kKeyA));
  // The same key stroke reached the window as a typed character.
  EXPECT_EQ(DrainTypedChars(), "a");
}

TEST_F(Keyboard, TypedKeysArriveAsCharactersAndCodes) {
  SendKey(kKeyB, false);
  SendKey(kKeyB, true);
  SendKey(kKeyEnter, false);
  SendKey(kKeyEnter, true);
  SendKey(kKeyPageDown, false, true);
  SendKey(kKeyPageDown, true, true);
  std::string typed;
  MessagesUntil([&] {
    typed += DrainTypedChars();
    return typed.size() >= 3;
  });
  EXPECT_EQ(typed, "b\xFE\xF8");
}

TEST_F(Keyboard, KeypadPageDownTypesNothing) {
  // The keypad's 3 with Num Lock off: Page Down without the extended bit.
  SendKey(kKeyPageDown, false);
  SendKey(kKeyPageDown, true);
  SendKey(kKeyB, false);  // a marker: the keys before it have been handled
  SendKey(kKeyB, true);
  std::string typed;
  MessagesUntil([&] {
    typed += DrainTypedChars();
    return typed.find('b') != std::string::npos;
  });
  EXPECT_EQ(typed, "b");
}

TEST_F(Keyboard, LostKeyboardIsRetakenOnTheNextPoll) {
  SendKey(kKeyA, false);
  ASSERT_TRUE(FramesUntil([] { return IsKeyDown(kKeyA); }));

  // Another window takes the foreground, and with it the keyboard: A is
  // released and B pressed there. The device cannot be read meanwhile, so
  // the keys stay as they were, and nothing counts as newly pressed.
  Activate(otherWindow_);
  SendKey(kKeyA, true);
  SendKey(kKeyB, false);
  for (int i = 0; i < 3; ++i) {
    Frame();
    EXPECT_TRUE(IsKeyDown(kKeyA));
    EXPECT_FALSE(IsKeyPressed(kKeyA));
    EXPECT_FALSE(IsKeyDown(kKeyB));
  }

  // Back in the foreground the next poll takes the keyboard again: A no
  // longer reads as held, and keys are seen again.
  Activate(window_);
  SendKey(kKeyB, true);
  ASSERT_TRUE(FramesUntil([] { return !IsKeyDown(kKeyA); }));
  SendKey(kKeyA, false);
  ASSERT_TRUE(FramesUntil([] { return IsKeyDown(kKeyA); }));
  EXPECT_TRUE(IsKeyPressed(kKeyA));
  SendKey(kKeyA, true);
  EXPECT_TRUE(FramesUntil([] { return !IsKeyDown(kKeyA); }));
  DrainTypedChars();
}

TEST_F(Keyboard, ClicksOnTheWindowReachTheMouseState) {
  POINT corner = {0, 0};
  ClientToScreen(window_, &corner);
  SetCursorPos(corner.x + 40, corner.y + 25);
  INPUT input[2] = {};
  input[0].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].type = INPUT_MOUSE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof input[0]);
  ASSERT_TRUE(MessagesUntil([] { return WasLeftClicked() && !IsLeftButtonDown(); }));
  int x = 0, y = 0;
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 25);
  ResetMouseClicks();
  EXPECT_FALSE(WasLeftClicked());
}

TEST(KeyboardInit, FailuresAreLoggedAndLeaveNoDevice) {
  struct Case {
    HINSTANCE instance;
    HWND window;
    bool exclusive;
    const char* logged;
  };
  const Case cases[] = {
      {nullptr, nullptr, false, "Failed to initialize DirectInput (keyboard state manager)\n"},
      {GetModuleHandleA(nullptr), nullptr, false, "Keyboard refused to cooperate\n"},
      {GetModuleHandleA(nullptr), reinterpret_cast<HWND>(0x1234), true, "Keyboard refused to cooperate\n"},
  };
  unsigned char keys[256] = {};
  keys[kKeyA] = 0x80;
  for (const Case& c : cases) {
    LogTail errors;
    EXPECT_FALSE(InitKeyboard(c.instance, c.window, c.exclusive));
    EXPECT_EQ(errors.Text(), c.logged);
    // No half-built device is left: polling takes no snapshot at all, so a
    // press seen before stays a press.
    ResetKeyStates();
    AdvanceKeyState(keys);
    PollKeyboard();
    EXPECT_TRUE(IsKeyPressed(kKeyA));
    ReleaseKeyboard();
    ReleaseKeyboard();  // safe twice
  }
  ResetKeyStates();
}

}  // namespace
