// The player-file reader. Settings lines are matched by where their key
// occurs but valued from the line's start plus the key's length, as the
// service's files are written with the key first.
#include "PlayerFile.h"

#include <sstream>

#include "LocalFiles.h"
#include "foundation/LogFile.h"

namespace {

enum Key { kDesc, kColors, kName, kPassword, kSpec, kKeyCount };
// The order in which keys are tried: the first one a line contains wins.
const char* const kKeys[kKeyCount] = {"Desc=", "Colors=", "Name=", "Password=", "Spec="};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool LoadPlayerIni(const std::string& path, PlayerInfo& info) {
  std::string text;
  if (!ReadTextModeFile(path, &text)) {
    ErrorLog << "Failed to open player ini file: " << path << "\n";
    return false;
  }
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  if (line.size() < 4 || line.compare(0, 4, "V1.6") != 0)
    ErrorLog << "Warning: player ini file \"" << path << "\" not a recognized version.\n";

  bool found[kKeyCount] = {};
  bool badSpec = false;
  while (std::getline(in, line) && !line.empty()) {
    for (int key = 0; key < kKeyCount; ++key) {
      if (line.find(kKeys[key]) == std::string::npos) continue;
      std::string value = line.substr(std::char_traits<char>::length(kKeys[key]));
      switch (key) {
        case kDesc: info.Desc = value; break;
        case kColors: info.Colors = value; break;
        case kName: info.Name = value; break;
        case kPassword: info.Password = value; break;
        case kSpec:
          if (line.size() < 7) break;
          // The digits go on the wire as characters '0' + digit; anything
          // else would put control characters into the colour line.
          if (!IsDigit(line[5]) || !IsDigit(line[6])) {
            badSpec = true;
            break;
          }
          info.Spec1 = line[5] - '0';
          info.Spec2 = line[6] - '0';
          found[kSpec] = true;
          break;
      }
      if (key != kSpec) found[key] = true;
      break;
    }
  }

  if (badSpec) {
    ErrorLog << "Error: player ini file \"" << path << "\" has a Spec= value that is not two digits.\n";
    return false;
  }
  for (bool f : found) {
    if (!f) {
      ErrorLog << "Error: Could not load all vital data fields from player .ini: " << path << "\n";
      return false;
    }
  }
  return true;
}
