// The packed colour used everywhere: 0xAARRGGBB (alpha in the top byte, then
// red, green, blue). No platform code: also built natively.
#pragma once

namespace G {

// Each channel reduced to its low 8 bits (no clamping: 256 becomes 0).
unsigned PackColorARGB8(int r, int g, int b, int a);
// Channels 0..1, each times 255 and truncated toward zero, then packed as
// PackColorARGB8 (values outside 0..1 wrap the same way).
unsigned PackColorARGB(float r, float g, float b, float a);

}  // namespace G
