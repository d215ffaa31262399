// Path, text and file functions that need no platform.
#include "Utility.h"

void DropFirstLine(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<signed char>(text[i]) < 32) {
      text.erase(0, i + 1);
      return;
    }
  }
}
