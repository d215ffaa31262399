// NetServer against real sockets on 127.0.0.1: plain sockets of the test's
// own connect to it, and the clients it hands out talk back to them.
#include <gtest/gtest.h>

#include "NetTestPeer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "foundation/CMemMan.h"
#include "foundation/NetServer.h"

namespace {

std::string Text(const std::vector<char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string TakeAll(NetClient& client, size_t count) {
  std::string received;
  WaitUntil([&] {
    std::vector<char> out;
    if (client.PendingBytes() > 0 && client.ReceiveData(out)) received += Text(out);
    return received.size() >= count;
  });
  return received;
}

class ListeningServer : public testing::Test {
 protected:
  void SetUp() override {
    port_ = UnusedPort();
    ASSERT_TRUE(server_.Listen(port_));
    EXPECT_TRUE(server_.IsListening());
  }

  // A peer connected and already queued by the server.
  TestPeer ConnectQueued() {
    int before = server_.PendingClientCount();
    TestPeer peer = TestPeer::ConnectTo(port_);
    EXPECT_TRUE(peer.Valid());
    EXPECT_TRUE(WaitUntil([&] { return server_.PendingClientCount() == before + 1; }));
    return peer;
  }

  WinSockUser winSock_;
  int port_ = 0;
  NetServer server_;
};

TEST_F(ListeningServer, ManyClientsComeOutInTheOrderTheyWereAccepted) {
  LogTail errors;
  EXPECT_EQ(server_.PopClient(), nullptr);
  const int kClients = 12;
  std::vector<TestPeer> peers(kClients);
  std::vector<NET::Client*> popped;
  std::atomic<int> poppedCount{0};
  // Peers connect one after another, each once the one before is accepted,
  // while this thread keeps taking clients from the queue the accept thread
  // fills.
  std::thread connector([&] {
    for (int i = 0; i < kClients; ++i) {
      peers[i] = TestPeer::ConnectTo(port_);
      peers[i].Send("peer " + std::to_string(i) + "\n");
      WaitUntil([&] { return poppedCount.load() + server_.PendingClientCount() >= i + 1; });
    }
  });
  WaitUntil([&] {
    while (NET::Client* client = server_.PopClient()) {
      popped.push_back(client);
      ++poppedCount;
    }
    return poppedCount.load() == kClients;
  });
  connector.join();
  ASSERT_EQ(popped.size(), static_cast<size_t>(kClients));
  for (int i = 0; i < kClients; ++i) {
    NET::Client* client = popped[i];
    EXPECT_TRUE(client->IsConnected());
    std::string expected = "peer " + std::to_string(i) + "\n";
    EXPECT_EQ(TakeAll(*client, expected.size()), expected);
    std::string reply = "hello " + std::to_string(i) + "\n";
    ASSERT_TRUE(client->SendData(reply.data(), static_cast<int>(reply.size())));
    EXPECT_EQ(peers[i].Receive(reply.size()), reply);
    delete2(client);
    EXPECT_TRUE(peers[i].SeesClose());
  }
  EXPECT_EQ(server_.PopClient(), nullptr);
  EXPECT_EQ(server_.PendingClientCount(), 0);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(ListeningServer, ClientsPoppedByTwoThreadsWhileOthersConnectComeOutOnceEach) {
  LogTail errors;
  const int kConnectors = 4, kEach = 10, kClients = kConnectors * kEach, kPoppers = 2;
  std::vector<TestPeer> peers(kClients);
  std::vector<std::vector<NET::Client*>> popped(kPoppers);
  std::atomic<int> poppedCount{0};
  std::vector<std::thread> threads;
  // Peers connect from several threads at once, without waiting to be
  // accepted; two threads take clients as fast as they come, so the queue
  // is filled and emptied from three threads at the same time.
  for (int c = 0; c < kConnectors; ++c) {
    threads.emplace_back([&, c] {
      for (int k = 0; k < kEach; ++k) {
        int id = c * kEach + k;
        peers[id] = TestPeer::ConnectTo(port_);
        char hello[16];
        std::snprintf(hello, sizeof hello, "peer %02d\n", id);
        peers[id].Send(hello);
      }
    });
  }
  for (int p = 0; p < kPoppers; ++p) {
    threads.emplace_back([&, p] {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (poppedCount.load() < kClients && std::chrono::steady_clock::now() < deadline) {
        if (NET::Client* client = server_.PopClient()) {
          popped[p].push_back(client);
          ++poppedCount;
        } else {
          std::this_thread::yield();
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(poppedCount.load(), kClients);
  std::set<NET::Client*> distinct;
  std::vector<int> timesSeen(kClients, 0);
  for (const std::vector<NET::Client*>& clients : popped) {
    for (NET::Client* client : clients) {
      EXPECT_TRUE(distinct.insert(client).second) << "a client came out twice";
      std::string hello = TakeAll(*client, 8);
      int id = -1;
      if (std::sscanf(hello.c_str(), "peer %d", &id) == 1 && id >= 0 && id < kClients)
        ++timesSeen[id];
      else
        ADD_FAILURE() << hello;
    }
  }
  for (int id = 0; id < kClients; ++id) EXPECT_EQ(timesSeen[id], 1) << "peer " << id;
  EXPECT_EQ(server_.PopClient(), nullptr);
  EXPECT_EQ(server_.PendingClientCount(), 0);
  for (NET::Client* client : distinct) delete2(client);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(ListeningServer, AcceptedClientSurvivesAFullSendBuffer) {
  TestPeer peer = ConnectQueued();
  NET::Client* client = server_.PopClient();
  ASSERT_NE(client, nullptr);
  // Far more than the socket buffers hold while the peer is not reading yet:
  // the send has to wait for the peer instead of failing.
  std::string data(16 << 20, 'q');
  std::string received;
  std::thread reader([&] {
    Sleep(100);
    received = peer.Receive(data.size(), 20000);
  });
  EXPECT_TRUE(client->SendData(data.data(), static_cast<int>(data.size())));
  reader.join();
  EXPECT_TRUE(client->IsConnected());
  EXPECT_EQ(received.size(), data.size());
  delete2(client);
}

TEST_F(ListeningServer, SecondListenFails) {
  LogTail errors;
  EXPECT_FALSE(server_.Listen(port_));
  EXPECT_TRUE(server_.IsListening());
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Attempt to make server listen, when it's already listening.\n"
            "  -attempt made from:\n\n");
}

TEST_F(ListeningServer, StoppingFreesTheClientsStillQueued) {
  int records = g_memMan.LiveRecordCount();
  std::vector<TestPeer> peers;
  for (int i = 0; i < 3; ++i) peers.push_back(ConnectQueued());
  // Each client, its thread and the thread's start record.
  EXPECT_EQ(g_memMan.LiveRecordCount(), records + 3 * 3);
  server_.StopListening();
  EXPECT_FALSE(server_.IsListening());
  EXPECT_EQ(server_.PendingClientCount(), 0);
  EXPECT_EQ(server_.PopClient(), nullptr);
  EXPECT_EQ(g_memMan.LiveRecordCount(), records);
  for (TestPeer& peer : peers) EXPECT_TRUE(peer.SeesClose());
}

TEST_F(ListeningServer, StoppedServerRefusesConnectionsUntilItListensAgain) {
  LogTail errors;
  server_.StopListening();
  // Not half-open: nothing completes a connection that nobody would take.
  EXPECT_FALSE(TestPeer::ConnectTo(port_).Valid());
  ASSERT_TRUE(server_.Listen(port_));
  TestPeer peer = ConnectQueued();
  EXPECT_EQ(server_.PendingClientCount(), 1);
  EXPECT_EQ(errors.Text(), "");
}

TEST(NetServer, DestructionFreesTheClientsStillQueued) {
  WinSockUser winSock;
  int records = g_memMan.LiveRecordCount();
  int port = UnusedPort();
  std::vector<TestPeer> peers;
  {
    NetServer server;
    ASSERT_TRUE(server.Listen(port));
    for (int i = 0; i < 2; ++i) {
      peers.push_back(TestPeer::ConnectTo(port));
      ASSERT_TRUE(WaitUntil([&] { return server.PendingClientCount() == i + 1; }));
    }
  }
  EXPECT_EQ(g_memMan.LiveRecordCount(), records);
  for (TestPeer& peer : peers) EXPECT_TRUE(peer.SeesClose());
}

TEST(NetServer, ListenOnAPortInUseLogsTheBindFailure) {
  WinSockUser winSock;
  // Held by a socket bound to every address, as the server's would be.
  SOCKET holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(holder, 4), 0);
  int length = sizeof address;
  getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
  int port = ntohs(address.sin_port);

  LogTail errors;
  NetServer server;
  // The port counts as 16 bits, as in the text. The listen that follows
  // decides: on a socket left unbound it fails.
  EXPECT_FALSE(server.Listen(port + 65536));
  EXPECT_FALSE(server.IsListening());
  EXPECT_EQ(errors.Text(), "Failed to bind server socket to port " + std::to_string(port) +
                               "\nServer socket refused to listen.");
  closesocket(holder);
}

int FailingStartup() { return 10091; }  // WSASYSNOTREADY

TEST_F(ListeningServer, ClientThatCannotStartIsRejectedAndItsSocketClosed) {
  LogTail errors;
  SetNetworkSeams(FailingStartup, nullptr);
  TestPeer peer = TestPeer::ConnectTo(port_);
  bool logged = WaitUntil([&] { return errors.Text().find("rejected") != std::string::npos; });
  SetNetworkSeams(nullptr, nullptr);
  ASSERT_TRUE(logged);
  EXPECT_EQ(errors.Text(),
            "Failed to init WinSock library.\n"
            "Net::Client rejected socket from a connection to server... ignoring connection attempt.\n");
  EXPECT_EQ(server_.PendingClientCount(), 0);
  EXPECT_TRUE(peer.SeesClose());
}

TEST(NetServer, UninitialisedServerRefusesToListen) {
  WinSockUser winSock;
  LogTail errors;
  SetNetworkSeams(FailingStartup, nullptr);
  {
    NetServer server;
    SetNetworkSeams(nullptr, nullptr);
    EXPECT_FALSE(server.Listen(UnusedPort()));
    EXPECT_FALSE(server.IsListening());
    EXPECT_EQ(server.PopClient(), nullptr);
    server.StopListening();
  }
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Failed to init WinSock library.\n"
            "Error: Attempt to call net server Listen when not Init'd.\n"
            "  -attempt made from:\n\n");
}

}  // namespace
