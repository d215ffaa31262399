// The portable part of the readers' file access.
#include "LocalFiles.h"

bool ReadTextModeFile(const std::string& path, std::string* text) {
  text->clear();
  FILE* f = OpenLocalFile(path, "rb");
  if (!f) return false;
  std::string raw;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) raw.append(chunk, got);
  std::fclose(f);
  size_t end = raw.find('\x1a');
  if (end == std::string::npos) end = raw.size();
  text->reserve(end);
  for (size_t i = 0; i < end; ++i) {
    if (raw[i] == '\r' && i + 1 < end && raw[i + 1] == '\n') continue;
    *text += raw[i];
  }
  return true;
}
