// The in-game scene: the connection to the game server, the chat window and
// input line, keys and clicks turned into commands, and the frame's drawing
// of the world under the chat panel.
#include "game/scenes/CMain.h"

#include <fstream>

#include "foundation/CMemMan.h"
#include "foundation/CProfiler.h"
#include "foundation/Input.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "game/formats/ColorTables.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"
#include "game/service/VantFileGetter.h"
#include "game/world/VantRenderer.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "graphics/RenderState.h"
#include "graphics/TextWindow.h"

namespace {

// DirectInput key codes of the two Control keys.
constexpr int kKeyLeftControl = 29;
constexpr int kKeyRightControl = 157;

const unsigned kLightGreen = 0xFFBFFFBF;
const unsigned kLightRed = 0xFFFFBFBF;
const unsigned kLightBlue = 0xFFBFBFFF;
const unsigned kWhite = 0xFFFFFFFF;
const unsigned kSendFailedColor = 0xFFDC9696;
const unsigned kPanelColor = 0x50444444;

// The scrollbar: its strip on screen, the track's top, and the 224 pixels
// that the thumb (32 high, grabbed at its middle) travels.
constexpr int kStripLeft = 741, kStripRight = 763, kStripTop = 301, kStripBottom = 555;
constexpr float kTrackX = 740, kTrackY = 300;
constexpr float kThumbTravel = 224;
constexpr int kThumbGrab = 316;
constexpr float kScrollPerPixel = 0.004464286f;
constexpr float kScrollPerWheelStep = 0.05f;

// A status line's colour, chosen by the first character of each of its
// lines.
unsigned StatusColor(char first) {
  switch (first) {
    case '(':
    case '>':
      return kLightGreen;
    case '*':
      return kLightRed;
    case '[':
      return kLightBlue;
    default:
      return kWhite;
  }
}

// The movement a typed key code asks for; -1 for any other code.
int MovementOf(unsigned char c) {
  switch (c) {
    case kTypedUp:
    case kTypedPageUp:
      return 0;
    case kTypedLeft:
    case kTypedHome:
      return 1;
    case kTypedDown:
    case kTypedEnd:
      return 2;
    case kTypedRight:
    case kTypedPageDown:
      return 3;
    case kTypedDelete:
      return 4;
    case kTypedInsert:
      return 5;
    default:
      return -1;
  }
}

bool HasDreamTransfer() {
  for (const Transfer& transfer : GetTransferList())
    if (transfer.kind == 0) return true;
  return false;
}

}  // namespace

const char kDreamFrameBlock[] = "Frame while a dream downloads and loads";

CMain::CMain() {
  SetNetClient(&connection_);
  inputText_.SetPosition(50, 555);
  inputText_.SetWrapWidth(700);
  // Font size 16, default face, proportional: the text window's defaults.
  chatWindow_ = new2(G::TextWindow, G::TextWindow(40,300,700,250,60));
  ConnectToGameServer();
  InitRenderer();
  LoadColorTables();
  track_.LoadCC("data\\ui\\sbar0.png");
  thumb_.LoadCC("data\\ui\\sbar1.png");
  dragging_ = false;
}

CMain::~CMain() noexcept {
  delete2(chatWindow_);
  chatWindow_ = nullptr;
  // The downloads stop before the connection that their dreams report to.
  while (!GetTransferList().empty()) EndTransfer(GetTransferList().front());
  ShutdownRenderer();
  SetNetClient(nullptr);
}

void CMain::ConnectToGameServer() {
  std::string host = "Failed to load";
  int port = 0;
  std::ifstream address("data\\vant_ip.txt");
  if (address.is_open()) {
    std::string word;
    if (address >> word) host = word;
    int number = 0;
    if (address >> number) port = number;
    chatWindow_->AddLine(G::Text("Connecting to vantrell server at " + host + " on port " + std::to_string(port) +
                                 " ...\n"));
  } else {
    ErrorLog << "Failed to load vant's ip and port from file.\n";
    chatWindow_->AddLine(G::Text("Failed to load vant's ip and port from \\data\\vant_ip.txt file.\n"));
  }
  if (connection_.Connect(host, port))
    chatWindow_->AddLine(G::Text("Connected to server.\n"));
  else
    chatWindow_->AddLine(G::Text("CONNECTION TO SERVER FAILED.\n"));
}

void CMain::ShowStatusLine(const std::string& text) {
  G::Text line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    line.SetColor(StatusColor(text[start]));
    line += G::Text(text.substr(start, end - start));
    start = end;
  }
  chatWindow_->AddLine(line);
}

