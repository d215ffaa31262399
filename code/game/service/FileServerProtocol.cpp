// File-server lines and blocks, without sockets.
#include "game/service/FileServerProtocol.h"

#include <cstdint>
#include <cstring>

#include "game/formats/FileNames.h"

namespace {

// Decimal digits only (a carriage return may trail, for servers that end
// lines with CR LF), at most nine of them, within [low, high].
bool ParseBoundedNumber(const std::string& field, int low, int high, int* out) {
  size_t length = field.size();
  if (length > 0 && field[length - 1] == '\r') --length;
  if (length == 0 || length > 9) return false;
  int value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (field[i] < '0' || field[i] > '9') return false;
    value = value * 10 + (field[i] - '0');
  }
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

}  // namespace

bool IsAcceptableDreamName(const std::string& name) {
  if (name.size() > kMaxDreamNameLength) return false;
  // A blank would split the request line; a leading dot rules out "." and
  // ".." (and hidden-looking folders). The rest is what any file name needs.
  if (name.find(' ') != std::string::npos || (!name.empty() && name.front() == '.')) return false;
  return IsPlainFileName(name);
}

bool IsFileServerWelcome(const std::string& line) { return line.size() >= 3 && line.compare(0, 3, "10 ") == 0; }

std::string TransferRequestLine(const std::string& name, const std::string& password, const std::string& id) {
  return "RC " + name + " " + password + " " + id + " 0 2 4096\n";
}

TransferAnswer ParseTransferAnswer(const std::string& line, int* total, int* blockSize) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\n') {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(field);
  if (fields.empty() || fields[0] != "44") return TransferAnswer::kRefused;
  if (fields.size() < 4) return TransferAnswer::kUnusable;
  int announcedTotal = 0;
  int announcedBlock = 0;
  // A block must carry payload beyond its 10-byte header.
  if (!ParseBoundedNumber(fields[1], 1, kMaxTransferTotal, &announcedTotal) ||
      !ParseBoundedNumber(fields[3], kBlockHeaderBytes + 1, kMaxTransferBlockSize, &announcedBlock))
    return TransferAnswer::kUnusable;
  *total = announcedTotal;
  *blockSize = announcedBlock;
  return TransferAnswer::kAccepted;
}

int BlockCountFor(int total, int blockSize) {
  int payload = blockSize - kBlockHeaderBytes;
  return (total + payload - 1) / payload;
}

bool ParseBlockHeader(const char* block, size_t size, int* number) {
  if (size < static_cast<size_t>(kBlockHeaderBytes) || block[0] != 'S' || block[1] != 'C') return false;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(block[2 + i]);
  *number = static_cast<int>(value);
  return true;
}

void ByteQueue::Append(const char* data, size_t size) {
  // Drop what was taken before growing, so the storage stays near the
  // bytes still waiting.
  if (head_ > 0 && head_ >= bytes_.size() / 2) {
    bytes_.erase(0, head_);
    head_ = 0;
  }
  bytes_.append(data, size);
}

void ByteQueue::Clear() {
  bytes_.clear();
  head_ = 0;
}

bool ByteQueue::HasLine() const { return bytes_.find('\n', head_) != std::string::npos; }

bool ByteQueue::TakeLine(std::string& out) {
  size_t feed = bytes_.find('\n', head_);
  if (feed == std::string::npos) return false;
  out.assign(bytes_, head_, feed + 1 - head_);
  head_ = feed + 1;
  return true;
}

bool ByteQueue::TakeBlock(size_t size, std::vector<char>& out) {
  if (Size() < size) return false;
  out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(head_),
             bytes_.begin() + static_cast<std::ptrdiff_t>(head_ + size));
  head_ += size;
  return true;
}
