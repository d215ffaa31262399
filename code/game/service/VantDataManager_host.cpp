// Transfers in the native build (sanitizers, fuzzing), which has neither
// sockets nor threads: a transfer is only recorded, nothing is downloaded,
// so the protocol's dream line and its repeat rule still run there.
#include "game/service/VantDataManager.h"

void BeginTransfer(const std::string& id, int kind, const std::string&) {
  Transfer transfer;
  transfer.kind = kind;
  transfer.id = id;
  detail::MutableTransferList().push_front(transfer);
}

void EndTransfer(const Transfer& transfer) {
  std::list<Transfer>& transfers = detail::MutableTransferList();
  for (auto it = transfers.begin(); it != transfers.end(); ++it) {
    if (it->id == transfer.id && it->getter == transfer.getter) {
      transfers.erase(it);
      return;
    }
  }
}

// Without downloads no transfer ever finishes.
void UpdateDreamTransfers() {}
