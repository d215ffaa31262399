// NetClient against real sockets on 127.0.0.1: a listening socket of the
// test's own plays the server and scripts what arrives and when it closes.
#include <gtest/gtest.h>

#include "NetTestPeer.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "foundation/CMemMan.h"
#include "foundation/NetClient.h"
#include "foundation/StartupOrder.h"

namespace {

std::string Text(const std::vector<char>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string PortText(int port) { return std::to_string(port); }

// A client connected to a listener of the test's own, and the server's end.
class ConnectedClient : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connect("127.0.0.1", listener_.Port()));
    peer_ = listener_.Accept();
    ASSERT_TRUE(peer_.Valid());
  }

  // Waits until the client holds the given number of bytes.
  bool WaitForPending(int count) {
    return WaitUntil([&] { return client_.PendingBytes() == count; });
  }

  WinSockUser winSock_;
  TestListener listener_;
  NetClient client_;
  TestPeer peer_;
};

TEST(NetClient, ConnectLogsTheHostAndStartsEmpty) {
  WinSockUser winSock;
  TestListener listener;
  LogTail netLog("_netlog.txt");
  LogTail errors;
  NetClient client;
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.PendingBytes(), 0);
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
  EXPECT_TRUE(client.IsConnected());
  EXPECT_EQ(netLog.Text(), "\nConnected to host \"127.0.0.1\" port " + PortText(listener.Port()) + "\n\n");
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(ConnectedClient, ChunksComeOutWholeAndAreLoggedWithOneLineEnd) {
  LogTail netLog("_netlog.txt");
  std::vector<char> out;
  EXPECT_FALSE(client_.ReceiveData(out));  // nothing yet, and no complaint

  ASSERT_TRUE(peer_.Send("hello\n"));
  ASSERT_TRUE(WaitForPending(6));
  ASSERT_TRUE(client_.ReceiveData(out));
  EXPECT_EQ(Text(out), "hello\n");
  EXPECT_EQ(client_.PendingBytes(), 0);

  // Two chunks between two takes come out as one block; a block without a
  // final line end gets one in the log only.
  ASSERT_TRUE(peer_.Send("ab"));
  ASSERT_TRUE(WaitForPending(2));
  ASSERT_TRUE(peer_.Send("cd"));
  ASSERT_TRUE(WaitForPending(4));
  ASSERT_TRUE(client_.ReceiveData(out));
  EXPECT_EQ(Text(out), "abcd");

  // Zero bytes reach the user but not the log.
  ASSERT_TRUE(peer_.Send(std::string("x\0y\n", 4)));
  ASSERT_TRUE(WaitForPending(4));
  ASSERT_TRUE(client_.ReceiveData(out));
  EXPECT_EQ(Text(out), std::string("x\0y\n", 4));

  EXPECT_EQ(netLog.Text(), "hello\nabcd\nxy\n");
}

TEST_F(ConnectedClient, LargeTransferArrivesCompleteAndInOrder) {
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);
  ASSERT_TRUE(peer_.Send(data));
  std::string received;
  ASSERT_TRUE(WaitUntil([&] {
    std::vector<char> out;
    if (client_.PendingBytes() > 0 && client_.ReceiveData(out)) received += Text(out);
    return received.size() >= data.size();
  }));
  EXPECT_EQ(received, data);
}

TEST_F(ConnectedClient, SentDataReachesThePeerAndLoginLinesAreMasked) {
  struct Case {
    std::string bytes;
    int length;  // sent length (may stop short of the bytes)
    std::string logged;
  };
  const std::string connectMask = "{SENT TO SERVER}connect (NAME/PASS REMOVED FOR SECURITY)\n";
  const std::string rcMask = "{SENT TO SERVER}RC (NAME/PASS REMOVED FOR SECURITY)\n";
  const std::vector<Case> cases = {
      {"connect Bob secret\n", 19, connectMask},
      {"conne", 5, connectMask},  // only as many bytes as were sent are compared
      {"connection\n", 11, "{SENT TO SERVER}connection\n"},
      {"RC Bob secret dream 0 2 4096\n", 29, rcMask},
      {"RC x", 4, rcMask},
      {"RC ", 3, "{SENT TO SERVER}RC "},  // too short to carry a login
      {"\"hello\n\n", 8, "{SENT TO SERVER}\"hello\n\n"},
      {std::string("ab\0cd", 5), 5, "{SENT TO SERVER}ab"},
      // The log never reads past the length, whatever follows in memory.
      {"m 9\nmore text that was not sent", 4, "{SENT TO SERVER}m 9\n"},
  };
  std::string wire;
  for (const Case& c : cases) {
    LogTail netLog("_netlog.txt");
    ASSERT_TRUE(client_.SendData(c.bytes.data(), c.length)) << c.logged;
    EXPECT_EQ(netLog.Text(), c.logged);
    wire += c.bytes.substr(0, c.length);
  }
  EXPECT_EQ(peer_.Receive(wire.size()), wire);
  EXPECT_EQ(NetworkBase::BytesSent(), 19u + 5 + 11 + 29 + 4 + 3 + 8 + 5 + 4);
}

