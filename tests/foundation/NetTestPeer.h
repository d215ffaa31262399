// The far end of the network tests: plain WinSock sockets on 127.0.0.1 that
// take no network lock, so a test scripts exactly what a server or a client
// sends and when it closes.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

// Polls the condition every few milliseconds until it holds or the time is
// up; the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return condition();
    Sleep(5);
  }
}

// Keeps WinSock started for the peers' own sockets.
class WinSockUser {
 public:
  WinSockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinSockUser() { WSACleanup(); }
};

// One connected socket.
class TestPeer {
 public:
  explicit TestPeer(SOCKET s = INVALID_SOCKET) : socket_(s) {}
  TestPeer(TestPeer&& other) : socket_(other.socket_) { other.socket_ = INVALID_SOCKET; }
  TestPeer& operator=(TestPeer&& other) {
    if (this != &other) {
      Close();
      socket_ = other.socket_;
      other.socket_ = INVALID_SOCKET;
    }
    return *this;
  }
  ~TestPeer() { Close(); }
  bool Valid() const { return socket_ != INVALID_SOCKET; }

  // A connected client of the given port.
  static TestPeer ConnectTo(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      closesocket(s);
      return TestPeer();
    }
    return TestPeer(s);
  }

  bool Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      int n = send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
      if (n <= 0) return false;
      sent += n;
    }
    return true;
  }

  // Everything that arrives within the time, up to count bytes.
  std::string Receive(size_t count, int milliseconds = 5000) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    char chunk[65536];
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      if (!Readable(10)) continue;
      size_t want = count - out.size() < sizeof chunk ? count - out.size() : sizeof chunk;
      int n = recv(socket_, chunk, static_cast<int>(want), 0);
      if (n <= 0) break;
      out.append(chunk, n);
    }
    return out;
  }

  // True when the other side closed (recv returns 0 or fails) within the
  // time; bytes still arriving before the close are skipped.
  bool SeesClose(int milliseconds = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    char chunk[4096];
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Readable(10)) continue;
      if (recv(socket_, chunk, sizeof chunk, 0) <= 0) return true;
    }
    return false;
  }

  void Close() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

 private:
  bool Readable(int milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_, &set);
    timeval wait = {0, milliseconds * 1000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
  }
  SOCKET socket_;
};

// Binds the socket to 127.0.0.1 on a port the system chooses and listens
// with the backlog; returns the address it listens on.
inline sockaddr_in ListenOnLoopback(SOCKET socket, int backlog) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(socket, backlog);
  int length = sizeof address;
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  return address;
}

// A listening socket on 127.0.0.1 and a port the system chose.
class TestListener {
 public:
  TestListener() : socket_(socket(AF_INET, SOCK_STREAM, 0)), port_(0) {
    sockaddr_in address = ListenOnLoopback(socket_, 16);
    port_ = ntohs(address.sin_port);
  }
  ~TestListener() { Close(); }
  int Port() const { return port_; }

  // The next connection, waited for up to the time.
  TestPeer Accept(int milliseconds = 5000) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_, &set);
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    if (select(0, &set, nullptr, nullptr, &wait) <= 0) return TestPeer();
    return TestPeer(accept(socket_, nullptr, nullptr));
  }

  void Close() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

 private:
  SOCKET socket_;
  int port_;
};

// A listening socket on 127.0.0.1 whose queue (backlog 0) is full and which
// never accepts: the system drops further connection requests unanswered, so
// a connect to it stays pending. Pending() tells whether the queue filled.
class UnansweredListener {
 public:
  UnansweredListener() : listener_(socket(AF_INET, SOCK_STREAM, 0)), port_(0), pending_(false) {
    sockaddr_in address = ListenOnLoopback(listener_, 0);
    port_ = ntohs(address.sin_port);
    // Connects complete until the queue is full; the first that does not
    // shows that it is.
    for (int i = 0; i < kMaxFillers && !pending_; ++i) {
      SOCKET filler = socket(AF_INET, SOCK_STREAM, 0);
      u_long nonBlocking = 1;
      ioctlsocket(filler, FIONBIO, &nonBlocking);
      connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_[i] = filler;
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(filler, &writable);
      timeval wait = {0, 500000};
      pending_ = select(0, nullptr, &writable, nullptr, &wait) == 0;
    }
  }
  ~UnansweredListener() {
    for (SOCKET filler : fillers_)
      if (filler != INVALID_SOCKET) closesocket(filler);
    closesocket(listener_);
  }
  int Port() const { return port_; }
  bool Pending() const { return pending_; }

 private:
  static constexpr int kMaxFillers = 8;
  SOCKET listener_;
  SOCKET fillers_[kMaxFillers] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET,
                                  INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
  int port_;
  bool pending_;
};

// A port on which nothing listens (one the system just handed out and took
// back).
inline int UnusedPort() {
  TestListener listener;
  return listener.Port();
}
