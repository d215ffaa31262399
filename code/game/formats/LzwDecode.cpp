// The LZW decoder of dream archive entries.
//
// Every dictionary entry past the single bytes is the previous code's string
// plus the first byte of the next one, and those two strings stand next to
// each other in the output. So an entry is kept as a (start, length) window
// on what this call has already written, and decoding a code is one copy
// from earlier output: memory stays linear in the output, and long runs cost
// no more than a memory copy.
#include "game/formats/LzwDecode.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "foundation/LogFile.h"

namespace {

constexpr unsigned kClearCode = 256;
constexpr unsigned kEndCode = 257;
constexpr unsigned kFirstFreeCode = 258;
// The stream format carries codes of at most 16 bits: the dictionary may
// reach 65535 entries, after which a further code would need 17 bits.
constexpr unsigned kMaxWidth = 16;

struct Entry {
  uint32_t start;  // offset in this call's output
  uint32_t length;
};

// Output written straight into the caller's vector, always with some bytes
// to spare past what is written, so that short strings can be copied in
// whole 16-byte pieces; trimmed at the end. The vector's storage is reserved
// generously at the start (untouched memory costs little) and its size grows
// a chunk at a time, so the bytes are not moved as the output grows.
class OutputWriter {
 public:
  static constexpr size_t kSlack = 16;
  static constexpr size_t kChunk = 1u << 20;

  OutputWriter(std::vector<unsigned char>& output, size_t inputLength)
      : out_(output), base_(output.size()), size_(0) {
    size_t guess = inputLength < kLzwOutputLimit / 16 ? inputLength * 16 : kLzwOutputLimit;
    if (guess < 65536) guess = 65536;
    out_.reserve(base_ + guess + kSlack);
    Grow(0);
  }

  // Room for count more bytes (and the slack); false past the output limit.
  bool Reserve(size_t count) {
    if (count > kLzwOutputLimit - size_) return false;
    if (size_ + count + kSlack > capacity_) Grow(count);
    return true;
  }

  unsigned char* At(size_t offset) { return data_ + offset; }
  size_t Size() const { return size_; }
  void Advance(size_t count) { size_ += count; }
  void Finish() { out_.resize(base_ + size_); }
  void Discard() { out_.resize(base_); }

 private:
  void Grow(size_t count) {
    size_t want = capacity_ + kChunk;
    if (want < size_ + count + kSlack) want = size_ + count + kSlack;
    out_.resize(base_ + want);
    data_ = out_.data() + base_;
    capacity_ = want;
  }

  std::vector<unsigned char>& out_;
  size_t base_;
  size_t size_;
  size_t capacity_ = 0;
  unsigned char* data_ = nullptr;
};

// Copies a string of earlier output to the end of the output; the source
// ends at or before the destination. Short strings (most of them, in text)
// go in whole 16-byte pieces: the bytes that matter are never overwritten
// while copying, and the pieces may read and write up to 15 bytes beyond the
// string, which the writer's slack allows.
inline void CopyEarlier(unsigned char* to, const unsigned char* from, size_t length) {
  if (length > 32) {
    std::memcpy(to, from, length);
    return;
  }
  for (size_t done = 0; done < length; done += 16) {
    unsigned char piece[16];
    std::memcpy(piece, from + done, 16);
    std::memcpy(to + done, piece, 16);
  }
}

}  // namespace

size_t LzwDecode(const unsigned char* input, size_t length, std::vector<unsigned char>& output) {
  OutputWriter out(output, length);
  std::unique_ptr<Entry[]> table(new Entry[size_t(1) << kMaxWidth]);

  // A stream is expected to begin with a clear code: until then the
  // dictionary is empty.
  unsigned dictSize = 0;
  unsigned width = 9;
  uint32_t prevStart = 0, prevLength = 0;  // length 0: no previous string
  bool warnedPast12Bits = false;

  // Codes are read most significant bit first; the bits not yet taken sit
  // at the bottom of the accumulator. Bits left at the end are ignored.
  const unsigned char* in = input;
  const unsigned char* const end = input + length;
  uint64_t bits = 0;
  unsigned bitCount = 0;
  for (;;) {
    if (bitCount < width) {
      while (bitCount <= 56 && in != end) {
        bits = bits << 8 | *in++;
        bitCount += 8;
      }
      if (bitCount < width) break;
    }
    if (width > kMaxWidth) {
      // Only now, with a whole code of that width in hand: a stream that
      // filled the dictionary and ended there is complete.
      ErrorLog << "lzw decode: the stream needs codes of more than 16 bits; decoding abandoned.\n";
      out.Discard();
      return out.Size();
    }
    bitCount -= width;
    const unsigned code = static_cast<unsigned>(bits >> bitCount) & ((1u << width) - 1);

    if (code == kClearCode) {
      dictSize = kFirstFreeCode;
      width = 9;
      prevLength = 0;
      continue;
    }
    if (code == kEndCode) break;

    const uint32_t curStart = static_cast<uint32_t>(out.Size());
    uint32_t curLength;
    if (code < dictSize) {
      if (code < 256) {
        if (!out.Reserve(1)) goto tooLong;
        *out.At(curStart) = static_cast<unsigned char>(code);
        curLength = 1;
      } else {
        const Entry e = table[code];
        if (!out.Reserve(e.length)) goto tooLong;
        CopyEarlier(out.At(curStart), out.At(e.start), e.length);
        curLength = e.length;
      }
    } else if (code > dictSize) {
      ErrorLog << "The impossible happened when doing lzw decode.. code bigger than dict.\n";
      break;
    } else if (prevLength == 0) {
      curLength = 0;  // the previous string followed by its first byte: nothing
    } else {
      // The code being defined right now: the previous string plus its own
      // first byte. The previous string ends where this one starts.
      if (!out.Reserve(size_t(prevLength) + 1)) goto tooLong;
      CopyEarlier(out.At(curStart), out.At(prevStart), prevLength);
      *out.At(curStart + prevLength) = *out.At(prevStart);
      curLength = prevLength + 1;
    }
    out.Advance(curLength);

    if (prevLength != 0) {
      if (dictSize >= 4096 && !warnedPast12Bits) {
        // Once per stream: a hostile one could otherwise fill the log with
        // tens of thousands of lines.
        ErrorLog << "lzw dict: Adding even though dict is past 12 bits...\n";
        warnedPast12Bits = true;
      }
      table[dictSize] = Entry{prevStart, prevLength + 1};
      ++dictSize;
      // Past 16 bits the table is full (no code of that width fits it):
      // the width still grows, and the next code read fails.
      if (dictSize + 1 == (1u << width)) ++width;
    }
    prevStart = curStart;
    prevLength = curLength;
  }
  out.Finish();
  return out.Size();

tooLong:
  ErrorLog << "lzw decode: the output passed 64 MiB; decoding abandoned.\n";
  out.Discard();
  return out.Size();
}
