// Base-95 numbers.
#include "game/formats/Base95.h"

#include <cstdint>

int DecodeBase95(const std::string& text) {
  // Unsigned, so a long text wraps instead of overflowing; the wire's
  // numbers are two characters and never come near.
  uint32_t value = 0;
  for (char c : text) value = value * 95u + static_cast<uint32_t>(static_cast<signed char>(c) - 32);
  return static_cast<int>(value);
}

// A NUL character is an empty text, and so 0.
int DecodeBase95Char(char c) { return c == 0 ? 0 : static_cast<signed char>(c) - 32; }

std::string EncodeBase95(int value, bool twoCharacters) {
  std::string out;
  if (twoCharacters) out += static_cast<char>(value / 95 + 32);
  out += static_cast<char>(value % 95 + 32);
  return out;
}
