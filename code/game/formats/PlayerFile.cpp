// The player-file reader. Settings lines are matched by where their key
// occurs but valued from the line's start plus the key's length, as the
// service's files are written with the key first.
#include "game/formats/PlayerFile.h"

#include <sstream>

#include "foundation/LogFile.h"
#include "game/formats/Base95.h"
#include "game/formats/LocalFiles.h"

namespace {

enum Key { kDesc, kColors, kName, kPassword, kSpec, kKeyCount };
// The order in which keys are tried: the first one a line contains wins.
const char* const kKeys[kKeyCount] = {"Desc=", "Colors=", "Name=", "Password=", "Spec="};

// The colour line sends each Spec value as one base-95 character (in signed
// arithmetic). Letters, digits and most other characters give printable
// ones; the blank to '/', bytes 16 to 31 and 0xB1 to 0xD0 would put a
// control character into the line (a line feed there would end it and start
// another command).
bool SendsControlByte(int value) {
  const unsigned char sent = static_cast<unsigned char>(EncodeBase95(value, false)[0]);
  return sent < 32 || sent == 127;
}

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
          // The characters as signed bytes, whatever they are: the service's
          // files are not limited to digits.
          info.Spec1 = static_cast<signed char>(line[5]) - '0';
          info.Spec2 = static_cast<signed char>(line[6]) - '0';
          found[kSpec] = true;
          break;
      }
      if (key != kSpec) found[key] = true;
      break;
    }
  }

  for (bool f : found) {
    if (!f) {
      ErrorLog << "Error: Could not load all vital data fields from player .ini: " << path << "\n";
      return false;
    }
  }
  if (SendsControlByte(info.Spec1) || SendsControlByte(info.Spec2)) {
    ErrorLog << "Error: player ini file \"" << path
             << "\" has a Spec= character that would put a control character into the colour line.\n";
    return false;
  }
  return true;
}
