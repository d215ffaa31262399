// Windows' rules for file names, applied to names from the network.
#include "game/formats/FileNames.h"

#include <cstring>

bool IsDeviceName(const std::string& component) {
  std::string stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) return false;
  // The port's digit; the ANSI code page's superscripts one, two and three
  // (0xB9, 0xB2, 0xB3) name ports too.
  const unsigned char digit = static_cast<unsigned char>(stem[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool IsPlainFileName(const std::string& component) {
  if (component.empty() || component.back() == '.' || component.back() == ' ') return false;
  for (char c : component) {
    const unsigned char u = static_cast<unsigned char>(c);
    // '\' and '/' separate folders, ':' names drives and streams, the rest
    // cannot stand in a Windows file name at all.
    if (u < 32 || u == 127 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  return !IsDeviceName(component);
}
