// The parts of the file-server conversation that need no socket: the dream
// name check, the welcome and answer lines, the block layout and the byte
// queue the downloader cuts them from. Also built natively and fuzzed.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Bounds on what a file server may announce. A dream is a few megabytes; the
// limits only keep a broken or hostile server from costing unbounded memory.
constexpr int kMaxTransferBlockSize = 1 << 20;
constexpr int kMaxTransferTotal = 256 << 20;
// A welcome or answer line longer than this is dropped; a welcome is then
// judged by its first three bytes, an answer is refused.
constexpr size_t kMaxFileServerLineBytes = 4096;
// Bytes beyond the blocks still to come that a download tolerates (a stray
// line after the last block). Kept below one 4096-byte receive, so a server
// that sends whole blocks more than it announced fails however its bytes are
// cut up on the way.
constexpr size_t kMaxBlockSurplusBytes = 1024;
// A dream's name is used twice in the archive's path ("qvrx_tmp\\" + name +
// "\\" + name + ".dream"), and every extracted entry's path must stay under
// Windows' path limit.
constexpr size_t kMaxDreamNameLength = 64;
// Block header: "SC", the block number (32-bit little-endian), 4 unused bytes.
constexpr int kBlockHeaderBytes = 10;

// A dream's name becomes a folder and a file name and is one word of the
// request line: any plain file name (IsPlainFileName: apostrophes, '!', '&',
// '(', '#', '+' and accented letters are fine) of at most
// kMaxDreamNameLength characters, without a blank or a leading dot.
bool IsAcceptableDreamName(const std::string& name);

// The welcome line, line feed included, must begin with "10 ".
bool IsFileServerWelcome(const std::string& line);

// "RC name password id 0 2 4096" and a line feed.
std::string TransferRequestLine(const std::string& name, const std::string& password, const std::string& id);

enum class TransferAnswer {
  kAccepted,
  kRefused,     // the first field is not "44"
  kUnusable,    // "44", but too few fields or sizes out of bounds
};
// Fields split on blanks, tabs and line feeds: "44", the total size, an
// unused field, the block size. Sets total and block size when accepted.
TransferAnswer ParseTransferAnswer(const std::string& line, int* total, int* blockSize);

// Blocks needed for total payload bytes at blockSize - 10 per block.
int BlockCountFor(int total, int blockSize);

// True when the block starts with "SC"; then number is its block number.
bool ParseBlockHeader(const char* block, size_t size, int* number);

// Received bytes not yet used, taken off the front as lines or blocks.
class ByteQueue {
 public:
  void Append(const char* data, size_t size);
  size_t Size() const { return bytes_.size() - head_; }
  bool Empty() const { return Size() == 0; }
  void Clear();
  bool HasLine() const;
  // One line with its line feed; false, taking nothing, without one.
  bool TakeLine(std::string& out);
  // Exactly size bytes; false, taking nothing, when fewer are there.
  bool TakeBlock(size_t size, std::vector<char>& out);

 private:
  std::string bytes_;
  size_t head_ = 0;
};
