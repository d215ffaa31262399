// NetClient and its WinSock base on WinSock 2.
#include "NetClient.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "CMemMan.h"
#include "CThread.h"
#include "LogFile.h"
#include "StartupOrder.h"

static_assert(sizeof(NetSocket) == sizeof(SOCKET), "NetSocket must hold a SOCKET");
static_assert(kInvalidSocket == INVALID_SOCKET, "kInvalidSocket must be INVALID_SOCKET");

QV_STARTUP_MARK(kRowNetworkLock, "g_networkLock");
CriticalSection g_networkLock QV_STARTUP(kRowNetworkLock);

namespace {

// Constant-initialised: valid before any constructor has run.
std::atomic<int> g_netInstanceCount{0};
std::atomic<uint32_t> g_netBytesSent{0};
std::atomic<uint32_t> g_netBytesReceived{0};

int RealWinSockStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

NetSocket RealSocketCreate() { return socket(AF_INET, SOCK_STREAM, 0); }

std::atomic<WinSockStartupCall> s_startupCall{RealWinSockStartup};
std::atomic<SocketCreateCall> s_socketCreateCall{RealSocketCreate};

// The call-site lines after a misuse message.
const char* const kAttemptMadeFrom = "  -attempt made from:\n";

// Writes what was sent to the network log. Login lines carry the player's
// password, so they are masked. The quirk of comparing only as many bytes as
// were sent (a lone "c" counts as a login line) is kept: it errs on the side
// of hiding.
void LogSentData(const char* data, int length) {
  int compared = length < 8 ? length : 8;
  if (std::memcmp(data, "connect ", compared) == 0) {
    NetworkLog << "{SENT TO SERVER}" << "connect (NAME/PASS REMOVED FOR SECURITY)\n";
  } else if (length >= 4 && std::memcmp(data, "RC ", 3) == 0) {
    NetworkLog << "{SENT TO SERVER}" << "RC (NAME/PASS REMOVED FOR SECURITY)\n";
  } else {
    // The text ends at the first zero byte, and never goes past the length.
    const void* zero = std::memchr(data, 0, length);
    size_t textLength = zero ? static_cast<const char*>(zero) - data : static_cast<size_t>(length);
    NetworkLog.WriteString("{SENT TO SERVER}" + std::string(data, textLength));
  }
}

// The IPv4 address of a host: dotted text as it is, else the first address
// the name resolves to. False, and logged, when it does not resolve.
bool ResolveAddress(const std::string& host, int port, sockaddr_in& address) {
  std::memset(&address, 0, sizeof address);
  if (IsDottedAddress(host)) {
    unsigned char bytes[4];
    ParseDottedAddress(host, bytes);
    std::memcpy(&address.sin_addr, bytes, 4);
  } else {
    hostent* entry = gethostbyname(host.c_str());
    if (!entry || !entry->h_addr_list || !entry->h_addr_list[0] || entry->h_length < 4) {
      ErrorLog << "Unable to resolve host \"" << host << "\" port " << port << "\n";
      return false;
    }
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
  }
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  return true;
}

// The error is read by the caller before anything is logged: the log
// writes themselves may change WinSock's last error.
void LogConnectFailure(const std::string& host, int port, int error) {
  ErrorLog << "Failed to connect to host \"" << host << "\" port " << port << "\n";
  NetworkLog << "\nFailed to connect to host \"" << host << "\" port " << port << "\n\n";
  if (error == WSAENETDOWN) {
    ErrorLog.Write("  -no network connection available\n");
  } else if (error == WSAECONNREFUSED) {
    ErrorLog.Write("  -connection refused by server\n");
  }
}

bool SetBlocking(NetSocket socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &nonBlocking) == 0;
}

}  // namespace

void SetNetworkSeams(WinSockStartupCall startup, SocketCreateCall create) {
  s_startupCall = startup ? startup : RealWinSockStartup;
  s_socketCreateCall = create ? create : RealSocketCreate;
}

// ---------------------------------------------------------------------------
// NetworkBase

NetworkBase::NetworkBase() : winSockReady_(false) {
  // The totals cover one span in which at least one network object lived.
  if (g_netInstanceCount.load() == 0) {
    g_netBytesSent = 0;
    g_netBytesReceived = 0;
  }
  ++g_netInstanceCount;
  if (s_startupCall.load()() == 0) {
    winSockReady_ = true;
  } else {
    ErrorLog.Write("Failed to init WinSock library.\n");
  }
}

NetworkBase::~NetworkBase() {
  if (winSockReady_) WSACleanup();
  winSockReady_ = false;
  if (--g_netInstanceCount == 0)
    StatLog.WriteString(TrafficReportText(g_netBytesSent.load(), g_netBytesReceived.load()));
}

