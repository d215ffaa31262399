// libFuzzer target: a game server's bytes and a file server's lines are
// untrusted. Feeds the input through the line splitter and every server
// line (greeting, login, world lines, dream announcements), through base-95
// and the avatar frames, and through the file server's answer, welcome and
// block parsing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "game/formats/FileNames.h"
#include "game/formats/MapGrid.h"
#include "game/service/FileServerProtocol.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"

namespace {

// Takes whatever the protocol sends and counts it, so sends are exercised.
class SinkConnection : public ServerConnection {
 public:
  bool IsConnected() override { return true; }
  int PendingBytes() override { return 0; }
  bool ReceiveData(std::vector<char>&) override { return false; }
  bool SendData(const char* data, int length) override {
    for (int i = 0; i < length; ++i) checksum += static_cast<unsigned char>(data[i]);
    return true;
  }
  unsigned checksum = 0;
};

SinkConnection s_sink;

// A map or palette path that reaches its load names no device in any folder.
void CheckNoDevice(const std::string& path) {
  size_t start = 0;
  for (;;) {
    size_t end = path.find_first_of("\\/", start);
    if (IsDeviceName(path.substr(start, end == std::string::npos ? std::string::npos : end - start)))
      __builtin_trap();
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

// The map, palette, floor and archive loads take paths from the input: they
// must never reach the file system here. Positions and cells go through the
// real map module (no map is loaded, so cells fall outside the grid).
WorldEffects FuzzEffects() {
  WorldEffects e = {};
  e.deskew = Deskew;
  e.reskew = Reskew;
  e.setMapFloor = SetMapFloor;
  e.setMapObject = SetMapObject;
  e.loadMap = [](const std::string& path) {
    CheckNoDevice(path);
    return false;
  };
  e.loadPatchFloors = [](const std::string&) {};
  e.loadPcxPalette = [](const std::string& path) { CheckNoDevice(path); };
  e.markFloorDirtyNear = [](int, int) {};
  e.extractDream = [](const std::string&) { return false; };
  return e;
}

void ResetWorld() {
  ResetGameProtocol();
  ClearAvatars();
  ClearPortals();
  std::string line;
  while (PopMessage(line)) {
  }
  while (!GetTransferList().empty()) EndTransfer(GetTransferList().front());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    SetWorldEffects(FuzzEffects());
    SetServerConnection(&s_sink);
    GetPlayerInfo().Name = "Fuzz";
    GetPlayerInfo().Password = "pw";
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  std::string text(bytes, size);

  // The first byte picks the phase the lines arrive in and where the bytes
  // are cut into batches.
  ResetWorld();
  unsigned mode = data[0];
  if (mode & 1) {
    TakeServerBytes("END\n", 4);
    TakeServerBytes("&&&&&&&&&&&&&\n", 14);
  }
  size_t cut = size > 1 ? 1 + (mode >> 1) % size : size;
  TakeServerBytes(bytes + 1, cut - 1);
  TakeServerBytes(bytes + cut, size - cut);
  TakeServerBytes("\n", 1);
  HandleServerLine(text.substr(1));

  // Base-95, frames and looks over the same bytes.
  volatile int sink = DecodeBase95(text);
  sink = DecodeBase95Char(bytes[0]);
  AvatarRecord record;
  ParseAvatarCode(text, text.substr(size / 2), record);
  SendLook(DecodeBase95(text.substr(0, 3)), DecodeBase95(text.substr(size / 2, 3)));
  (void)EncodeBase95(sink, mode & 2);
  (void)StripControlChars(text);

  // The file server's side.
  int total = 0, blockSize = 0;
  if (ParseTransferAnswer(text, &total, &blockSize) == TransferAnswer::kAccepted && BlockCountFor(total, blockSize) <= 0)
    __builtin_trap();
  (void)IsFileServerWelcome(text);
  // An accepted dream name is one word of the request line and one file
  // name: no separator, drive colon, blank or control character.
  if (IsAcceptableDreamName(text)) {
    if (text.size() > kMaxDreamNameLength || text.front() == '.' || text.back() == '.') __builtin_trap();
    for (char c : text)
      if (static_cast<unsigned char>(c) < 32 || c == 127 || c == ' ' || c == '\\' || c == '/' || c == ':')
        __builtin_trap();
  }
  int number = 0;
  (void)ParseBlockHeader(bytes, size, &number);
  ByteQueue queue;
  queue.Append(bytes, size);
  std::string line;
  std::vector<char> block;
  while (queue.TakeLine(line) || queue.TakeBlock(1 + mode % 7, block)) {
  }
  return 0;
}
