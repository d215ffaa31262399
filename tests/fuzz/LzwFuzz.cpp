// Fuzz target: the LZW decoder on arbitrary streams.
#include "FuzzSupport.h"
#include "game/formats/LzwDecode.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  std::vector<unsigned char> out(3, 'x');
  const size_t work = LzwDecode(data, size, out);
  // Appends only, and never past the limit; the work reported covers what
  // was kept.
  if (out.size() < 3 || out.size() - 3 > kLzwOutputLimit || out[0] != 'x') __builtin_trap();
  if (work < out.size() - 3 || work > kLzwOutputLimit) __builtin_trap();
  return 0;
}
