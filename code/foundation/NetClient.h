// TCP client connection: WinSock start-up paired with each network object's
// life, process-wide traffic totals, and NetClient, which collects incoming
// bytes on a receive thread of its own until its user takes them all.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "CriticalSection.h"

class CThread;

// WinSock's SOCKET, without winsock2.h in this header.
typedef uintptr_t NetSocket;
constexpr NetSocket kInvalidSocket = ~static_cast<NetSocket>(0);

// Serialises every socket call of every connection and of the server.
// Always taken before a connection's own lock.
extern CriticalSection g_networkLock;

class NetworkBase {
 public:
  NetworkBase();
  virtual ~NetworkBase();

  bool IsWinSockReady() const { return winSockReady_; }

  static void AddBytesSent(uint32_t count);
  static void AddBytesReceived(uint32_t count);
  // Totals since the first of the network objects now alive was made.
  static uint32_t BytesSent();
  static uint32_t BytesReceived();
  static int InstanceCount();

 private:
  NetworkBase(const NetworkBase&) = delete;
  NetworkBase& operator=(const NetworkBase&) = delete;

  bool winSockReady_;
};

class NetClient : public NetworkBase {
 public:
  // Outgoing connection: socket and receive thread, not yet connected.
  NetClient();
  // Takes over a socket accepted by a server: connected at once.
  explicit NetClient(NetSocket acceptedSocket);
  ~NetClient() override;

  // Resolves the host and connects, holding the network lock throughout:
  // every other connection's socket calls wait until it returns.
  bool Connect(const std::string& host, int port);

  // The same connection made without blocking, for callers that must not
  // hold up the others: StartConnect resolves the host as Connect does and
  // begins the connect; PollConnect, called until it answers something other
  // than kConnectPending, looks at it once. Each call holds the network lock
  // only for its own socket calls. GiveUpConnect ends a pending connect as
  // failed, logged as any failed connect, and closes the socket. The texts
  // logged are Connect's.
  enum ConnectProgress { kConnectPending, kConnectDone, kConnectFailed };
  bool StartConnect(const std::string& host, int port);  // false: failed at once
  ConnectProgress PollConnect();
  void GiveUpConnect();
  bool SendData(const char* data, int length);
  // Replaces out with every byte received and not yet taken. Bytes that
  // arrived before the connection was lost are still handed over.
  bool ReceiveData(std::vector<char>& out);
  // Bytes waiting to be taken; 0 when not initialised.
  int PendingBytes();
  bool IsConnected() const { return connected_.load(); }
  // Shuts the connection down; the socket stays open until destruction.
  void Disconnect();

  static void ThreadProcedure(CThread* thread, void* parameter);

 private:
  // One pass over the socket: drains everything readable. False when the
  // thread must end (the poll itself failed).
  bool PollOnce();
  // Steps Connect and StartConnect share: the misuse checks (false, and
  // logged, when no connect may start), and a connect that succeeded (under
  // both locks).
  bool MayConnect();
  void ConnectSucceeded(const std::string& host, int port);

  std::atomic<bool> initialised_;
  std::atomic<bool> connected_;
  NetSocket socket_;
  CriticalSection clientLock_;
  std::vector<char> receiveBuffer_;
  CThread* thread_;
  // The connect StartConnect began and PollConnect has not yet ended.
  bool connecting_;
  std::string connectHost_;
  int connectPort_;
};

// The allocation name under which the server hands out accepted clients.
namespace NET {
typedef NetClient Client;
}

// Zero-timeout select on one socket. selectFailed, when given, tells whether
// select itself failed.
bool IsSocketReadable(NetSocket socket, bool* selectFailed);
// For the client and the server, under the network lock: a new TCP socket
// (through the creation seam below), kInvalidSocket and "Failed to create
// socket." in the error log when none is made; and the socket shut down both
// ways, closed and left invalid (nothing for an invalid one).
NetSocket OpenTcpSocket();
void CloseTcpSocket(NetSocket& socket);
// Digits, dots and spaces only, with exactly three dots.
bool IsDottedAddress(const std::string& text);
// Four dot-separated decimal parts, each cut to its low 8 bits, first first.
void ParseDottedAddress(const std::string& text, unsigned char address[4]);
// The statistics-log text written when the last network object goes away.
std::string TrafficReportText(uint32_t bytesSent, uint32_t bytesReceived);

// Seams for failures a healthy machine does not show: tests replace the
// WinSock start-up (returns 0 on success) and the socket creation of clients
// and servers (returns kInvalidSocket on failure). Null restores the real
// calls.
typedef int (*WinSockStartupCall)();
typedef NetSocket (*SocketCreateCall)();
void SetNetworkSeams(WinSockStartupCall startup, SocketCreateCall create);
