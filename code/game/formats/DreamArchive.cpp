// Extraction of dream archives. The archive comes from the network, so its
// structure is checked against the file's real length (64-bit offsets) and
// every entry name is checked before it becomes a path.
#include "game/formats/DreamArchive.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "game/formats/FileNames.h"
#include "game/formats/LocalFiles.h"
#include "game/formats/LzwDecode.h"

namespace {

constexpr uint64_t kArchiveHeaderSize = 28;
constexpr uint64_t kEntryHeaderSize = 62;
constexpr size_t kEntryNameSize = 48;
constexpr size_t kBzipFirstBuffer = 1u << 20;
// Every method's ceiling for one entry's data.
constexpr size_t kEntryOutputLimit = kLzwOutputLimit;

DreamLzwDecoder s_lzwDecoder = LzwDecode;

uint32_t ReadU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The name for the log: as far as it goes, control characters shown as '?'.
std::string Printable(const char* field, size_t fieldSize) {
  std::string text;
  for (size_t i = 0; i < fieldSize && field[i]; ++i) {
    unsigned char c = static_cast<unsigned char>(field[i]);
    text += c < 32 || c == 127 ? '?' : field[i];
  }
  return text;
}

// bzip2 in one pass: the stream is decompressed once into a buffer that
// doubles from 1 MiB as it fills, up to the entry limit (an entry that
// needs more gives no data, and no message of its own). *produced: the
// bytes decompressed, kept or not.
std::vector<unsigned char> DecompressBzip2(const unsigned char* stored, uint32_t size, const std::string& outPath,
                                          uint64_t* produced) {
  bz_stream stream;
  std::memset(&stream, 0, sizeof stream);
  int result = BZ2_bzDecompressInit(&stream, 0, 0);
  if (result == BZ_OK) {
    struct StreamEnd {
      bz_stream* stream;
      ~StreamEnd() { BZ2_bzDecompressEnd(stream); }
    } streamEnd{&stream};
    stream.next_in = reinterpret_cast<char*>(const_cast<unsigned char*>(stored));
    stream.avail_in = size;
    std::vector<unsigned char> data(kBzipFirstBuffer);
    size_t done = 0;
    for (;;) {
      stream.next_out = reinterpret_cast<char*>(data.data() + done);
      stream.avail_out = static_cast<unsigned>(data.size() - done);
      result = BZ2_bzDecompress(&stream);
      done = data.size() - stream.avail_out;
      *produced = done;
      if (result == BZ_STREAM_END) {
        data.resize(done);
        return data;
      }
      // Room left over means the input ran out before the stream's end.
      if (result == BZ_OK && stream.avail_out > 0) result = BZ_UNEXPECTED_EOF;
      if (result != BZ_OK) break;
      if (data.size() >= kEntryOutputLimit) return std::vector<unsigned char>();
      data.resize(std::min(data.size() * 2, kEntryOutputLimit));
    }
  }
  ErrorLog << "error while doing bz2 decompression for file " << outPath << ", result=" << result << "\n";
  return std::vector<unsigned char>();
}

// An entry's data by its method; empty when there is none (each failure
// logged). *produced: the bytes the entry made, kept or not.
std::vector<unsigned char> UnpackEntry(uint32_t method, unsigned char* stored, uint32_t storedSize,
                                       const std::string& name, const std::string& path,
                                       const std::string& outPath, uint64_t* produced) {
  std::vector<unsigned char> data;
  if (method == 1) {
    data.assign(stored, stored + storedSize);
    for (unsigned char& b : data) b = static_cast<unsigned char>(~b);
    *produced = storedSize;
  } else if (method == 0) {
    for (uint32_t i = 0; i < storedSize; ++i) stored[i] = static_cast<unsigned char>(~stored[i]);
    *produced = s_lzwDecoder(stored, storedSize, data);
    if (data.empty()) {
      ErrorLog << "Data decompression (lzw) failed on file \"" << name << "\" in dream file: " << path << "\n";
    } else if (data.size() < storedSize) {
      ErrorLog << "Data decompression (lzw) has a suspicious size on file \"" << name
               << "\" in dream file: " << path << " ...\n";
    }
  } else if (method == 2) {
    data = DecompressBzip2(stored, storedSize, outPath, produced);
  } else {
    ErrorLog << "Unsupported compression method for file \"" << name << "\" in dream \"" << path << "\": method "
             << std::to_string(method) << "\n";
  }
  return data;
}

}  // namespace

