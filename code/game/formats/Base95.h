// The service's base-95 numbers: most significant digit first, each digit
// one character whose code minus 32 is the digit (a blank is 0, '~' is 94).
// The game server speaks them, and player files hold values that the colour
// line sends as one such character.
#pragma once
#include <string>

int DecodeBase95(const std::string& text);
int DecodeBase95Char(char c);
// Two characters: value / 95 + 32, then value % 95 + 32; one: value % 95 + 32.
std::string EncodeBase95(int value, bool twoCharacters);
