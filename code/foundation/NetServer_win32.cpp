// NetServer on WinSock 2.
#include "NetServer.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "CMemMan.h"
#include "CThread.h"
#include "LogFile.h"

NetServer::NetServer() : initialised_(false), listening_(false), socket_(kInvalidSocket), thread_(nullptr) {
  if (!IsWinSockReady() || !OpenSocket()) return;
  thread_ = new2(CThread, CThread(ThreadLoop,"NetServer",this));
  initialised_ = true;
}

bool NetServer::OpenSocket() {
  CriticalSectionLock network(g_networkLock);
  socket_ = OpenTcpSocket();
  if (socket_ == kInvalidSocket) return false;
  // Non-blocking, so the accept thread's accept returns at once when nobody
  // is waiting and holds the network lock only briefly.
  u_long nonBlocking = 1;
  if (ioctlsocket(static_cast<SOCKET>(socket_), FIONBIO, &nonBlocking) != 0)
    ErrorLog.Write("Warning: created server socket refuses to be non-blocking...\n");
  return true;
}

NetServer::~NetServer() {
  if (thread_) delete2(thread_);
  thread_ = nullptr;
  {
    CriticalSectionLock network(g_networkLock);
    CloseTcpSocket(socket_);
    listening_ = false;
    initialised_ = false;
  }
  std::list<NET::Client*> clients = TakeQueue();
  FreeClients(clients);
}

bool NetServer::Listen(int port) {
  if (!initialised_) {
    ErrorLog.Write("Error: Attempt to call net server Listen when not Init'd.\n");
    WriteCallStack(ErrorLog, "  -attempt made from:\n");
    return false;
  }
  if (listening_) {
    ErrorLog.Write("Error: Attempt to make server listen, when it's already listening.\n");
    WriteCallStack(ErrorLog, "  -attempt made from:\n");
    return false;
  }
  CriticalSectionLock network(g_networkLock);
  CriticalSectionLock server(serverLock_);
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<u_short>(port));
  // A failed bind is only logged: listen then decides the result.
  if (bind(static_cast<SOCKET>(socket_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    ErrorLog << "Failed to bind server socket to port " << static_cast<int>(static_cast<u_short>(port)) << "\n";
  if (listen(static_cast<SOCKET>(socket_), SOMAXCONN) != 0) {
    ErrorLog.Write("Server socket refused to listen.");
    return false;
  }
  listening_ = true;
  return true;
}

NET::Client* NetServer::PopClient() {
  CriticalSectionLock server(serverLock_);
  if (queue_.empty()) return nullptr;
  NET::Client* client = queue_.front();
  queue_.pop_front();
  return client;
}

int NetServer::PendingClientCount() {
  CriticalSectionLock server(serverLock_);
  return static_cast<int>(queue_.size());
}

void NetServer::StopListening() {
  if (!listening_) return;
  std::list<NET::Client*> clients;
  {
    CriticalSectionLock network(g_networkLock);
    CriticalSectionLock server(serverLock_);
    // A listening socket that is only shut down goes on completing
    // connections (on Windows shutdown does not stop it), which nobody would
    // ever take; closing it refuses them. A fresh socket waits for the next
    // Listen.
    CloseTcpSocket(socket_);
    listening_ = false;
    clients.swap(queue_);
    if (!OpenSocket()) initialised_ = false;
  }
  FreeClients(clients);
}

std::list<NET::Client*> NetServer::TakeQueue() {
  std::list<NET::Client*> clients;
  CriticalSectionLock server(serverLock_);
  clients.swap(queue_);
  return clients;
}

void NetServer::FreeClients(std::list<NET::Client*>& clients) {
  for (NET::Client* client : clients) delete2(client);
  clients.clear();
}

void NetServer::AcceptOnce() {
  NET::Client* rejected = nullptr;
  {
    CriticalSectionLock network(g_networkLock);
    if (!listening_) return;
    SOCKET accepted = accept(static_cast<SOCKET>(socket_), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return;
    // Accepted sockets inherit the listening socket's non-blocking mode; a
    // client's send would then fail, and drop the connection, whenever the
    // send buffer is full.
    u_long blocking = 0;
    ioctlsocket(accepted, FIONBIO, &blocking);
    CriticalSectionLock server(serverLock_);
    NET::Client* client = new2(NET::Client, NET::Client(static_cast<NetSocket>(accepted)));
    if (client->IsConnected()) {
      queue_.push_back(client);
    } else {
      ErrorLog.Write("Net::Client rejected socket from a connection to server... ignoring connection attempt.\n");
      rejected = client;
    }
  }
  if (rejected) delete2(rejected);
}

void NetServer::ThreadLoop(CThread* thread, void* parameter) {
  NetServer* self = static_cast<NetServer*>(parameter);
  while (!thread->StopRequested()) {
    while (!self->listening_ && !thread->StopRequested()) Sleep(100);
    if (thread->StopRequested()) break;
    self->AcceptOnce();
    Sleep(20);
  }
}
