// Native side of the readers' file access, for the sanitizer and fuzzing
// builds: the program's backslash paths become slash paths.
#include "game/formats/LocalFiles.h"

#include <sys/stat.h>

std::string LocalPath(const std::string& path) {
  std::string local = path;
  for (char& c : local)
    if (c == '\\') c = '/';
  return local;
}

FILE* OpenLocalFile(const std::string& path, const char* mode) { return std::fopen(LocalPath(path).c_str(), mode); }

int64_t LocalFileSize(const std::string& path) {
  struct stat info;
  if (stat(LocalPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size;
}
