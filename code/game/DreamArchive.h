// Dream archives (".dream", "FR01"): the files of a downloaded dream, each
// stored plain, LZW-coded or bzip2-compressed.
#pragma once
#include <string>

// Unpacks every entry into the archive's own folder (up to its last
// backslash). True when every entry up to the end of the file was handled
// (extracted, skipped or reported); false when the archive cannot be read or
// its structure is broken. Never writes outside that folder.
bool ExtractDream(const std::string& path);

// Whether an entry's name (the 48-byte field, zero-terminated) may become a
// path under the dream's folder: plain names and sub-folders only.
bool IsSafeEntryName(const char* field, size_t fieldSize);