DreamLzwDecoder SetDreamLzwDecoder(DreamLzwDecoder decoder) {
  DreamLzwDecoder old = s_lzwDecoder;
  s_lzwDecoder = decoder ? decoder : LzwDecode;
  return old;
}

bool IsSafeEntryName(const char* field, size_t fieldSize) {
  size_t length = 0;
  while (length < fieldSize && field[length]) ++length;
  if (length == 0 || length == fieldSize) return false;  // empty, or no terminating zero
  // Backslashes make sub-folders; every folder and the file itself must be a
  // plain name. An empty component would make an absolute or UNC path.
  const std::string name(field, length);
  size_t start = 0;
  while (true) {
    size_t end = name.find('\\', start);
    const size_t count = end == std::string::npos ? std::string::npos : end - start;
    if (!IsPlainFileName(name.substr(start, count))) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool ExtractDream(const std::string& path) {
  std::vector<unsigned char> archive;
  if (!ReadLocalFile(path, &archive) || archive.empty()) {
    ErrorLog << "Unable to begin decompression of file: " << path << "\n";
    return false;
  }
  const uint64_t length = archive.size();
  if (length < 4 || std::memcmp(archive.data(), "FR01", 4) != 0) {
    ErrorLog << "Error decompressing dream file (" << path << "): dream header ID is invalid.\n";
    return false;
  }
  const std::string dir = GetDirectory(path);
  uint64_t unpacked = 0;  // bytes the entries have made so far, kept or not

  for (uint64_t offset = kArchiveHeaderSize; offset < length;) {
    const unsigned char* header = archive.data() + offset;
    if (length - offset < 2 || header[0] != 'F' || header[1] != 'Z') {
      ErrorLog << "Error in file entry header, in dream file: " << path << "\n";
      return false;
    }
    if (length - offset < kEntryHeaderSize) {
      ErrorLog << "Error in file entry header, in dream file: " << path << "\n"
               << "  -the entry header runs past the end of the file\n";
      return false;
    }
    const char* nameField = reinterpret_cast<const char*>(header + 2);
    const uint32_t storedSize = ReadU32(header + 50);
    const uint32_t method = ReadU32(header + 58);
    if (storedSize > length - offset - kEntryHeaderSize) {
      ErrorLog << "Error in file entry header, in dream file: " << path << "\n"
               << "  -the entry's stored size runs past the end of the file\n";
      return false;
    }
    unsigned char* stored = archive.data() + offset + kEntryHeaderSize;
    offset += kEntryHeaderSize + storedSize;

    if (!IsSafeEntryName(nameField, kEntryNameSize)) {
      ErrorLog << "Refused an entry whose file name could lead outside the dream's folder (\""
               << Printable(nameField, kEntryNameSize) << "\"), in dream file: " << path << "\n";
      continue;
    }
    const std::string name(nameField);
    const std::string outPath = dir + name;
    if (LocalFileSize(outPath) >= int64_t(storedSize)) continue;  // extracted before

    // A few hundred bytes can unpack to an entry's whole 64 MiB: without a
    // budget for the archive, thousands of such entries would keep the
    // extraction busy for hours.
    if (unpacked >= kDreamUnpackBudget) {
      ErrorLog << "Error decompressing dream file (" << path
               << "): its entries unpack to more than 256 MiB; the rest is not extracted.\n";
      return false;
    }
    std::vector<unsigned char> data;
    uint64_t produced = 0;
    try {
      data = UnpackEntry(method, stored, storedSize, name, path, outPath, &produced);
    } catch (const std::bad_alloc&) {
      // Address space runs short in the 32-bit program long before memory
      // does; the entry fails, the rest may still fit. It counts as a whole
      // entry's worth, so that a run of such entries still meets the budget.
      produced = kEntryOutputLimit;
      ErrorLog << "Not enough memory to unpack file \"" << name << "\" in dream file: " << path << "\n";
    }
    unpacked += produced;

    if (data.empty()) {
      ErrorLog << "No decompressed data generated for file: " << outPath << ", so skipping\n";
      continue;
    }
    CreateDirectoryPath(outPath);
    FILE* f = OpenLocalFile(outPath, "wb");
    bool written = f && std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) ErrorLog << "Unable to write file " << outPath << " while extracting dream file: " << path << "\n";
  }
  return true;
}
