// The portable part of the readers' file access.
#include "game/formats/LocalFiles.h"

#include <new>

bool ReadLocalFile(const std::string& path, std::vector<unsigned char>* data) {
  data->clear();
  FILE* f = OpenLocalFile(path, "rb");
  if (!f) return false;
  bool ok = true;
  try {
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data->insert(data->end(), chunk, chunk + got);
    ok = !std::ferror(f);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  std::fclose(f);
  if (!ok) std::vector<unsigned char>().swap(*data);
  return ok;
}

bool ReadTextModeFile(const std::string& path, std::string* text) {
  text->clear();
  std::vector<unsigned char> raw;
  if (!ReadLocalFile(path, &raw)) return false;
  size_t end = 0;
  while (end < raw.size() && raw[end] != 0x1A) ++end;
  text->reserve(end);
  for (size_t i = 0; i < end; ++i) {
    if (raw[i] == '\r' && i + 1 < end && raw[i + 1] == '\n') continue;
    *text += static_cast<char>(raw[i]);
  }
  return true;
}