TEST_F(ConnectedClient, EmptySendFailsQuietly) {
  LogTail netLog("_netlog.txt");
  LogTail errors;
  EXPECT_FALSE(client_.SendData("abc", 0));
  EXPECT_FALSE(client_.SendData("abc", -1));
  EXPECT_FALSE(client_.SendData(nullptr, 3));
  EXPECT_TRUE(client_.IsConnected());
  EXPECT_EQ(netLog.Text(), "");
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(ConnectedClient, BytesThatArriveWithThePeersCloseAreStillHandedOver) {
  LogTail errors;
  ASSERT_TRUE(peer_.Send("last words\n"));
  peer_.Close();
  ASSERT_TRUE(WaitUntil([&] { return !client_.IsConnected(); }));

  // The loss is visible, and the bytes are still there to take.
  EXPECT_EQ(client_.PendingBytes(), 11);
  std::vector<char> out;
  ASSERT_TRUE(client_.ReceiveData(out));
  EXPECT_EQ(Text(out), "last words\n");
  EXPECT_EQ(errors.Text(), "");

  // Once they are taken, receiving and sending are misuse.
  EXPECT_EQ(client_.PendingBytes(), 0);
  out.assign({'k', 'e', 'e', 'p'});
  EXPECT_FALSE(client_.ReceiveData(out));
  EXPECT_EQ(Text(out), "keep");
  EXPECT_FALSE(client_.SendData("x\n", 2));
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Attempt to receive data from server when not connected.\n"
            "  -attempt made from:\n\n"
            "Error: Attempt to send data to server when not connected.\n"
            "  -attempt made from:\n\n");
}

TEST_F(ConnectedClient, SecondConnectFailsAndLeavesTheConnectionIntact) {
  LogTail errors;
  EXPECT_FALSE(client_.Connect("127.0.0.1", listener_.Port()));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Attempt to connect to remove server when already connected.\n"
            "  -attempt made from:\n\n");
  EXPECT_TRUE(client_.IsConnected());
  ASSERT_TRUE(client_.SendData("still here\n", 11));
  EXPECT_EQ(peer_.Receive(11), "still here\n");
}

TEST_F(ConnectedClient, DisconnectShutsTheConnectionDown) {
  LogTail errors;
  client_.Disconnect();
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_TRUE(peer_.SeesClose());
  client_.Disconnect();  // a second time: nothing
  EXPECT_EQ(errors.Text(), "");
}

TEST(NetClient, RefusedPortIsReportedWithTheErrorOfTheFailedConnect) {
  WinSockUser winSock;
  int port = UnusedPort();
  LogTail errors;
  LogTail netLog("_netlog.txt");
  NetClient client;
  EXPECT_FALSE(client.Connect("127.0.0.1", port));
  EXPECT_FALSE(client.IsConnected());
  // The refusal text needs the connect's own error code, which the log
  // writes before it would otherwise have overwritten.
  EXPECT_EQ(errors.Text(), "Failed to connect to host \"127.0.0.1\" port " + PortText(port) +
                               "\n  -connection refused by server\n");
  EXPECT_EQ(netLog.Text(), "\nFailed to connect to host \"127.0.0.1\" port " + PortText(port) + "\n\n");
}

