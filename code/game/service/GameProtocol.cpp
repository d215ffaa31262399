// The game-server protocol: line splitting, login, server lines, base-95 and
// the client's commands. No socket in here: the connection comes in through
// ServerConnection, so this file also builds natively.
#include "game/service/GameProtocol.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <list>

#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "game/formats/ColorTables.h"
#include "game/formats/DreamArchive.h"
#include "game/formats/FileNames.h"
#include "game/formats/MapGrid.h"
#include "game/service/VantDataManager.h"

namespace {

ServerConnection* s_connection;
bool s_greeting = true;
bool s_loggedIn;
// Set after an over-long line was dropped: the rest of it, up to its line
// feed, is dropped too.
bool s_droppingLine;

// The program's own map, palette and archive code. Floor sets become
// textures in the renderer's slots: the world renderer adds those calls when
// it starts, so this file needs no graphics.
WorldEffects s_effects = {Deskew, Reskew, SetMapFloor, SetMapObject, LoadMap, nullptr, LoadPcxPalette, nullptr,
                          ExtractDream};

}  // namespace

// Nothing writes to it; it keeps its place among the program's globals.
QV_STARTUP_MARK(kRowNetLog, "NetLog");
static std::list<std::string> NetLog QV_STARTUP(kRowNetLog);
QV_STARTUP_MARK(kRowServerLineBuffer, "ServerLineBuffer");
static std::deque<char> ServerLineBuffer QV_STARTUP(kRowServerLineBuffer);

void SetServerConnection(ServerConnection* connection) { s_connection = connection; }

WorldEffects SetWorldEffects(const WorldEffects& effects) {
  WorldEffects old = s_effects;
  s_effects = effects;
  return old;
}

const WorldEffects& GetWorldEffects() { return s_effects; }

bool IsAwaitingGreeting() { return s_greeting; }
bool IsLoggedIn() { return s_loggedIn; }

void ResetGameProtocol() {
  s_greeting = true;
  s_loggedIn = false;
  s_droppingLine = false;
  ServerLineBuffer.clear();
}

// ---- text helpers

std::string StripControlChars(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 32 && u <= 126) out += c;
  }
  return out;
}

void ParseAvatarCode(const std::string& code, const std::string& frame, AvatarRecord& record) {
  if (code.size() >= 10)
    for (int i = 0; i < 10; ++i) record.colorCode[i] = static_cast<uint8_t>(DecodeBase95Char(code[i]));
  if (frame.size() < 2) return;
  int whole = DecodeBase95(frame);
  int f = whole;
  if (f == 0) return;
  if (f > 500) {
    record.flag = 2;
    f -= 500;
  } else {
    record.flag = 0;
  }
  if (f <= 20) {
    record.form = 0;
  } else if (f <= 40) {
    record.form = 1;
    f -= 20;
  } else if (f <= 60) {
    record.form = 2;
    f -= 40;
  } else if (f <= 80) {
    record.form = 3;
    f -= 60;
  } else if (f <= 100) {
    record.form = 4;
    f -= 80;
  } else {
    record.form = 5;
    f -= 100;
    if (f > 20) {
      ErrorLog << "Warning: Animation frame could not be correctly parsed: " << whole << "\n";
      f %= 21;
    }
  }
  if (f >= 17) {
    record.pose = 1;
    switch (f - 17) {
      case 0: record.direction = 2; break;
      case 1: record.direction = 3; break;
      case 2: record.direction = 0; break;
      case 3: record.direction = 1; break;
      default: break;
    }
  } else {
    int r = ((f - 1) & 3) + 1;
    switch (r) {
      case 1: record.pose = 0; break;
      case 2: record.pose = 3; break;
      case 3: record.pose = 2; break;
      case 4: record.pose = 4; break;
    }
    switch (f - r) {
      case 0: record.direction = 2; break;
      case 4: record.direction = 3; break;
      case 8: record.direction = 1; break;
      case 12: record.direction = 0; break;
      default: break;
    }
  }
}

// ---- sending

bool SendLine(const std::string& text) {
  if (!s_connection || !s_connection->IsConnected()) return false;
  std::string data = text + "\n";
  return s_connection->SendData(data.data(), static_cast<int>(data.size()));
}

bool SendMove(int movement) {
  static const char* const kMoves[] = {"m 9", "m 7", "m 1", "m 3", ">", "<"};
  if (movement < 0 || movement > 5) return false;
  return SendLine(kMoves[movement]);
}

