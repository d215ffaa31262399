// The game-state records and the locked status-line queue. Downloads and the
// dream step need sockets and threads; they live in VantDataManager.cpp.
#include "game/service/VantDataManager.h"

#include "foundation/CriticalSection.h"
#include "foundation/StartupOrder.h"

namespace {

// The queue and its lock are one object, so the lock exists exactly as long
// as the lines it guards.
struct StatusLineQueue {
  CriticalSection lock;
  std::list<std::string> lines;
};

int s_viewX;
int s_viewY;

}  // namespace

QV_STARTUP_MARK(kRowMessageQueue, "MessageQueue");
static StatusLineQueue MessageQueue QV_STARTUP(kRowMessageQueue);
QV_STARTUP_MARK(kRowPlayerInfo, "PlayerInfo");
static PlayerInfo g_playerInfo QV_STARTUP(kRowPlayerInfo);
QV_STARTUP_MARK(kRowAvatarList, "AvatarList");
static std::list<AvatarRecord> AvatarList QV_STARTUP(kRowAvatarList);
QV_STARTUP_MARK(kRowPortalList, "PortalList");
static std::list<PortalRecord> PortalList QV_STARTUP(kRowPortalList);
QV_STARTUP_MARK(kRowTransferList, "TransferList");
static std::list<Transfer> TransferList QV_STARTUP(kRowTransferList);

PlayerInfo& GetPlayerInfo() { return g_playerInfo; }

void GetPlayerName(std::string& out) { out = g_playerInfo.Name; }

void GetViewPosition(int& x, int& y) {
  x = s_viewX;
  y = s_viewY;
}

void SetViewPosition(int x, int y) {
  s_viewX = x;
  s_viewY = y;
}

const std::list<AvatarRecord>& GetAvatarList() { return AvatarList; }
const std::list<PortalRecord>& GetPortalList() { return PortalList; }
const std::list<Transfer>& GetTransferList() { return TransferList; }
std::list<Transfer>& detail::MutableTransferList() { return TransferList; }

void ClearAvatars() { AvatarList.clear(); }

void RemoveAvatar(int x, int y) {
  for (auto it = AvatarList.begin(); it != AvatarList.end(); ++it) {
    if (it->x == x && it->y == y) {
      AvatarList.erase(it);
      return;
    }
  }
}

bool FindAvatar(int x, int y, AvatarRecord** out) {
  for (AvatarRecord& avatar : AvatarList) {
    if (avatar.x == x && avatar.y == y) {
      *out = &avatar;
      return true;
    }
  }
  *out = nullptr;
  return false;
}

void SetAvatar(int oldX, int oldY, const AvatarRecord& record) {
  RemoveAvatar(oldX, oldY);
  AvatarRecord* existing = nullptr;
  if (FindAvatar(record.x, record.y, &existing))
    *existing = record;
  else
    AvatarList.push_front(record);
}

void AddPortal(const PortalRecord& record) { PortalList.push_back(record); }

void RemovePortal(int x, int y) {
  for (auto it = PortalList.begin(); it != PortalList.end(); ++it) {
    if (it->x == x && it->y == y) {
      PortalList.erase(it);
      return;
    }
  }
}

void ClearPortals() { PortalList.clear(); }

void PushMessage(const std::string& text) {
  CriticalSectionLock hold(MessageQueue.lock);
  MessageQueue.lines.push_back(text);
}

bool PopMessage(std::string& out) {
  CriticalSectionLock hold(MessageQueue.lock);
  if (MessageQueue.lines.empty()) return false;
  out = MessageQueue.lines.front();
  MessageQueue.lines.pop_front();
  return true;
}

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace

// Windows file names ignore case: "Dream" and "dream" are one folder and one
// archive, so they are one transfer.
bool IsTransferPending(const std::string& id, int kind) {
  for (const Transfer& transfer : TransferList)
    if (transfer.kind == kind && SameIgnoringAsciiCase(transfer.id, id)) return true;
  return false;
}