TEST(NetClient, UnknownHostIsReported) {
  LogTail errors;
  LogTail netLog("_netlog.txt");
  NetClient client;
  EXPECT_FALSE(client.Connect("no-such-host.invalid", 6500));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(errors.Text(), "Unable to resolve host \"no-such-host.invalid\" port 6500\n");
  EXPECT_EQ(netLog.Text(), "");
}

TEST(NetClient, DottedHostsAreParsedNotResolved) {
  WinSockUser winSock;
  TestListener listener;
  // Blanks are skipped and each part keeps its low 8 bits: both name the
  // listener's address without a name lookup.
  for (const char* host : {" 127. 0 .0.1", "127.0.0.257"}) {
    NetClient client;
    EXPECT_TRUE(client.Connect(host, listener.Port())) << host;
    TestPeer peer = listener.Accept();
    EXPECT_TRUE(peer.Valid()) << host;
  }
}

// ---- Connects that do not block ----------------------------------------------------

// Polls a started connect until it ends, or the time is up (then pending).
NetClient::ConnectProgress AwaitConnect(NetClient& client, int milliseconds = 5000) {
  NetClient::ConnectProgress progress = NetClient::kConnectPending;
  WaitUntil([&] { return (progress = client.PollConnect()) != NetClient::kConnectPending; }, milliseconds);
  return progress;
}

TEST(NetClient, APolledConnectEndsConnectedAndTheConnectionBlocksAgain) {
  WinSockUser winSock;
  TestListener listener;
  LogTail netLog("_netlog.txt");
  LogTail errors;
  NetClient client;
  ASSERT_TRUE(client.StartConnect("127.0.0.1", listener.Port()));
  EXPECT_EQ(AwaitConnect(client), NetClient::kConnectDone);
  EXPECT_TRUE(client.IsConnected());
  EXPECT_EQ(client.PollConnect(), NetClient::kConnectDone);  // and stays so
  EXPECT_EQ(netLog.Text(), "\nConnected to host \"127.0.0.1\" port " + PortText(listener.Port()) + "\n\n");
  TestPeer peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());

  // More than the socket's buffers hold while the peer is slow to read: a
  // socket left non-blocking would fail the send half-way. (The zero byte
  // keeps the sent-data log to one character.)
  std::string data(16 << 20, '\0');
  for (size_t i = 2; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 19);
  std::string received;
  std::thread reader([&] {
    Sleep(200);
    received = peer.Receive(data.size(), 20000);
  });
  EXPECT_TRUE(client.SendData(data.data(), static_cast<int>(data.size())));
  reader.join();
  EXPECT_TRUE(received == data) << received.size() << " of " << data.size() << " bytes arrived";
  EXPECT_TRUE(client.IsConnected());

  ASSERT_TRUE(peer.Send("back\n"));
  ASSERT_TRUE(WaitUntil([&] { return client.PendingBytes() == 5; }));
  std::vector<char> out;
  ASSERT_TRUE(client.ReceiveData(out));
  EXPECT_EQ(Text(out), "back\n");
  EXPECT_EQ(errors.Text(), "");
}

TEST(NetClient, APolledConnectFailsWithConnectsTexts) {
  WinSockUser winSock;
  const int port = UnusedPort();
  {
    LogTail errors;
    LogTail netLog("_netlog.txt");
    NetClient client;
    // Refused at once or on a later poll: the same texts either way.
    const NetClient::ConnectProgress progress =
        client.StartConnect("127.0.0.1", port) ? AwaitConnect(client) : NetClient::kConnectFailed;
    EXPECT_EQ(progress, NetClient::kConnectFailed);
    EXPECT_EQ(client.PollConnect(), NetClient::kConnectFailed);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(errors.Text(),
              "Failed to connect to host \"127.0.0.1\" port " + PortText(port) + "\n  -connection refused by server\n");
    EXPECT_EQ(netLog.Text(), "\nFailed to connect to host \"127.0.0.1\" port " + PortText(port) + "\n\n");
  }
  {
    LogTail errors;
    LogTail netLog("_netlog.txt");
    NetClient client;
    EXPECT_FALSE(client.StartConnect("no-such-host.invalid", 6500));
    EXPECT_EQ(client.PollConnect(), NetClient::kConnectFailed);
    EXPECT_EQ(errors.Text(), "Unable to resolve host \"no-such-host.invalid\" port 6500\n");
    EXPECT_EQ(netLog.Text(), "");
  }
}