bool SendLook(int gridX, int gridY) {
  int fileX = gridX;
  int fileY = gridY;
  if (s_effects.reskew) s_effects.reskew(gridX, gridY, &fileX, &fileY);
  // Outside 0..9024 the two digits leave the printable range; a line feed
  // among them would end the look and start a second command.
  const int kMaxTwoDigits = 95 * 95 - 1;
  if (fileX < 0 || fileX > kMaxTwoDigits || fileY < 0 || fileY > kMaxTwoDigits) return false;
  return SendLine("l " + EncodeBase95(fileX, true) + EncodeBase95(fileY, true));
}

// ---- receiving

namespace {

void ReadPosition(const std::string& line, size_t at, int* x, int* y) {
  int fileX = DecodeBase95(line.substr(at, 2));
  int fileY = DecodeBase95(line.substr(at + 2, 2));
  *x = fileX;
  *y = fileY;
  if (s_effects.deskew) s_effects.deskew(fileX, fileY, x, y);
}

// Map paths and palette names come from the server and are opened as they
// are: only a path inside the installation folder is used. An absolute or
// UNC path (which Windows would follow to another machine), a drive or
// device colon, a folder of dots that climbs out ("..", and "..." or ". ."
// which Windows trims to it), or a device name in any folder (opening COM1
// or a printer port can hold the frame loop inside the open) is refused.
bool IsInstallationPath(const std::string& path) {
  if (path.empty() || path[0] == '\\' || path[0] == '/' || path.find(':') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find_first_of("\\/", start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part != "." && !part.empty() && part.find_first_not_of(". ") == std::string::npos) return false;
    if (IsDeviceName(part)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

void RefusePath(const char* what, const std::string& path) {
  ErrorLog << "Refused " << what << " from the game server: \"" << StripControlChars(path) << "\"\n";
}

std::string WithoutBlanks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

void HandleAvatarLine(const std::string& line, bool moves) {
  AvatarRecord record;
  ParseAvatarCode(line.substr(1, 10), line.substr(15, 2), record);
  ReadPosition(line, 11, &record.x, &record.y);
  int oldX = record.x;
  int oldY = record.y;
  if (moves) ReadPosition(line, 17, &oldX, &oldY);
  SetAvatar(oldX, oldY, record);
}

void HandleDreamLine(const std::string& line) {
  std::string name = WithoutBlanks(line.substr(3));
  // A repeated announcement would start a second getter on the same file,
  // and the first one's clean-up could delete what the second writes.
  if (IsTransferPending(name, 0)) {
    ErrorLog << "Ignoring a repeated request for dream \"" << StripControlChars(name)
             << "\" while its download is still pending.\n";
    return;
  }
  ClearAvatars();
  ClearPortals();
  // Before the getter exists, so a download that fails at once reports after
  // this line.
  PushMessage("> Downloading Dream...");
  BeginTransfer(name, 0, "qvrx_tmp\\" + name);
}

void HandleBracketLine(const std::string& line) {
  if (line.compare(0, 3, "]cc") == 0) {
    if (line.size() < 4) return;
    std::string name = line.substr(3);
    if (!IsInstallationPath(name))
      RefusePath("a palette name", name);
    else if (s_effects.loadPcxPalette)
      s_effects.loadPcxPalette("patches\\default\\" + name);
  } else if (line.compare(0, 2, "]s") == 0) {
    if (line.size() < 8) return;
    PortalRecord portal;
    ReadPosition(line, 2, &portal.x, &portal.y);
    std::string text = line.substr(8);
    size_t blank = text.find(' ');
    portal.name = WithoutBlanks(text.substr(0, blank));
    if (blank != std::string::npos) portal.label = WithoutBlanks(text.substr(blank + 1));
    AddPortal(portal);
  } else if (line.compare(0, 2, "]t") == 0) {
    if (line.size() < 6) return;
    int x, y;
    ReadPosition(line, 2, &x, &y);
    RemovePortal(x, y);
  } else if (line.compare(0, 2, "]q") == 0) {
    if (line.size() >= 6) HandleDreamLine(line);
  }
}

void HandleWorldLine(const std::string& line) {
  int x, y;
  switch (line[0]) {
    case '(':
    case '[':
      if (line.size() >= 2) PushMessage(StripControlChars(line.substr(1)));
      break;
    case ')':
      if (line.size() < 5) break;
      ReadPosition(line, 1, &x, &y);
      RemoveAvatar(x, y);
      break;
    case '/':
      if (line.size() >= 21) HandleAvatarLine(line, true);
      break;
    case '<':
      if (line.size() >= 17) HandleAvatarLine(line, false);
      break;
    case '1':
      if (line.size() < 7) break;
      ReadPosition(line, 1, &x, &y);
      if (s_effects.setMapFloor) s_effects.setMapFloor(x, y, DecodeBase95(line.substr(5, 2)));
      if (s_effects.markFloorDirtyNear) s_effects.markFloorDirtyNear(x, y);
      break;
    case '>':
      if (line.size() < 7) break;
      ReadPosition(line, 1, &x, &y);
      if (s_effects.setMapObject) s_effects.setMapObject(x, y, DecodeBase95(line.substr(5, 2)));
      break;
    case ';':
      if (line.size() < 6) break;
      if (!IsInstallationPath(line.substr(1))) {
        RefusePath("a map path", line.substr(1));
        break;
      }
      ClearAvatars();
      ClearPortals();
      if (s_effects.loadMap) s_effects.loadMap(line.substr(1));
      if (s_effects.loadPatchFloors) s_effects.loadPatchFloors("patches\\default\\");
      break;
    case '@':
      if (line.size() < 5) break;
      ReadPosition(line, 1, &x, &y);
      SetViewPosition(x, y);
      break;
    case ']':
      HandleBracketLine(line);
      break;
    default:
      break;
  }
}

}  // namespace

void HandleServerLine(const std::string& line) {
  // The first batch is the greeting: shown whole, and every line of it that
  // holds "END" asks to log in.
  if (s_greeting) {
    PushMessage(line);
    if (line.find("END") != std::string::npos) {
      const PlayerInfo& player = GetPlayerInfo();
      SendLine("connect " + player.Name + " " + player.Password);
    }
    return;
  }
  if (!s_loggedIn) {
    if (line.find("&&&&&&&&&&&&&") != std::string::npos) {
      const PlayerInfo& player = GetPlayerInfo();
      SendLine("desc " + player.Desc);
      SendLine("color " + player.Colors + EncodeBase95(player.Spec1, false) + EncodeBase95(player.Spec2, false) +
               " ");
      s_loggedIn = true;
    }
    return;
  }
  if (line == "Nope." || line == "Invalid Name or password.") {
    PushMessage("Server reported error while trying to log in.");
    return;
  }
  if (!line.empty()) HandleWorldLine(line);
}

void TakeServerBytes(const char* data, size_t length) {
  const char* end = data + length;
  if (s_droppingLine) {
    const char* feed = std::find(data, end, '\n');
    if (feed == end) return;
    s_droppingLine = false;
    data = feed + 1;
  }
  ServerLineBuffer.insert(ServerLineBuffer.end(), data, end);
  for (;;) {
    auto feed = std::find(ServerLineBuffer.begin(), ServerLineBuffer.end(), '\n');
    if (feed == ServerLineBuffer.end()) break;
    size_t size = static_cast<size_t>(feed - ServerLineBuffer.begin());
    if (size > kMaxServerLineBytes) {
      ErrorLog << "Dropped an over-long line from the game server (" << static_cast<int>(size) << " bytes).\n";
      ServerLineBuffer.erase(ServerLineBuffer.begin(), feed + 1);
      continue;
    }
    // A carriage return before the line feed stays part of the line.
    std::string line(ServerLineBuffer.begin(), feed);
    ServerLineBuffer.erase(ServerLineBuffer.begin(), feed + 1);
    HandleServerLine(line);
  }
  if (ServerLineBuffer.size() > kMaxServerLineBytes) {
    ErrorLog << "Dropped an over-long line from the game server (more than "
             << static_cast<int>(kMaxServerLineBytes) << " bytes without a line feed).\n";
    ServerLineBuffer.clear();
    s_droppingLine = true;
  }
}

void PollGameServer() {
  if (!s_connection) return;
  if (s_connection->PendingBytes() > 0) {
    std::vector<char> bytes;
    if (s_connection->ReceiveData(bytes)) TakeServerBytes(bytes.data(), bytes.size());
    // Whatever arrived first was the greeting, whole lines or not.
    s_greeting = false;
  }
  if (s_loggedIn && !s_connection->IsConnected()) {
    s_loggedIn = false;
    PushMessage("(Lost Connection to game server)");
  }
}
