// The character chooser, the program's first scene: lists the player files
// of the working folder by character name, lets the player pick one with
// Up, Down and Enter, and hands over to the in-game scene.
#pragma once
#include <string>
#include <vector>

#include "graphics/Text.h"
#include "graphics/Texture.h"
#include "shell/Scene.h"

class CChooseINI : public Scene {
 public:
  struct Entry {
    std::string label;     // character name + " (" + file name + ")"
    std::string fileName;
  };

  CChooseINI();
  // Scenes go before graphics shuts down, so their textures and texts
  // cannot throw here (Scene's destructor allows no exception).
  ~CChooseINI() noexcept override;

  void Update(float seconds) override;
  void Draw() override;
  std::string GetName() override { return "CChooseINI"; }

  // The "*.ini" files of the working folder with a three-letter extension,
  // in the order the file search returns them.
  static void FindIniFiles(std::vector<std::string>& names);
  // The found files less the service's own settings files and those that do
  // not load as player files, each labelled with its character's name.
  static void FilterIniFiles(std::vector<Entry>& entries);

  const std::vector<Entry>& Entries() const { return entries_; }
  int SelectedIndex() const { return selected_; }
  float Phase() const { return phase_; }
  const G::Text& ListText() const { return listText_; }
  const G::Text& TitleText() const { return title_; }
  const G::Texture& PointerImage() const { return pointer_; }

 private:
  CChooseINI(const CChooseINI&) = delete;
  CChooseINI& operator=(const CChooseINI&) = delete;

  // Entries and the list text, from the folder as it is now.
  void BuildList();
  void Choose();

  G::Text listText_;
  std::vector<Entry> entries_;
  int selected_ = 0;
  float phase_ = 0;
  G::Texture pointer_;
  G::Text title_;
};