// While a connect waits for a server that never answers, the network lock
// is free between polls: another connection sends and receives meanwhile.
// Given up, it fails as a connect does when the system's limit passes.
TEST(NetClient, APendingConnectHoldsUpNoOtherConnectionAndCanBeGivenUp) {
  WinSockUser winSock;
  UnansweredListener unanswered;
  ASSERT_TRUE(unanswered.Pending()) << "the listener's queue did not fill";
  TestListener listener;
  NetClient other;
  ASSERT_TRUE(other.Connect("127.0.0.1", listener.Port()));
  TestPeer peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());

  LogTail errors;
  NetClient waiting;
  ASSERT_TRUE(waiting.StartConnect("127.0.0.1", unanswered.Port()));
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(waiting.PollConnect(), NetClient::kConnectPending);
    const std::string line = "ping " + std::to_string(round) + "\n";
    ASSERT_TRUE(other.SendData(line.data(), static_cast<int>(line.size())));
    EXPECT_EQ(peer.Receive(line.size()), line);
    ASSERT_TRUE(peer.Send("pong\n"));
    ASSERT_TRUE(WaitUntil([&] { return other.PendingBytes() == 5; }));
    std::vector<char> out;
    ASSERT_TRUE(other.ReceiveData(out));
    EXPECT_EQ(Text(out), "pong\n");
  }
  EXPECT_EQ(waiting.PollConnect(), NetClient::kConnectPending);
  EXPECT_FALSE(waiting.IsConnected());
  // A connect under way counts as made.
  EXPECT_FALSE(waiting.StartConnect("127.0.0.1", listener.Port()));
  EXPECT_FALSE(waiting.Connect("127.0.0.1", listener.Port()));
  const std::string misuse =
      "Error: Attempt to connect to remove server when already connected.\n  -attempt made from:\n\n";
  EXPECT_EQ(MaskCallStacks(errors.Text()), misuse + misuse);

  LogTail givenUp;
  LogTail netLog("_netlog.txt");
  waiting.GiveUpConnect();
  EXPECT_EQ(waiting.PollConnect(), NetClient::kConnectFailed);
  EXPECT_FALSE(waiting.IsConnected());
  EXPECT_EQ(givenUp.Text(), "Failed to connect to host \"127.0.0.1\" port " + PortText(unanswered.Port()) + "\n");
  EXPECT_EQ(netLog.Text(), "\nFailed to connect to host \"127.0.0.1\" port " + PortText(unanswered.Port()) + "\n\n");
  waiting.GiveUpConnect();  // nothing pending: nothing happens
  EXPECT_EQ(givenUp.Text(), "Failed to connect to host \"127.0.0.1\" port " + PortText(unanswered.Port()) + "\n");
  EXPECT_TRUE(other.IsConnected());
}

TEST(NetClient, DestroyingAWaitingClientReturnsPromptly) {
  auto* client = new2(NetClient, NetClient());
  Sleep(30);  // let the receive thread reach its wait
  auto start = std::chrono::steady_clock::now();
  delete2(client);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(waited.count(), 1000);
}

// The seams: failures a healthy machine does not show.
int FailingStartup() { return 10091; }  // WSASYSNOTREADY
NetSocket FailingSocketCreate() { return kInvalidSocket; }

class NetworkSeams {
 public:
  NetworkSeams(WinSockStartupCall startup, SocketCreateCall create) { SetNetworkSeams(startup, create); }
  ~NetworkSeams() { SetNetworkSeams(nullptr, nullptr); }
};