void CMain::Update(float seconds) {
  PollGameServer();

  std::string status;
  while (PopMessage(status)) ShowStatusLine(status);

  while (HasTypedChars()) {
    bool control = IsKeyDown(kKeyLeftControl) || IsKeyDown(kKeyRightControl);
    TakeTypedChar(static_cast<unsigned char>(PopTypedChar()), control);
    inputText_ = inputLine_;
  }

  TakeMouse();
  UpdateDreamTransfers();
  UpdateRenderer(seconds);
}

// The frame that extracts and loads the dream ends the transfer in its
// update; it is still counted, at the start of the frame after it.
void CMain::PreFrame() {
  if (timingDreamFrame_) g_profiler.ProfileStop(kDreamFrameBlock, __FILE__);
  timingDreamFrame_ = HasDreamTransfer();
  if (timingDreamFrame_) g_profiler.ProfileStart(kDreamFrameBlock, __FILE__);
}

void CMain::TakeTypedChar(unsigned char c, bool control) {
  if (c == kTypedBackspace && !inputLine_.empty()) {
    inputLine_.pop_back();
  } else if (IsPrintable(static_cast<char>(c)) && !control) {
    inputLine_ += static_cast<char>(c);
  } else if (connection_.IsConnected() && c == kTypedEnter && !inputLine_.empty()) {
    SendTypedLine();
  } else if (connection_.IsConnected() && MovementOf(c) >= 0) {
    SendMove(MovementOf(c));
  }
}

// The server reads a line's first character as its kind: speech gets a
// double quote, "/name text" becomes a whisper, ':' (an emote) stays, and a
// backquote sends the rest as a raw command. The line feed added here and
// the one SendLine adds end the line with two.
void CMain::SendTypedLine() {
  std::string line = inputLine_ + "\n";
  if (line[0] == '`')
    line.erase(0, 1);
  else if (line[0] == '/')
    line = "wh " + line.substr(1);
  else if (line[0] != ':')
    line = "\"" + line;
  if (!SendLine(line)) {
    G::Text failed;
    failed.SetColor(kSendFailedColor);
    failed += G::Text("SEND TO SERVER FAILED!");
    chatWindow_->AddLine(failed);
  }
  inputLine_.clear();
}

void CMain::TakeMouse() {
  int x = 0, y = 0;
  GetMousePosition(&x, &y);
  int tileX = 0, tileY = 0;
  if (WasLeftClicked()) {
    if (x >= kStripLeft && x <= kStripRight && y >= kStripTop && y <= kStripBottom) {
      dragging_ = true;
    } else {
      PickTile(x, y, tileX, tileY);
      SendLook(tileX, tileY);
    }
  }
  if (!IsLeftButtonDown())
    dragging_ = false;
  else if (dragging_)
    chatWindow_->SetScroll((y - kThumbGrab) * kScrollPerPixel);
  int wheel = GetMouseWheel();
  if (wheel != 0) chatWindow_->SetScroll(chatWindow_->GetScroll() + wheel * kScrollPerWheelStep);
  // The hover highlight.
  PickTile(x, y, tileX, tileY);
  SetSelectedTile(tileX, tileY);
}

void CMain::Draw() {
  G::Clear(0, true, true, true, 0);
  G::SetFullViewport();
  RenderWorld();

  G::Set2DModeFullScreen();
  G::SetRenderState(G::kStateAlphaBlend, true);
  G::DrawQuadColored(35, 300, 705, 283, kPanelColor, kPanelColor, kPanelColor, kPanelColor);
  inputText_.Draw();
  DrawTransfers();
  chatWindow_->Draw();

  G::Set2DModeFullScreen();
  G::DrawSprite(kTrackX, kTrackY, track_, 0.5f);
  G::DrawSprite(kTrackX, kTrackY + kThumbTravel * chatWindow_->GetScroll(), thumb_, 0.5f);
}

// One line per transfer above the panel, front (newest) first, so the oldest
// sits on the panel's edge at y 280 and newer ones stack upwards.
void CMain::DrawTransfers() {
  const std::list<Transfer>& transfers = GetTransferList();
  const int count = static_cast<int>(transfers.size());
  int i = 0;
  for (const Transfer& transfer : transfers) {
    int received = 0, total = 0;
    if (transfer.getter) transfer.getter->GetProgress(received, total);
    transferText_ = "File Transfer (" + transfer.id + "): " + std::to_string(received) + " / " + std::to_string(total);
    transferText_.SetPosition(250, static_cast<float>(280 - 24 * (count - 1) + 24 * i));
    transferText_.Draw();
    ++i;
  }
}