void NetworkBase::AddBytesSent(uint32_t count) { g_netBytesSent += count; }
void NetworkBase::AddBytesReceived(uint32_t count) { g_netBytesReceived += count; }
uint32_t NetworkBase::BytesSent() { return g_netBytesSent.load(); }
uint32_t NetworkBase::BytesReceived() { return g_netBytesReceived.load(); }
int NetworkBase::InstanceCount() { return g_netInstanceCount.load(); }

// ---------------------------------------------------------------------------
// Free functions

bool IsSocketReadable(NetSocket socket, bool* selectFailed) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval poll = {0, 0};
  int result = select(0, &readable, nullptr, nullptr, &poll);
  if (selectFailed) *selectFailed = result < 0;
  return result > 0;
}

NetSocket OpenTcpSocket() {
  NetSocket socket = s_socketCreateCall.load()();
  if (socket == kInvalidSocket) ErrorLog.Write("Failed to create socket.\n");
  return socket;
}

void CloseTcpSocket(NetSocket& socket) {
  if (socket == kInvalidSocket) return;
  shutdown(static_cast<SOCKET>(socket), SD_BOTH);
  closesocket(static_cast<SOCKET>(socket));
  socket = kInvalidSocket;
}

// ---------------------------------------------------------------------------
// NetClient

NetClient::NetClient()
    : initialised_(false),
      connected_(false),
      socket_(kInvalidSocket),
      thread_(nullptr),
      connecting_(false),
      connectPort_(0) {
  if (!IsWinSockReady()) return;
  CriticalSectionLock network(g_networkLock);
  socket_ = OpenTcpSocket();
  if (socket_ == kInvalidSocket) return;
  thread_ = new2(CThread, CThread(ThreadProcedure,"NetClient",this));
  initialised_ = true;
}

NetClient::NetClient(NetSocket acceptedSocket)
    : initialised_(false),
      connected_(false),
      socket_(acceptedSocket),
      thread_(nullptr),
      connecting_(false),
      connectPort_(0) {
  // The socket is ours even when we cannot use it, so the destructor closes
  // it and a rejected connection does not linger half-open.
  if (!IsWinSockReady()) return;
  connected_ = true;
  thread_ = new2(CThread, CThread(ThreadProcedure,"NetClient",this));
  initialised_ = true;
}

NetClient::~NetClient() {
  // Stops and waits; the thread takes the network lock, so it must not be
  // held here.
  if (thread_) delete2(thread_);
  thread_ = nullptr;
  {
    CriticalSectionLock network(g_networkLock);
    CloseTcpSocket(socket_);
    connected_ = false;
    initialised_ = false;
  }
  CriticalSectionLock hold(clientLock_);
  std::vector<char>().swap(receiveBuffer_);
}

