// Windows side of the readers' file access: paths are used as written.
#include "game/formats/LocalFiles.h"

#include <sys/stat.h>

std::string LocalPath(const std::string& path) { return path; }

FILE* OpenLocalFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

int64_t LocalFileSize(const std::string& path) {
  struct _stati64 info;
  if (_stati64(path.c_str(), &info) != 0 || !(info.st_mode & _S_IFREG)) return -1;
  return info.st_size;
}
