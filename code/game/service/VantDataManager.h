// The game client's shared state: who the player is, where the own avatar
// stands, the avatars and portals the game server announced, the status lines
// waiting for the chat window, the running file transfers and the per-frame
// step that turns a finished dream download into a loaded map.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "game/formats/PlayerFile.h"

namespace VANT {
class FileGetter;
}


// One visible avatar; positions are grid coordinates.
struct AvatarRecord {
  uint8_t colorCode[10] = {};  // base-95 digit values of the server's colour code
  int form = 0;                // 0..5
  int flag = 0;                // 0 or 2
  int direction = 0;           // 0..3
  int pose = 0;                // 0..4
  int x = 0;
  int y = 0;
};

// A way into a dream; the label holds '|' where a space is meant.
struct PortalRecord {
  int x = 0;
  int y = 0;
  std::string name;
  std::string label;
};

// One file transfer; owns its getter, which owns its thread and connection.
struct Transfer {
  int kind = 0;  // 0 dream, any other value portrait
  bool upload = false;
  std::string id;
  VANT::FileGetter* getter = nullptr;
};

// The one record of the chosen character. The player-file reader fills it
// through this reference; everyone else only reads it.
PlayerInfo& GetPlayerInfo();
// Reads a player file into the store's PlayerInfo. True when all five keys
// were found; fields read before a failure stay written.
bool LoadPlayerIni(const std::string& path);
void GetPlayerName(std::string& out);

void GetViewPosition(int& x, int& y);
void SetViewPosition(int x, int y);

const std::list<AvatarRecord>& GetAvatarList();
const std::list<PortalRecord>& GetPortalList();
const std::list<Transfer>& GetTransferList();

void ClearAvatars();
void RemoveAvatar(int x, int y);
bool FindAvatar(int x, int y, AvatarRecord** out);
// Removes the record at the old tile; then overwrites the record already on
// the new tile, or puts a copy at the front of the list.
void SetAvatar(int oldX, int oldY, const AvatarRecord& record);

void AddPortal(const PortalRecord& record);
void RemovePortal(int x, int y);
void ClearPortals();

// The status-line queue: the only state that downloader threads touch, so
// the only operations that lock.
void PushMessage(const std::string& text);
bool PopMessage(std::string& out);

// Puts a transfer at the front of the list and starts its download into dir.
void BeginTransfer(const std::string& id, int kind, const std::string& dir);
// Stops and deletes the transfer's getter and drops the record.
void EndTransfer(const Transfer& transfer);
// True while a transfer of that kind and id (ASCII letters in either case)
// is in the list: downloading, or finished and not yet taken by the dream
// step.
bool IsTransferPending(const std::string& id, int kind);
// Once per frame: takes the front-most finished dream download, extracts and
// loads it, and tells the game server; on failure asks the player whether to
// go back.
void UpdateDreamTransfers();

namespace detail {
// The list itself, for the transfer functions (portable records and the
// platform's downloads live in different files).
std::list<Transfer>& MutableTransferList();
}  // namespace detail
