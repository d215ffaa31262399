// Path, text and file functions that several subsystems share, the table of
// window resolutions, the user data folder and the Windows version code.
#pragma once
#include <string>
#include <vector>

// ---- Resolutions -----------------------------------------------------------
// Index into the table: 0 800 x 600, 1 1024 x 768, 2 1280 x 1024,
// 3 1600 x 1200, 4 1280 x 768.
extern int g_resolutionIndex;
// The index last applied to the display, and bit i set when applying index i
// failed. Applying a resolution goes through the graphics interface, so it
// lives with the graphics code; the state is kept here, beside the table.
extern int g_appliedResolutionIndex;
extern unsigned g_failedResolutionModes;

// The size of g_resolutionIndex; an index outside the table is logged and
// gives 1024 x 768. The first argument is not used.
void CalcResolution(int unused, int* width, int* height);
// g_resolutionIndex and the applied index become 0.
void ResetResolution();

// ---- Folders ---------------------------------------------------------------
// Windows paths are limited to this many characters (MAX_PATH less the end).
constexpr size_t kMaxPathLength = 259;

// The user's documents folder plus the name, created if missing; when the
// documents folder cannot be found, the relative folder "userdata\".
std::string UserDataFolder(const std::string& name);
// UserDataFolder("Quorvex") + "\settings.stuff". No settings file is read or
// written; the path is kept for the day one is.
std::string SettingsFilePath();

// Where UserDataFolder finds the documents folder (tests replace it): true
// and the folder, or false. Null restores the platform's own.
typedef bool (*DocumentsFolderSource)(std::string* folder);
DocumentsFolderSource SetDocumentsFolderSource(DocumentsFolderSource source);

// Creates every folder along the path: each text before a backslash. The
// text after the last backslash is not created, so a folder path ends with a
// backslash and a file path creates the file's folders. A path longer than
// kMaxPathLength is refused (logged, nothing created, false).
bool CreateDirectoryPath(const std::string& path);

// ---- Files -----------------------------------------------------------------
// Size in bytes; 0 when the file cannot be opened.
long GetFileLength(const std::string& path);

// The whole file; raw reads bytes as they are, otherwise text mode (CR LF
// becomes LF on Windows). Read in chunks of 2048 bytes, each taken as a C
// string: a chunk's text ends at its first zero byte. Empty when the file
// cannot be opened.
std::string ReadWholeFile(const std::string& path, bool raw);

// The file's lines in text mode; blank lines vanish.
void ReadFileLines(std::vector<std::string>& out, const std::string& path);

// Appends the file's lines to out (not emptied first) up to the first blank
// line or the end. False, and logged, when the file cannot be opened.
bool LoadStringList(std::vector<std::string>& out, const std::string& path);

// ---- Text ------------------------------------------------------------------
// Splits text at every character of delimiters into out (emptied first);
// never yields an empty token.
void Tokenize(const std::string& text, std::vector<std::string>& out, const std::string& delimiters);

// Removes the first line in place: everything up to and including the first
// byte below 32 as a signed char (control characters and bytes 128-255).
// Unchanged when there is no such byte.
void DropFirstLine(std::string& text);

// Path parts. Only the backslash separates folders.
// Up to and including the last backslash; empty when there is none.
std::string GetDirectory(const std::string& path);
// After the last backslash; the whole text when there is none.
std::string GetFileName(const std::string& path);
// After the last '.' anywhere in the text; empty when there is none.
std::string GetFileExtension(const std::string& path);
// Before the last '.'; the whole text when there is none.
std::string StripExtension(const std::string& path);

// Only 'A' to 'Z' change.
std::string ToLowerCase(const std::string& text);

// The first two characters (a "0x" prefix) are skipped; each further
// character is one hex digit, anything that is not a digit counting as 0.
// A text shorter than the prefix (or null) gives 0.
int HexToInt(const char* text);

bool IsLetter(char c);
// Codes 32 to 126.
bool IsPrintable(char c);

int CountBits(unsigned value);
// 31 down to 0; -1 for 0.
int HighestSetBit(unsigned value);

// ---- Windows version -------------------------------------------------------
// 1 major 3 or less; 2 NT 4; 3 Windows 95; 4 Windows 98; 5 Windows ME;
// 6 Windows 2000; 7 XP; 8 2003; 9 newer; 0 unknown (or the query failed).
int GetOsVersion();
// The code for a version as GetVersionExA reports it.
int OsVersionCode(unsigned major, unsigned minor, unsigned platformId);

// ---- Start-up state --------------------------------------------------------
// The open and save dialog records prepared before the entry point (size,
// owner, instance, one shared file-name buffer of 511 characters). Nothing
// shows the dialogs; null in the native build.
struct tagOFNA;
const tagOFNA* OpenFileDialogRecord();
const tagOFNA* SaveFileDialogRecord();

// ---- Platform side (Utility_win32.cpp, or its native stand-in) -------------
// One folder; an existing folder is fine.
void MakeDirectory(const std::string& path);
bool PlatformDocumentsFolder(std::string* folder);
// Seeds rand() with the millisecond clock and prepares the dialog records.
void SeedRandomAndPrepareFileDialogs();
