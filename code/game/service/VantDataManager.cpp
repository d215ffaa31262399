// Transfers and the per-frame dream step: each transfer owns a downloader
// (thread and connection), and a finished dream download is extracted,
// loaded and acknowledged to the game server here, on the main thread.
#include "game/service/VantDataManager.h"

#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Platform.h"
#include "foundation/Utility.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantFileGetter.h"

namespace {

// The game server holds the player in the dream until it hears "goback" or
// "saltmarrows": every failed dream ends here.
void AskToGoBack() {
  PushMessage(">  Error loading dream... sequence aborted.");
  int answer = ShowMessageBox(g_mainWindow,
                              "Dream download failed.  Reset to Corvale island?\n"
                              "(If you choose no, you may be temporarily stuck in the dream)",
                              "Erp", kMessageBoxYesNo);
  SendLine(answer == kAnswerYes ? "goback" : "saltmarrows");
}

// Extraction, then the dream's own map and floors; false at the first step
// that fails (the floors are then left as they were).
bool LoadDownloadedDream(const std::string& archive) {
  const WorldEffects& effects = GetWorldEffects();
  PushMessage("> Decompressing dream...");
  if (!effects.extractDream || !effects.extractDream(archive)) return false;
  PushMessage("> Loading dream...");
  std::string dir = GetDirectory(archive);
  if (!effects.loadMap || !effects.loadMap(dir + "default.map")) return false;
  if (effects.loadPatchFloors) effects.loadPatchFloors(dir);
  return true;
}

}  // namespace

void BeginTransfer(const std::string& id, int kind, const std::string& dir) {
  std::list<Transfer>& transfers = detail::MutableTransferList();
  Transfer transfer;
  transfer.kind = kind;
  transfer.upload = false;
  transfer.id = id;
  transfers.push_front(transfer);
  VANT::FileGetter* getter = new2(VANT::FileGetter, VANT::FileGetter(id,dir));
  if (getter) {
    transfers.front().getter = getter;
    return;
  }
  // Without a getter the transfer would never finish, stay pending and keep
  // the player waiting in the dream (the memory manager has logged it).
  transfers.pop_front();
  PushMessage("> FAILED");
  if (kind == 0) AskToGoBack();
}

void EndTransfer(const Transfer& transfer) {
  std::list<Transfer>& transfers = detail::MutableTransferList();
  for (auto it = transfers.begin(); it != transfers.end(); ++it) {
    if (it->id == transfer.id && it->getter == transfer.getter) {
      // The destructor stops the thread and removes an unfinished file.
      if (it->getter) delete2(it->getter);
      transfers.erase(it);
      return;
    }
  }
  ErrorLog << "Attempt to end a transfer that doesn't exist.\n"
           << "  -transfer type: " << (transfer.upload ? "upload " : "download ")
           << (transfer.kind != 0 ? "portrait" : "dream") << "\n"
           << "  -transfer ID: " << transfer.id << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

void UpdateDreamTransfers() {
  const std::list<Transfer>& transfers = GetTransferList();
  const Transfer* finished = nullptr;
  for (const Transfer& transfer : transfers) {
    if (transfer.kind == 0 && !transfer.upload && transfer.getter && transfer.getter->IsDone()) {
      finished = &transfer;
      break;
    }
  }
  if (!finished) return;

  if (finished->getter->Succeeded() && LoadDownloadedDream(finished->getter->GetPath())) {
    PushMessage("> Dream load succeeded.");
    SendLine("saltmarrows");
    EndTransfer(*finished);
    return;
  }
  AskToGoBack();
  EndTransfer(*finished);
}
