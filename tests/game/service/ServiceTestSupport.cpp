#include "ServiceTestSupport.h"

#include "game/service/VantDataManager.h"

bool ScriptedConnection::ReceiveData(std::vector<char>& out) {
  if (batches.empty()) return false;
  out.assign(batches.front().begin(), batches.front().end());
  batches.erase(batches.begin());
  return true;
}

bool ScriptedConnection::SendData(const char* data, int length) {
  if (failSends) return false;
  sent.append(data, static_cast<size_t>(length));
  return true;
}

std::vector<std::string>& EffectLog() {
  static std::vector<std::string> log;
  return log;
}

ScriptedResults& EffectResults() {
  static ScriptedResults results;
  return results;
}

namespace {
std::string Numbers(int a, int b) { return std::to_string(a) + " " + std::to_string(b); }
}  // namespace

WorldEffects RecordingEffects() {
  WorldEffects e = {};
  e.deskew = [](int fx, int fy, int* gx, int* gy) {
    *gx = fx + 1000;
    *gy = fy + 2000;
  };
  e.reskew = [](int gx, int gy, int* fx, int* fy) {
    *fx = gx - 1000;
    *fy = gy - 2000;
  };
  e.setMapFloor = [](int x, int y, int floor) {
    EffectLog().push_back("floor " + Numbers(x, y) + " " + std::to_string(floor));
  };
  e.setMapObject = [](int x, int y, int object) {
    EffectLog().push_back("object " + Numbers(x, y) + " " + std::to_string(object));
  };
  e.loadMap = [](const std::string& path) {
    EffectLog().push_back("map " + path);
    return EffectResults().loadMap;
  };
  e.loadPatchFloors = [](const std::string& folder) { EffectLog().push_back("floors " + folder); };
  e.loadPcxPalette = [](const std::string& path) { EffectLog().push_back("palette " + path); };
  e.markFloorDirtyNear = [](int x, int y) { EffectLog().push_back("dirty " + Numbers(x, y)); };
  e.extractDream = [](const std::string& path) {
    EffectLog().push_back("extract " + path);
    return EffectResults().extractDream;
  };
  return e;
}

std::vector<std::string> DrainMessages() {
  std::vector<std::string> lines;
  std::string line;
  while (PopMessage(line)) lines.push_back(line);
  return lines;
}

void ResetServiceState() {
  ResetGameProtocol();
  ClearAvatars();
  ClearPortals();
  DrainMessages();
  SetViewPosition(0, 0);
  EffectLog().clear();
  EffectResults() = ScriptedResults();
  PlayerInfo& player = GetPlayerInfo();
  player = PlayerInfo();
  player.Name = "Bob";
  player.Password = "secret";
  player.Desc = "A tall fox";
  player.Colors = "#$%&'()*+,";
  player.Spec1 = 3;
  player.Spec2 = 5;
}
