// Shared pieces of the game-server and store tests: a scripted connection and
// a recording set of world effects.
#pragma once
#include <string>
#include <vector>

#include "game/service/GameProtocol.h"

// Hands over one scripted batch per poll and records what is sent.
class ScriptedConnection : public ServerConnection {
 public:
  bool connected = true;
  bool failSends = false;
  std::vector<std::string> batches;
  std::string sent;

  bool IsConnected() override { return connected; }
  int PendingBytes() override { return batches.empty() ? 0 : static_cast<int>(batches.front().size()); }
  bool ReceiveData(std::vector<char>& out) override;
  bool SendData(const char* data, int length) override;
};

// Effects that note every call in EffectLog(); deskew adds (1000, 2000) and
// reskew takes it off again, so a test sees which positions were transformed.
// Map loads and extractions answer as EffectResults() says.
WorldEffects RecordingEffects();
std::vector<std::string>& EffectLog();
struct ScriptedResults {
  bool loadMap = true;
  bool extractDream = true;
};
ScriptedResults& EffectResults();

// Every status line waiting in the queue, which is left empty.
std::vector<std::string> DrainMessages();

// The protocol and the store as at program start, no effects recorded, map
// loads and extractions succeeding, and Bob's player file loaded (password
// "secret", description "A tall fox", colours "#$%&'()*+,", Spec values 3
// and 5).
void ResetServiceState();
