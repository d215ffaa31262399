// Typed characters, mouse state and key states as functions over window
// messages and key snapshots, without a window or a device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Input.h"
#include "foundation/StartupOrder.h"
#include "WindowMessages.h"

namespace {

using namespace Msg;

std::string DrainTypedChars() {
  std::string out;
  while (HasTypedChars()) out += PopTypedChar();
  return out;
}

class TypedChars : public testing::Test {
 protected:
  void SetUp() override { ClearTypedChars(); }
  void TearDown() override { ClearTypedChars(); }
};

TEST_F(TypedChars, CharactersAndEditingKeysBecomeTheirCodes) {
  struct Case {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    bool handled;
    std::string queued;
  };
  const std::vector<Case> cases = {
      {kChar, 'a', 0, true, "a"},
      {kChar, ' ', 0, true, " "},
      {kChar, '~', 0, true, "~"},
      {kChar, 0xE9, 0, true, "\xE9"},          // a letter of the code page
      {kChar, 0x141, 0, true, "A"},            // only the low byte counts
      {kChar, 8, 0, true, "\xFF\x08"},         // marker, then the backspace itself
      {kChar, 13, 0, true, "\xFE"},            // Enter, without the 13
      {kKeyDown, 45, kExtended, true, "\xFD"},  // Insert
      {kKeyDown, 46, kExtended, true, "\xFC"},  // Delete
      {kKeyDown, 36, kExtended, true, "\xFB"},  // Home
      {kKeyDown, 35, kExtended, true, "\xFA"},  // End
      {kKeyDown, 33, kExtended, true, "\xF9"},  // Page Up
      {kKeyDown, 34, kExtended, true, "\xF8"},  // Page Down
      {kKeyDown, 38, kExtended, true, "\xF7"},  // Up
      {kKeyDown, 40, kExtended, true, "\xF6"},  // Down
      {kKeyDown, 37, kExtended, true, "\xF5"},  // Left
      {kKeyDown, 39, kExtended, true, "\xF4"},  // Right
      {kKeyDown, 34, 0, false, ""},             // the keypad's Page Down
      {kKeyDown, 38, 0x480001, false, ""},      // the keypad's Up, with its scan code
      {kKeyDown, 'A', kExtended, false, ""},
      {kKeyDown, 13, kExtended, false, ""},     // the keypad's Enter comes as WM_CHAR 13
      {kKeyUp, 34, kExtended, false, ""},
      {kMouseMove, 'a', 0, false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HandleCharMessage(nullptr, c.message, c.wParam, c.lParam), c.handled)
        << std::hex << c.message << " " << c.wParam;
    EXPECT_EQ(DrainTypedChars(), c.queued) << std::hex << c.message << " " << c.wParam;
  }
}

TEST_F(TypedChars, CharactersThatWouldPassForCodesOrControlsAreDropped) {
  // 0xF4-0xFF would read as editing keys ('\xF6' as Down, '\xFF' as a
  // backspace marker); control characters would reach lines sent to the
  // server. The message still counts as handled.
  std::vector<uintptr_t> dropped = {0, 1, 7, 9, 10, 12, 27, 31, 127};
  for (uintptr_t c = 0xF4; c <= 0xFF; ++c) dropped.push_back(c);
  dropped.push_back(0x1F6);  // low byte 0xF6
  for (uintptr_t c : dropped) {
    EXPECT_TRUE(HandleCharMessage(nullptr, kChar, c, 0)) << c;
    EXPECT_EQ(DrainTypedChars(), "") << c;
  }
  for (uintptr_t c : {0x80, 0xA0, 0xF3}) {
    HandleCharMessage(nullptr, kChar, c, 0);
    EXPECT_EQ(DrainTypedChars(), std::string(1, static_cast<char>(c))) << c;
  }
}

TEST_F(TypedChars, QueueKeepsOrderUntilTakenOrCleared) {
  EXPECT_FALSE(HasTypedChars());
  EXPECT_EQ(PopTypedChar(), 0);
  for (char c : std::string("hi")) HandleCharMessage(nullptr, kChar, static_cast<unsigned char>(c), 0);
  HandleCharMessage(nullptr, kChar, 8, 0);
  HandleCharMessage(nullptr, kKeyDown, 39, kExtended);
  HandleCharMessage(nullptr, kChar, 13, 0);
  EXPECT_TRUE(HasTypedChars());
  EXPECT_EQ(PopTypedChar(), 'h');
  EXPECT_EQ(DrainTypedChars(), "i\xFF\x08\xF4\xFE");
  EXPECT_EQ(PopTypedChar(), 0);

  HandleCharMessage(nullptr, kChar, 'x', 0);
  ClearTypedChars();
  EXPECT_FALSE(HasTypedChars());
}

class Mouse : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    HandleMouseMessage(kLeftUp, 0, 0);
    HandleMouseMessage(kRightUp, 0, 0);
    HandleMouseMessage(kMouseMove, 0, 0);
    ResetMouseClicks();
  }
};

TEST_F(Mouse, MovesKeepTheLastPositionSigned) {
  int x = 1, y = 1;
  EXPECT_TRUE(HandleMouseMessage(kMouseMove, 0, PointParam(320, 240)));
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 240);
  // Left of and above the client area (a captured mouse).
  EXPECT_TRUE(HandleMouseMessage(kMouseMove, 0, PointParam(-5, -300)));
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, -5);
  EXPECT_EQ(y, -300);
}

