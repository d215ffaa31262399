// Packing colours into 0xAARRGGBB.
#include "graphics/PackedColor.h"

#include <cmath>

namespace G {

namespace {
// Truncation toward zero of value x 255, kept in range so a wild float
// cannot make the conversion undefined; only the low 8 bits are used.
int ScaleChannel(float value) {
  double scaled = std::trunc(static_cast<double>(value) * 255.0);
  if (!(scaled > -2147483648.0 && scaled < 2147483648.0)) return 0;
  return static_cast<int>(scaled);
}
}  // namespace

unsigned PackColorARGB8(int r, int g, int b, int a) {
  return (static_cast<unsigned>(a & 0xFF) << 24) | (static_cast<unsigned>(r & 0xFF) << 16) |
         (static_cast<unsigned>(g & 0xFF) << 8) | static_cast<unsigned>(b & 0xFF);
}

unsigned PackColorARGB(float r, float g, float b, float a) {
  return PackColorARGB8(ScaleChannel(r), ScaleChannel(g), ScaleChannel(b), ScaleChannel(a));
}

}  // namespace G
