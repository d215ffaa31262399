// Path, text and file functions that need no platform, the resolution table,
// and the start-up global that seeds the random generator.
#include "Utility.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "CProfiler.h"
#include "LogFile.h"
#include "StartupOrder.h"

// ---- Resolutions -----------------------------------------------------------

int g_resolutionIndex;
int g_appliedResolutionIndex;
unsigned g_failedResolutionModes;

void CalcResolution(int, int* width, int* height) {
  static const int kSizes[][2] = {{800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}, {1280, 768}};
  int index = g_resolutionIndex;
  if (index >= 0 && index < static_cast<int>(sizeof kSizes / sizeof kSizes[0])) {
    *width = kSizes[index][0];
    *height = kSizes[index][1];
    return;
  }
  ErrorLog << "bad value passed to CalcResolution.\n";
  *width = 1024;
  *height = 768;
}

void ResetResolution() {
  g_resolutionIndex = 0;
  g_appliedResolutionIndex = 0;
}

// ---- Folders ---------------------------------------------------------------

namespace {

DocumentsFolderSource s_documentsFolder = PlatformDocumentsFolder;

// Windows refuses longer paths anyway; saying so beats a silent failure.
bool RefuseLongPath(const std::string& path) {
  if (path.size() <= kMaxPathLength) return false;
  ErrorLog << "Path too long (over 259 characters): " << path << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return true;
}

}  // namespace

DocumentsFolderSource SetDocumentsFolderSource(DocumentsFolderSource source) {
  DocumentsFolderSource old = s_documentsFolder;
  s_documentsFolder = source ? source : PlatformDocumentsFolder;
  return old;
}

std::string UserDataFolder(const std::string& name) {
  std::string path;
  std::string documents;
  if (s_documentsFolder(&documents)) {
    // As PathAppend joins them: one backslash between folder and name.
    path = documents;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += name;
    if (RefuseLongPath(path)) path.clear();
  } else {
    ErrorLog << "Unable to retrieve user's home diretory.  Resorting to game dir.\n";
  }
  if (path.empty()) path = "userdata\\";
  MakeDirectory(path);
  return path;
}

std::string SettingsFilePath() { return UserDataFolder("Quorvex") + "\\settings.stuff"; }

bool CreateDirectoryPath(const std::string& path) {
  if (RefuseLongPath(path)) return false;
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
    MakeDirectory(path.substr(0, at));
  return true;
}

// ---- Files -----------------------------------------------------------------

std::string ReadWholeFile(const std::string& path, bool raw) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), raw ? "rb" : "rt");
  if (!file) return text;
  enum { kChunk = 2048 };
  char chunk[kChunk + 1];
  size_t got;
  while ((got = std::fread(chunk, 1, kChunk, file)) > 0) {
    chunk[got] = '\0';
    // Appended as a C string: a chunk's text ends at its first zero byte.
    text += chunk;
  }
  std::fclose(file);
  return text;
}

void ReadFileLines(std::vector<std::string>& out, const std::string& path) {
  Tokenize(ReadWholeFile(path, false), out, "\n");
}

bool LoadStringList(std::vector<std::string>& out, const std::string& path) {
  std::ifstream in(path.c_str());
  if (!in) {
    ErrorLog << "Failed to open string list: " << path << "\n";
    return false;
  }
  std::string line;
  while (std::getline(in, line) && !line.empty()) out.push_back(line);
  return true;
}

// ---- Text ------------------------------------------------------------------

void Tokenize(const std::string& text, std::vector<std::string>& out, const std::string& delimiters) {
  out.clear();
  std::string token;
  for (char c : text) {
    if (delimiters.find(c) == std::string::npos) {
      token += c;
    } else if (!token.empty()) {
      out.push_back(token);
      token.clear();
    }
  }
  if (!token.empty()) out.push_back(token);
}

void DropFirstLine(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<signed char>(text[i]) < 32) {
      text.erase(0, i + 1);
      return;
    }
  }
}

std::string GetDirectory(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetFileName(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GetFileExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string StripExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string ToLowerCase(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

int HexToInt(const char* text) {
  // The prefix is skipped only as far as the text goes.
  if (!text) return 0;
  for (int skipped = 0; skipped < 2 && *text; ++skipped) ++text;
  // Unsigned, so long texts wrap as the 32-bit register would.
  unsigned value = 0;
  for (; *text; ++text) {
    char c = *text;
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    }
    value = (value << 4) + digit;
  }
  return static_cast<int>(value);
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsPrintable(char c) {
  unsigned char code = static_cast<unsigned char>(c);
  return code >= 32 && code <= 126;
}

int CountBits(unsigned value) {
  int count = 0;
  for (; value; value &= value - 1) ++count;
  return count;
}

int HighestSetBit(unsigned value) {
  for (int bit = 31; bit >= 0; --bit)
    if (value & (1u << bit)) return bit;
  return -1;
}

// ---- Windows version -------------------------------------------------------

int OsVersionCode(unsigned major, unsigned minor, unsigned platformId) {
  const unsigned kPlatformWin32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS: 95, 98, ME
  if (major <= 3) return 1;
  if (major == 4) {
    if (minor == 0) return platformId == kPlatformWin32Windows ? 3 : 2;
    if (minor >= 10 && minor <= 89) return 4;
    if (minor == 90) return 5;
    return 0;
  }
  if (major == 5) {
    if (minor == 0) return 6;
    if (minor == 1) return 7;
    if (minor == 2) return 8;
  }
  return 9;
}

// ---- Start-up state --------------------------------------------------------

namespace {
// Defined here, in a file every program links, so the start-up table's row
// is built in every program.
struct RandomSeedAndFileDialogs {
  RandomSeedAndFileDialogs() { SeedRandomAndPrepareFileDialogs(); }
};
}  // namespace

QV_STARTUP_MARK(kRowRandomSeed, "RandomSeedAndFileDialogs");
static RandomSeedAndFileDialogs s_randomSeedAndFileDialogs QV_STARTUP(kRowRandomSeed);

// The profiler (row 26) belongs to every program, also to one that profiles
// nothing yet: this reference links it in wherever the utilities are.
CProfiler* volatile g_linkedProfiler = &g_profiler;
