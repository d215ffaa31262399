// Window message numbers and parameter packing (as winuser.h has them), so
// tests can feed the input handlers messages without including windows.h.
#pragma once
#include <cstdint>

namespace Msg {

constexpr unsigned kKeyDown = 0x0100;
constexpr unsigned kKeyUp = 0x0101;
constexpr unsigned kChar = 0x0102;
constexpr unsigned kMouseMove = 0x0200;
constexpr unsigned kLeftDown = 0x0201;
constexpr unsigned kLeftUp = 0x0202;
constexpr unsigned kRightDown = 0x0204;
constexpr unsigned kRightUp = 0x0205;
constexpr unsigned kMouseWheel = 0x020A;
// lParam bit of keys from the extended block (arrows, Insert, Home...).
constexpr intptr_t kExtended = 1 << 24;

// A mouse message's lParam: x in the low word, y in the high one.
inline intptr_t PointParam(int x, int y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                               static_cast<uint16_t>(x));
}
// A wheel message's wParam: the delta in the high word.
inline uintptr_t WheelDelta(int delta) { return static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16; }

}  // namespace Msg
