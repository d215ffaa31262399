// Dream archives (".dream", "FR01"): the files of a downloaded dream, each
// stored plain, LZW-coded or bzip2-compressed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most an archive's entries may unpack to, counting the data of entries
// that failed: past it the archive is taken for hostile.
constexpr uint64_t kDreamUnpackBudget = uint64_t(256) << 20;

// Unpacks every entry into the archive's own folder (up to its last
// backslash). True when every entry up to the end of the file was handled
// (extracted, skipped or reported); false when the archive cannot be read,
// its structure is broken or its entries unpack to more than the budget.
// Never writes outside that folder.
bool ExtractDream(const std::string& path);

// Seam for a failure a healthy machine does not show: tests replace the LZW
// decoder that extraction calls (LzwDecode's contract), to make an entry run
// out of memory. Null restores LzwDecode. Returns the old one.
typedef size_t (*DreamLzwDecoder)(const unsigned char* input, size_t length, std::vector<unsigned char>& output);
DreamLzwDecoder SetDreamLzwDecoder(DreamLzwDecoder decoder);

// Whether an entry's name (the 48-byte field, zero-terminated) may become a
// path under the dream's folder: plain names and sub-folders only.
bool IsSafeEntryName(const char* field, size_t fieldSize);