TEST(NetClient, UninitialisedClientRefusesEveryCall) {
  for (bool winSockFails : {true, false}) {
    LogTail errors;
    {
      NetworkSeams seams(winSockFails ? FailingStartup : nullptr, FailingSocketCreate);
      NetClient client;
      EXPECT_EQ(client.IsWinSockReady(), !winSockFails);
      EXPECT_FALSE(client.Connect("127.0.0.1", 1));
      EXPECT_FALSE(client.SendData("abc", 3));
      std::vector<char> out;
      EXPECT_FALSE(client.ReceiveData(out));
      EXPECT_EQ(client.PendingBytes(), 0);
      EXPECT_FALSE(client.IsConnected());
      client.Disconnect();
    }
    std::string first = winSockFails ? "Failed to init WinSock library.\n" : "Failed to create socket.\n";
    EXPECT_EQ(MaskCallStacks(errors.Text()),
              first +
                  "Error: Attempt to call net client Connect when not Init'd.\n  -attempt made from:\n\n"
                  "Error: Attempt to call NETCLIENT::SendData when not Init'd.\n  -attempt made from:\n\n"
                  "Error: Attempt to call NETCLIENT::ReceiveData when not Init'd.\n  -attempt made from:\n\n"
                  "Error: Attempt to call NETCLIENT::Disconnect when not Init'd.\n  -attempt made from:\n\n");
  }
}

TEST(NetClient, MisuseLinesNameTheCallSite) {
  NetworkSeams seams(nullptr, FailingSocketCreate);
  NetClient client;
  LogTail errors;
  client.Disconnect();
  std::string text = errors.Text();
  // The call-stack lines (unmasked) are those of the caller.
  EXPECT_EQ(text.rfind("Error: Attempt to call NETCLIENT::Disconnect when not Init'd.\n  -attempt made from:\n", 0),
            0u);
  EXPECT_NE(text.find("MisuseLinesNameTheCallSite"), std::string::npos) << text;
}

TEST(NetClient, NetworkLockIsBuiltBetweenTheSymbolHandlerAndTheNetworkLog) {
  int lock = -1, before = -1, after = -1;
  for (int i = 0; i < StartupEventCount(); ++i) {
    const StartupEvent& e = StartupEventAt(i);
    if (!e.built) continue;
    if (e.row == kRowNetworkLock) {
      EXPECT_STREQ(e.name, "g_networkLock");
      lock = i;
    }
    if (e.row == kRowSymbolHandler) before = i;
    if (e.row == kRowNetworkLog) after = i;
  }
  ASSERT_GE(lock, 0);
  EXPECT_LT(before, lock);
  EXPECT_GT(after, lock);
}

// The traffic report goes to the statistics log when the last network object
// goes away, and covers the span since the first of them was made.
TEST(NetworkBase, TrafficReportCountsRealTrafficOfOneSpan) {
  ASSERT_EQ(NetworkBase::InstanceCount(), 0);
  WinSockUser winSock;
  TestListener listener;
  {
    NetClient leftover;
    NetworkBase::AddBytesSent(5000);  // an earlier span: not reported below
  }
  LogTail stats("_stat.txt");
  {
    NetClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
    TestPeer peer = listener.Accept();
    ASSERT_TRUE(client.SendData("12345", 5));
    std::string incoming(150000, 'z');
    ASSERT_TRUE(peer.Send(incoming));
    ASSERT_TRUE(WaitUntil([&] { return client.PendingBytes() == 150000; }));
    EXPECT_EQ(NetworkBase::InstanceCount(), 1);
    EXPECT_EQ(stats.Text(), "");
  }
  EXPECT_EQ(stats.Text(), "Network connection:\n  -Total data sent: 5 bytes\n  -Total data received: 146KB\n\n");
}

TEST(NetworkBase, TrafficReportFormsAtTheirBoundaries) {
  struct Case {
    uint32_t total;
    std::string sent;      // after "  -Total data sent: "
    std::string received;  // after "  -Total data received: "
  };
  const std::vector<Case> cases = {
      {0, "0 bytes\n", "0 bytes\n\n"},
      {103423, "103423 bytes\n", "103423 bytes\n\n"},
      {103424, "101KB\n", "101KB\n\n"},
      {8388607, "8191KB\n", "8191KB\n\n"},
      {8388608, "8MB\n", "8MB\n\n"},
      {4294967295u, "4095MB\n", "4095MB\n\n"},
  };
  for (const Case& c : cases) {
    LogTail stats("_stat.txt");
    {
      NetClient client;
      NetworkBase::AddBytesSent(c.total);
      NetworkBase::AddBytesReceived(c.total);
    }
    EXPECT_EQ(stats.Text(),
              "Network connection:\n  -Total data sent: " + c.sent + "  -Total data received: " + c.received);
  }
}

}  // namespace
