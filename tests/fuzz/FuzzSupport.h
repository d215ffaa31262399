// Shared by the readers' fuzz targets: inputs become files in the target's
// working folder, the logs are kept short, message boxes are answered.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/Platform.h"

namespace fuzz {

inline int AnswerBox(WindowHandle, const char*, const char*, unsigned) { return kAnswerOk; }

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// Once per input: silent message boxes, and the error log emptied now and
// then (every reader logs, and each log write reopens the file).
inline void BeginInput() {
  static unsigned count = 0;
  if (count++ == 0) SetMessageBoxHandler(AnswerBox);
  if (count % 512 == 0) {
    if (FILE* f = std::fopen("_error.txt", "w")) std::fclose(f);
  }
}

}  // namespace fuzz
