// Hands the protocol its real connection: a NetClient behind the protocol's
// ServerConnection view.
#include "game/service/GameProtocol.h"

#include "foundation/NetClient.h"

namespace {

class NetClientConnection : public ServerConnection {
 public:
  NetClient* client = nullptr;

  bool IsConnected() override { return client->IsConnected(); }
  int PendingBytes() override { return client->PendingBytes(); }
  bool ReceiveData(std::vector<char>& out) override { return client->ReceiveData(out); }
  bool SendData(const char* data, int length) override { return client->SendData(data, length); }
};

NetClientConnection s_gameConnection;

}  // namespace

void SetNetClient(NetClient* client) {
  s_gameConnection.client = client;
  SetServerConnection(client ? &s_gameConnection : nullptr);
}
