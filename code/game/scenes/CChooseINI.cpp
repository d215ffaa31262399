// The character chooser: the list of player files, the swinging pointer, and
// the hand-over to the in-game scene on Enter.
#include "game/scenes/CChooseINI.h"

#include <cmath>

#include "foundation/CMemMan.h"
#include "foundation/Input.h"
#include "foundation/LogFile.h"
#include "game/formats/PlayerFile.h"
#include "game/scenes/CMain.h"
#include "game/service/VantDataManager.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "shell/SceneManager.h"

namespace {

// DirectInput key codes.
constexpr int kKeyEnter = 28;
constexpr int kKeyUp = 200;
constexpr int kKeyDown = 208;

// The service's own settings files, which sit beside the player files.
const char* const kNotPlayerFiles[] = {"settings.ini", "soundlist.ini", "skilllevels.ini", "sndlist.ini",
                                       "DSEditor.ini", "dslist2.ini",   "dslist.ini",      "editor.ini"};

bool IsServiceFile(const std::string& name) {
  for (const char* excluded : kNotPlayerFiles)
    if (name == excluded) return true;
  return false;
}

}  // namespace

void CChooseINI::FilterIniFiles(std::vector<Entry>& entries) {
  std::vector<std::string> names;
  FindIniFiles(names);
  for (const std::string& name : names) {
    if (IsServiceFile(name)) continue;
    if (!LoadPlayerIni(name)) continue;
    std::string character;
    GetPlayerName(character);
    entries.push_back(Entry{character + " (" + name + ")", name});
  }
}

CChooseINI::CChooseINI() {
  BuildList();
  pointer_.LoadCC("data\\pickINI.bmp");
  selected_ = 0;
  phase_ = 0;
  title_.SetSize(48);
  title_ = "  Quorvex Client\n";
  title_.SetPosition(175, 30);
  title_.SetFont("times new roman");
}

CChooseINI::~CChooseINI() noexcept {}

void CChooseINI::BuildList() {
  entries_.clear();
  FilterIniFiles(entries_);
  if (!entries_.empty()) {
    std::string labels;
    for (const Entry& entry : entries_) labels += entry.label + "\n\n";
    listText_ = labels;
    listText_.SetPosition(310, 250);
  } else {
    ErrorLog << "No valid player .ini files found.\n";
    listText_ =
        "ERROR: No valid player .ini files found.\n\nPlease verify that you put Quorvex inside of Vantrell's\n"
        "   Directory, as it relies on some of Vantrell's data files.";
    listText_.SetPosition(200, 300);
  }
}

void CChooseINI::Update(float seconds) {
  if (entries_.empty()) return;
  phase_ += 6.2831855f * seconds;
  const int count = static_cast<int>(entries_.size());
  if (IsKeyPressed(kKeyUp)) --selected_;
  if (IsKeyPressed(kKeyDown)) ++selected_;
  if (selected_ < 0) selected_ = count - 1;
  if (selected_ >= count) selected_ = 0;
  if (IsKeyPressed(kKeyEnter)) Choose();
}

void CChooseINI::Choose() {
  // The file passed when it was listed, but it may have changed or gone
  // since. The store would then hold the fields of whatever file was read
  // last, and the game would log in with another character's name and
  // password: stay here, on the folder as it is now.
  if (!LoadPlayerIni(entries_[selected_].fileName)) {
    BuildList();
    selected_ = 0;
    return;
  }
  SceneManager::RemoveScene();
  SceneManager::AddScene(new2(CMain, CMain));
}

void CChooseINI::Draw() {
  G::Clear(0, true, true, true, 0);
  G::Set2DModeFullScreen();
  listText_.Draw();
  if (!entries_.empty())
    G::DrawSprite(270 + 8 * std::sin(phase_), static_cast<float>(238 + 32 * selected_), pointer_, 1);
  title_.Draw();
}
