// The game server's conversation: received bytes become lines, the login runs
// on the first of them, later lines change the game state, and the client
// sends its few commands. Numbers on the wire are base-95: each character's
// code minus 32 is a digit, most significant first.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "game/formats/Base95.h"

class NetClient;
struct AvatarRecord;

// The protocol's view of its connection. The program hands it a NetClient
// (SetNetClient); the line handling itself needs no sockets, so it also
// builds natively and is fuzzed there.
class ServerConnection {
 public:
  virtual ~ServerConnection() {}
  virtual bool IsConnected() = 0;
  virtual int PendingBytes() = 0;
  // Replaces out with every byte received so far; false when there was none.
  virtual bool ReceiveData(std::vector<char>& out) = 0;
  virtual bool SendData(const char* data, int length) = 0;
};

// The connection everything below uses; null while there is none.
void SetNetClient(NetClient* client);
void SetServerConnection(ServerConnection* connection);

// What server lines and the dream step change beyond the game-state store:
// the map, the palette, the floors, the renderer's floor cache and the
// extracted dream. At start the map, palette and archive entries hold the
// program's own functions. The two that need graphics and the world renderer,
// loadPatchFloors (LoadPatchFloors) and markFloorDirtyNear
// (MarkFloorDirtyNear), are added by the renderer when it starts:
//   WorldEffects e = GetWorldEffects();
//   e.loadPatchFloors = LoadPatchFloors;
//   e.markFloorDirtyNear = MarkFloorDirtyNear;
//   SetWorldEffects(e);
// A test or the fuzz target installs its own (a fuzzed map path must never
// be opened).
struct WorldEffects {
  void (*deskew)(int fileX, int fileY, int* gridX, int* gridY);
  void (*reskew)(int gridX, int gridY, int* fileX, int* fileY);
  void (*setMapFloor)(int x, int y, int floor);
  void (*setMapObject)(int x, int y, int object);
  bool (*loadMap)(const std::string& path);
  void (*loadPatchFloors)(const std::string& folder);
  void (*loadPcxPalette)(const std::string& path);
  void (*markFloorDirtyNear)(int x, int y);
  // Unpacks a downloaded archive next to itself.
  bool (*extractDream)(const std::string& archivePath);
};
// Installs a set of effects and returns the previous one. A null entry is
// skipped (a position then passes without transform).
WorldEffects SetWorldEffects(const WorldEffects& effects);
const WorldEffects& GetWorldEffects();

// Keeps only the codes 32..126.
std::string StripControlChars(const std::string& text);
// Fills the colour code (when the code has ten characters) and, for a frame
// number above 0, form, flag, direction and pose.
void ParseAvatarCode(const std::string& code, const std::string& frame, AvatarRecord& record);

// The text and one line feed, in one send. False when not connected or when
// the send fails.
bool SendLine(const std::string& text);
// 0..5: "m 9", "m 7", "m 1", "m 3", ">", "<".
bool SendMove(int movement);
// A look at a grid tile; nothing is sent for a tile whose file coordinates
// would not encode to printable characters.
bool SendLook(int gridX, int gridY);

void HandleServerLine(const std::string& line);
// Appends received bytes and handles every line they complete.
void TakeServerBytes(const char* data, size_t length);
// Once per frame: takes what the connection received, handles the lines,
// ends the greeting, and notices a lost connection.
void PollGameServer();

// Lines longer than this are dropped (with a note in the error log).
constexpr size_t kMaxServerLineBytes = 65536;

bool IsAwaitingGreeting();
bool IsLoggedIn();
// Back to the state of program start: greeting expected, not logged in,
// nothing buffered. Tests start each conversation from here.
void ResetGameProtocol();