TEST_F(Mouse, ClickAndReleaseWithinOneFrameStaysAClick) {
  EXPECT_TRUE(HandleMouseMessage(kLeftDown, 0, PointParam(10, 10)));
  EXPECT_TRUE(IsLeftButtonDown());
  EXPECT_FALSE(HandleMouseMessage(kLeftUp, 0, PointParam(10, 10)));
  EXPECT_TRUE(WasLeftClicked());
  EXPECT_FALSE(IsLeftButtonDown());
  EXPECT_FALSE(WasRightClicked());

  EXPECT_TRUE(HandleMouseMessage(kRightDown, 0, 0));
  EXPECT_TRUE(WasRightClicked());
  EXPECT_TRUE(IsRightButtonDown());
  ResetMouseClicks();
  EXPECT_FALSE(WasLeftClicked());
  EXPECT_FALSE(WasRightClicked());
  EXPECT_TRUE(IsRightButtonDown());  // held buttons outlast the frame
  EXPECT_FALSE(HandleMouseMessage(kRightUp, 0, 0));
  EXPECT_FALSE(IsRightButtonDown());
}

TEST_F(Mouse, WheelKeepsTheLastMessagesWholeNotches) {
  struct Case {
    int delta;
    int steps;
  };
  // Positive towards the user; partial notches truncate towards zero.
  const std::vector<Case> cases = {{120, -1}, {-120, 1}, {-360, 3}, {240, -2}, {119, 0}, {-119, 0}, {-250, 2}};
  for (const Case& c : cases) {
    EXPECT_FALSE(HandleMouseMessage(kMouseWheel, WheelDelta(c.delta) | 0x0008, PointParam(1, 2)));
    EXPECT_EQ(GetMouseWheel(), c.steps) << c.delta;
  }
  // Two messages in one frame: the second replaces the first.
  HandleMouseMessage(kMouseWheel, WheelDelta(-120), 0);
  HandleMouseMessage(kMouseWheel, WheelDelta(-240), 0);
  EXPECT_EQ(GetMouseWheel(), 2);
  ResetMouseClicks();
  EXPECT_EQ(GetMouseWheel(), 0);
}

TEST_F(Mouse, OtherMessagesAreNotHandled) {
  EXPECT_FALSE(HandleMouseMessage(kChar, 'a', 0));
  EXPECT_FALSE(HandleMouseMessage(0x0203, 0, 0));  // WM_LBUTTONDBLCLK
  EXPECT_FALSE(WasLeftClicked());
}

class KeyStates : public testing::Test {
 protected:
  void SetUp() override { ResetKeyStates(); }
  void TearDown() override { ResetKeyStates(); }
  void Frame(std::initializer_list<int> down) {
    unsigned char keys[256] = {};
    for (int key : down) keys[key] = 0x80;
    AdvanceKeyState(keys);
  }
};

TEST_F(KeyStates, HeldKeyIsPressedInExactlyOneFrame) {
  Frame({});
  EXPECT_FALSE(IsKeyDown(200));
  Frame({200});
  EXPECT_TRUE(IsKeyDown(200));
  EXPECT_TRUE(IsKeyPressed(200));
  for (int i = 0; i < 3; ++i) {
    Frame({200, 28});
    EXPECT_TRUE(IsKeyDown(200));
    EXPECT_FALSE(IsKeyPressed(200));
  }
  Frame({28});
  EXPECT_FALSE(IsKeyDown(200));
  EXPECT_FALSE(IsKeyPressed(200));
  EXPECT_TRUE(IsKeyDown(28));
  // Only the low 8 bits of a key code count.
  EXPECT_TRUE(IsKeyDown(28 + 256));
  EXPECT_TRUE(IsKeyDown(28 - 256));
}

TEST_F(KeyStates, FailedReadKeepsKeysWithoutNewPresses) {
  Frame({30});
  EXPECT_TRUE(IsKeyPressed(30));
  AdvanceKeyState(nullptr);
  EXPECT_TRUE(IsKeyDown(30));
  EXPECT_FALSE(IsKeyPressed(30));
}

TEST_F(KeyStates, ResetForgetsBothSnapshots) {
  Frame({30});
  Frame({30});
  ResetKeyStates();
  EXPECT_FALSE(IsKeyDown(30));
  Frame({30});
  EXPECT_TRUE(IsKeyPressed(30));  // counts as new again
}

// Where in the record of the globals' construction a row was built; -1 when
// it was not.
int BuiltAt(int row, const char* name) {
  for (int i = 0; i < StartupEventCount(); ++i) {
    const StartupEvent& e = StartupEventAt(i);
    if (e.built && e.row == row) return std::string(e.name) == name ? i : -2;
  }
  return -1;
}

TEST(InputGlobals, AreBuiltInTheirRowsBetweenTheLogsAndTheNetworkLog) {
  int queue = BuiltAt(kRowTypedCharQueue, "TypedCharQueue");
  int keys = BuiltAt(kRowKeyState, "g_keyState");
  int previous = BuiltAt(kRowPreviousKeyState, "PreviousKeyState");
  ASSERT_GE(queue, 0);
  EXPECT_GT(queue, BuiltAt(kRowStatLog, "StatLog"));
  EXPECT_GT(keys, queue);
  EXPECT_GT(previous, keys);
  EXPECT_LT(previous, BuiltAt(kRowNetworkLog, "NetworkLog"));
}

}  // namespace
