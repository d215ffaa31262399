// Helpers of the format tests: the generated fixtures, scratch folders in
// the test's working folder, and dream archives built byte by byte.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A generated file: BinaryDir()/fixtures/<relative> (slashes).
std::string FixturePath(const std::string& relative);
std::string FixtureBytes(const std::string& relative);
// The lines of a generated expectation file.
std::vector<std::string> FixtureLines(const std::string& relative);

// Folder paths here use slashes, which both systems take; the code under
// test gets backslash paths, as the program writes them.
void ResetFolder(const std::string& folder);
void RemoveFolder(const std::string& folder);
void CopyFileTo(const std::string& from, const std::string& to);
// Every regular file below folder, as relative slash paths, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
std::string Backslashed(const std::string& path);

std::string Complement(const std::string& bytes);

// One dream archive entry; nameField overrides the 48-byte name field.
std::string DreamEntry(const std::string& name, uint32_t method, const std::string& stored,
                       int64_t storedSize = -1, const std::string* nameField = nullptr);
std::string DreamArchive(const std::vector<std::string>& entries);

// Codes of explicit widths, most significant bit first.
class CodePacker {
 public:
  CodePacker& Put(unsigned code, int width);
  std::string Bytes() const;

 private:
  std::string out_;
  uint32_t bits_ = 0;
  int count_ = 0;
};

// Counts the lines of text equal to line (without its "\n").
int CountLines(const std::string& text, const std::string& line);

uint32_t Fnv1a(const unsigned char* data, size_t size);

// Names that Windows opens as devices, in the forms it accepts (any case, an
// extension, trailing blanks, the ANSI code page's superscript port digits),
// and names that only look like them. Every check of names from the network
// refuses the first and lets the second through.
const std::vector<std::string>& DeviceNameForms();
const std::vector<std::string>& NearDeviceNames();
