// Native stand-ins for the Windows side of the utilities. Backslashes are
// turned into slashes, so Windows-style paths name the same folders here.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <ctime>

#include "Utility.h"

namespace {
std::string HostPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}
}  // namespace

void MakeDirectory(const std::string& path) { mkdir(HostPath(path).c_str(), 0777); }

// No documents folder natively: the relative folder is used.
bool PlatformDocumentsFolder(std::string*) { return false; }

long GetFileLength(const std::string& path) {
  struct stat info;
  if (stat(HostPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<long>(info.st_size);
}

// No Windows version natively.
int GetOsVersion() { return 0; }

void SeedRandomAndPrepareFileDialogs() { std::srand(static_cast<unsigned>(std::time(nullptr))); }

const tagOFNA* OpenFileDialogRecord() { return nullptr; }
const tagOFNA* SaveFileDialogRecord() { return nullptr; }
