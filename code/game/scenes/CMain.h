// The in-game scene: owns the game-server connection, the chat window and
// the input line; every frame it polls the protocol, shows status lines,
// turns keys and clicks into commands, runs the dream step and draws the
// world under a 2D panel.
#pragma once
#include <string>

#include "foundation/NetClient.h"
#include "graphics/Text.h"
#include "graphics/Texture.h"
#include "shell/Scene.h"

namespace G {
class TextWindow;
}

// The profiler block of which every frame (from one frame's start to the
// next) is a sample while a dream transfer is in the list: its longest sample
// in "_profile.txt" is the longest the window stood still for a dream.
extern const char kDreamFrameBlock[];

class CMain : public Scene {
 public:
  CMain();
  // Scenes go before graphics shuts down, so their textures and texts
  // cannot throw here (Scene's destructor allows no exception).
  ~CMain() noexcept override;

  void Update(float seconds) override;
  void Draw() override;
  // Times the frames of a dream's download, extraction and load (see
  // kDreamFrameBlock).
  void PreFrame() override;
  std::string GetName() override { return "CMain"; }

  const std::string& InputLine() const { return inputLine_; }
  const G::Text& InputText() const { return inputText_; }
  const G::Text& TransferText() const { return transferText_; }
  G::TextWindow* ChatWindow() const { return chatWindow_; }
  const NetClient& Connection() const { return connection_; }
  const G::Texture& ScrollTrack() const { return track_; }
  const G::Texture& ScrollThumb() const { return thumb_; }
  bool IsDragging() const { return dragging_; }

 private:
  CMain(const CMain&) = delete;
  CMain& operator=(const CMain&) = delete;

  void ConnectToGameServer();
  void ShowStatusLine(const std::string& text);
  void TakeTypedChar(unsigned char c, bool control);
  void SendTypedLine();
  void TakeMouse();
  void DrawTransfers();

  std::string inputLine_;
  G::Text inputText_;
  NetClient connection_;
  G::Text transferText_;
  G::TextWindow* chatWindow_ = nullptr;
  G::Texture track_;
  G::Texture thumb_;
  bool dragging_ = false;
  bool timingDreamFrame_ = false;
};
