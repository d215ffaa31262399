// Packing colours into 0xAARRGGBB.
#include <gtest/gtest.h>

#include <limits>

#include "graphics/PackedColor.h"

namespace {

TEST(PackedColor, IntegerChannelsKeepTheirLowEightBits) {
  struct Case {
    int r, g, b, a;
    unsigned packed;
  } cases[] = {
      {255, 0, 0, 255, 0xFFFF0000u}, {0, 255, 0, 255, 0xFF00FF00u}, {0, 0, 255, 0, 0x000000FFu},
      {0x12, 0x34, 0x56, 0x78, 0x78123456u},
      {256, 0, 0, 255, 0xFF000000u},   // 256 wraps to 0
      {-1, 0, 0, 0, 0x00FF0000u},      // -1 keeps its low byte
      {0, 0x1FF, 0, 0x100, 0x0000FF00u},
  };
  for (const Case& c : cases) EXPECT_EQ(G::PackColorARGB8(c.r, c.g, c.b, c.a), c.packed) << c.r << " " << c.a;
}

TEST(PackedColor, FloatChannelsAreScaledTruncatedAndWrapped) {
  EXPECT_EQ(G::PackColorARGB(1, 1, 1, 0.5f), 0x7FFFFFFFu);
  EXPECT_EQ(G::PackColorARGB(1, 0, 0, 1), 0xFFFF0000u);
  EXPECT_EQ(G::PackColorARGB(0.999f, 0.5f, 0.0039f, 0), 0x00FE7F00u);
  // Not clamped: 2 x 255 = 510 keeps 0xFE; -1 x 255 = -255 keeps 0x01.
  EXPECT_EQ(G::PackColorARGB(2.0f, -1.0f, 0, 1), 0xFFFE0100u);
  // Values no int can hold come out as 0 rather than undefined.
  EXPECT_EQ(G::PackColorARGB(std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f, 1), 0xFF000000u);
}

}  // namespace