bool NetClient::MayConnect() {
  if (!initialised_) {
    ErrorLog.Write("Error: Attempt to call net client Connect when not Init'd.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  // A connect still under way counts as one made.
  if (connected_ || connecting_) {
    ErrorLog.Write("Error: Attempt to connect to remove server when already connected.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  return true;
}

void NetClient::ConnectSucceeded(const std::string& host, int port) {
  receiveBuffer_.clear();
  connected_ = true;
  NetworkLog << "\nConnected to host \"" << host << "\" port " << port << "\n\n";
}

bool NetClient::Connect(const std::string& host, int port) {
  if (!MayConnect()) return false;
  // Both locks for the whole call: resolution and the blocking connect hold
  // up every other connection's socket calls until they return.
  CriticalSectionLock network(g_networkLock);
  CriticalSectionLock client(clientLock_);

  sockaddr_in address;
  if (!ResolveAddress(host, port, address)) return false;
  if (connect(static_cast<SOCKET>(socket_), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ConnectSucceeded(host, port);
    return true;
  }
  LogConnectFailure(host, port, WSAGetLastError());
  return false;
}

bool NetClient::StartConnect(const std::string& host, int port) {
  if (!MayConnect()) return false;
  CriticalSectionLock network(g_networkLock);
  CriticalSectionLock client(clientLock_);

  sockaddr_in address;
  if (!ResolveAddress(host, port, address)) return false;
  if (!SetBlocking(socket_, false)) {
    LogConnectFailure(host, port, WSAGetLastError());
    return false;
  }
  if (connect(static_cast<SOCKET>(socket_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      LogConnectFailure(host, port, error);
      return false;
    }
    connecting_ = true;
    connectHost_ = host;
    connectPort_ = port;
    return true;
  }
  // Connected at once (it happens on the loopback).
  if (!SetBlocking(socket_, true)) {
    LogConnectFailure(host, port, WSAGetLastError());
    return false;
  }
  ConnectSucceeded(host, port);
  return true;
}

NetClient::ConnectProgress NetClient::PollConnect() {
  if (!connecting_) return connected_ ? kConnectDone : kConnectFailed;
  CriticalSectionLock network(g_networkLock);
  CriticalSectionLock client(clientLock_);

  // WinSock reports a finished connect as writable, a failed one in the
  // exception set; the socket's error says which it was in either case.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(static_cast<SOCKET>(socket_), &writable);
  FD_SET(static_cast<SOCKET>(socket_), &failed);
  timeval poll = {0, 0};
  int result = select(0, nullptr, &writable, &failed, &poll);
  if (result == 0) return kConnectPending;
  int error = 0;
  if (result < 0) {
    error = WSAGetLastError();
  } else {
    int length = sizeof error;
    if (getsockopt(static_cast<SOCKET>(socket_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = WSAGetLastError();
  }
  connecting_ = false;
  if (result > 0 && error == 0 && !FD_ISSET(static_cast<SOCKET>(socket_), &failed)) {
    // Blocking again, as a connection made by Connect is: its sends rely on it.
    if (SetBlocking(socket_, true)) {
      ConnectSucceeded(connectHost_, connectPort_);
      return kConnectDone;
    }
    error = WSAGetLastError();
  }
  LogConnectFailure(connectHost_, connectPort_, error);
  return kConnectFailed;
}

void NetClient::GiveUpConnect() {
  if (!connecting_) return;
  connecting_ = false;
  CriticalSectionLock network(g_networkLock);
  // Closing stops the attempt: a server that answers late finds nobody.
  CloseTcpSocket(socket_);
  // What a blocking connect reports when the system's own limit passes.
  LogConnectFailure(connectHost_, connectPort_, WSAETIMEDOUT);
}

bool NetClient::SendData(const char* data, int length) {
  if (!initialised_) {
    ErrorLog.Write("Error: Attempt to call NETCLIENT::SendData when not Init'd.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  if (!connected_) {
    ErrorLog.Write("Error: Attempt to send data to server when not connected.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  if (length <= 0 || !data) return false;

  int position = 0;
  while (position < length) {
    int result;
    {
      CriticalSectionLock network(g_networkLock);
      result = send(static_cast<SOCKET>(socket_), data + position, length - position, 0);
    }
    if (result == 0 || result == SOCKET_ERROR) {
      Disconnect();
      return false;
    }
    position += result;
    AddBytesSent(static_cast<uint32_t>(result));
  }
  LogSentData(data, length);
  return true;
}

bool NetClient::ReceiveData(std::vector<char>& out) {
  if (!initialised_) {
    ErrorLog.Write("Error: Attempt to call NETCLIENT::ReceiveData when not Init'd.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  bool lost = false;
  {
    CriticalSectionLock client(clientLock_);
    if (receiveBuffer_.empty()) {
      if (connected_) return false;
      lost = true;
    } else {
      // Bytes that arrived together with the peer's close are still handed
      // over; only an empty buffer makes the lost connection misuse.
      out.swap(receiveBuffer_);
      receiveBuffer_.clear();
    }
  }
  if (lost) {
    ErrorLog.Write("Error: Attempt to receive data from server when not connected.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return false;
  }
  NetworkLog.WriteBytes(out.data(), static_cast<int>(out.size()));
  if (out.back() != '\n') NetworkLog.Write("\n");
  return true;
}

int NetClient::PendingBytes() {
  if (!initialised_) return 0;
  CriticalSectionLock client(clientLock_);
  return static_cast<int>(receiveBuffer_.size());
}

void NetClient::Disconnect() {
  if (!initialised_) {
    ErrorLog.Write("Error: Attempt to call NETCLIENT::Disconnect when not Init'd.\n");
    WriteCallStack(ErrorLog, kAttemptMadeFrom);
    return;
  }
  if (!connected_) return;
  CriticalSectionLock network(g_networkLock);
  if (socket_ != kInvalidSocket) shutdown(static_cast<SOCKET>(socket_), SD_BOTH);
  connected_ = false;
}

bool NetClient::PollOnce() {
  CriticalSectionLock network(g_networkLock);
  bool selectFailed = false;
  char chunk[4096];
  while (IsSocketReadable(socket_, &selectFailed)) {
    int count = recv(static_cast<SOCKET>(socket_), chunk, sizeof chunk, 0);
    if (count <= 0) {
      Disconnect();
      break;
    }
    {
      CriticalSectionLock client(clientLock_);
      receiveBuffer_.insert(receiveBuffer_.end(), chunk, chunk + count);
    }
    AddBytesReceived(static_cast<uint32_t>(count));
  }
  if (selectFailed) {
    Disconnect();
    return false;
  }
  sockaddr_in peer;
  int peerLength = sizeof peer;
  if (getpeername(static_cast<SOCKET>(socket_), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
    int error = WSAGetLastError();
    if (error == WSAENOTCONN || error == WSAENETDOWN) Disconnect();
  }
  return true;
}

void NetClient::ThreadProcedure(CThread* thread, void* parameter) {
  NetClient* self = static_cast<NetClient*>(parameter);
  while (!thread->StopRequested()) {
    while (!self->connected_ && !thread->StopRequested()) Sleep(100);
    if (thread->StopRequested()) break;
    if (!self->PollOnce()) return;
    Sleep(20);
  }
}
