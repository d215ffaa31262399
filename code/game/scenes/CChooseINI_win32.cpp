// The chooser's file search: the working folder's "*.ini" files.
#include <windows.h>

#include "game/scenes/CChooseINI.h"

void CChooseINI::FindIniFiles(std::vector<std::string>& names) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("*.ini", &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // The pattern also matches longer extensions through their short 8.3
    // names ("x.inix" is "X~1.INI"): only a three-letter extension counts.
    std::string name = found.cFileName;
    if (name.size() >= 4 && name[name.size() - 4] == '.') names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
