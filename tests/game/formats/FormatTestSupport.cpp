// Helpers of the format tests.
#include "FormatTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestSupport.h"

namespace fs = std::filesystem;

std::string FixturePath(const std::string& relative) { return BinaryDir() + "/fixtures/" + relative; }

std::string FixtureBytes(const std::string& relative) { return ReadFileBytes(FixturePath(relative)); }

std::vector<std::string> FixtureLines(const std::string& relative) {
  std::istringstream in(ReadFileText(FixturePath(relative)));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void ResetFolder(const std::string& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// By hand: MinGW's filesystem::copy_file refuses to overwrite.
void CopyFileTo(const std::string& from, const std::string& to) {
  fs::path target(to);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
}

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Backslashed(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::string Complement(const std::string& bytes) {
  std::string out = bytes;
  for (char& c : out) c = static_cast<char>(~c);
  return out;
}

static void PutU32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string DreamEntry(const std::string& name, uint32_t method, const std::string& stored, int64_t storedSize,
                       const std::string* nameField) {
  std::string field = nameField ? *nameField : name;
  field.resize(48, '\0');
  std::string out = "FZ" + field;
  PutU32(out, storedSize < 0 ? static_cast<uint32_t>(stored.size()) : static_cast<uint32_t>(storedSize));
  PutU32(out, 0);
  PutU32(out, method);
  return out + stored;
}

std::string DreamArchive(const std::vector<std::string>& entries) {
  std::string out = "FR01" + std::string(24, '\0');
  for (const std::string& e : entries) out += e;
  return out;
}

CodePacker& CodePacker::Put(unsigned code, int width) {
  bits_ = (bits_ << width) | code;
  count_ += width;
  while (count_ >= 8) {
    count_ -= 8;
    out_ += static_cast<char>(bits_ >> count_ & 0xFF);
  }
  bits_ &= (1u << count_) - 1;
  return *this;
}

std::string CodePacker::Bytes() const {
  std::string out = out_;
  if (count_) out += static_cast<char>(bits_ << (8 - count_) & 0xFF);
  return out;
}

int CountLines(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  std::string each;
  int count = 0;
  while (std::getline(in, each))
    if (each == line) ++count;
  return count;
}

uint32_t Fnv1a(const unsigned char* data, size_t size) {
  uint32_t h = 0x811C9DC5u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x01000193u;
  return h;
}

const std::vector<std::string>& DeviceNameForms() {
  static const std::vector<std::string> forms = {
      "CON",      "con",      "PRN",     "prn.txt",      "AUX",         "aux.map",  "NUL",
      "Nul .map", "CONIN$",   "conout$", "ConOut$ .log", "COM1",        "com9.map", "COM0",
      "LPT1",     "lpt0.pcx", "COM\xb9", "com\xb2.txt",  "LPT\xb3.fsh", "lpt1 ",    "COM2..x",
  };
  return forms;
}

const std::vector<std::string>& NearDeviceNames() {
  static const std::vector<std::string> names = {
      "CONIN", "CONOUT$1", "COM10",         "LPT\xb4", "COM\xbc", "COM\xb9\xb9", "console",
      "com",   "nul_",     "auxiliary.map", "xcom1",   "lpt",     "prn2.txt",
  };
  return names;
}
