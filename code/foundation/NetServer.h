// TCP server: listens on a port and turns each accepted connection into a
// connected NET::Client, queued until its user takes it. The program contains
// it complete but starts none.
#pragma once
#include <list>

#include "CriticalSection.h"
#include "NetClient.h"

class NetServer : public NetworkBase {
 public:
  // Creates the listening socket and starts the accept thread.
  NetServer();
  // Stops the thread, closes the socket and frees the clients still queued.
  ~NetServer() override;

  bool Listen(int port);
  // The oldest queued client, now owned by the caller; null when none.
  NET::Client* PopClient();
  int PendingClientCount();
  bool IsListening() const { return listening_.load(); }
  // Closes the listening socket (a new one waits for the next Listen) and
  // frees the clients still queued.
  void StopListening();

  static void ThreadLoop(CThread* thread, void* parameter);

 private:
  // A new non-blocking socket; false (logged) when none can be made.
  bool OpenSocket();
  void AcceptOnce();
  // Takes the queue out under the server lock; the caller frees the clients
  // once no lock is held (a client's destructor waits for its receive
  // thread, which may be waiting for the network lock).
  std::list<NET::Client*> TakeQueue();
  static void FreeClients(std::list<NET::Client*>& clients);

  std::atomic<bool> initialised_;
  std::atomic<bool> listening_;
  NetSocket socket_;
  CriticalSection serverLock_;
  std::list<NET::Client*> queue_;
  CThread* thread_;
};
