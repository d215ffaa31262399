// The item renderer: the item list, its models and texture swaps, and the
// models drawn on the cells of the view window.
#include "game/world/VantRenderObjects.h"

#include <cstdlib>
#include <string>

#include "foundation/CProfiler.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "game/formats/MapGrid.h"
#include "graphics/RenderState.h"

namespace VANT {

namespace {

const char* const kItemList = "data\\items\\items.txt";
const char* const kItemFolder = "data\\items\\";
// Cells never show this item number, whatever the list says.
constexpr int kHiddenItem = 2400;
// Map cells hold 16-bit item numbers: a larger table could never be used,
// and a hostile header must not size one.
constexpr long kHighestItemNumber = 65535;

void LineError(int line, const char* text) {
  ErrorLog << "Error in line " << line << " of items.txt: " << text;
}

}  // namespace

RenderObjects::RenderObjects() {
  ProfileScope profile("Init item renderer");
  shader_.Load("data\\shaders\\simple", "");
  ReadItemList();
}

RenderObjects::~RenderObjects() {}

void RenderObjects::ReadItemList() {
  std::vector<std::string> lines;
  ReadFileLines(lines, kItemList);
  G::Model placeholder;
  placeholder.Load(std::string(kItemFolder) + "placeholder.mbm", true, false, true);
  if (lines.empty()) {
    ErrorLog << "Error: " << kItemList << " is missing or empty; no items will be drawn.\n";
    return;
  }
  long highest = std::atol(lines[0].c_str());
  if (highest < 0) {
    ErrorLog << "Error in line 0 of items.txt: the highest object number is negative; no items will be drawn.\n";
    return;
  }
  if (highest > kHighestItemNumber) {
    ErrorLog << "Warning: items.txt gives " << lines[0] << " as the highest object number; map cells hold at most "
             << static_cast<int>(kHighestItemNumber) << ".\n";
    highest = kHighestItemNumber;
  }
  models_.resize(static_cast<size_t>(highest) + 1);
  for (long i = 1; i <= highest; ++i) models_[i] = placeholder;

  std::vector<std::string> tokens;
  for (size_t k = 1; k < lines.size(); ++k) {
    const int line = static_cast<int>(k);
    // A carriage return left by a file with mixed line ends is no part of a
    // name either.
    Tokenize(lines[k], tokens, " \t\r");
    if (tokens.empty()) continue;
    if (tokens.size() % 2 != 0) {
      LineError(line, tokens.size() > 2 ? "mismatched texture replacement pair?\n" : "missing model name?\n");
      continue;
    }
    const long number = std::atol(tokens[0].c_str());
    if (number <= 0) {
      LineError(line, "object number must be >=1\n");
      continue;
    }
    if (number > highest) {
      LineError(line, "an object number greater than the max number was specified.\n");
      continue;
    }
    G::Model model;
    // A model that fails to load leaves the placeholder (the loader logs).
    if (!model.Load(kItemFolder + tokens[1], true, false, true)) continue;
    G::Model& entry = models_[number];
    entry = model;
    for (size_t i = 2; i + 1 < tokens.size(); i += 2) {
      const std::string path = kItemFolder + tokens[i + 1];
      G::Texture texture;
      if (!texture.Load(path, G::kTextureFileFormat, true, true)) {
        ErrorLog << "Warning: Texture replacement failed to load, in loading an item: items.txt, line " << line
                 << ", name: " << path << "\n";
        continue;
      }
      if (!entry.ReplaceTexture(tokens[i], texture, G::Texture())) {
        ErrorLog << "Warning: Texture replacement operation failed, in loading an item: items.txt, line " << line
                 << ", name: " << tokens[i] << "\n";
      }
    }
  }
}

void RenderObjects::SetWindow(int x0, int x1, int y0, int y1) {
  x0_ = x0;
  x1_ = x1;
  y0_ = y0;
  y1_ = y1;
}

void RenderObjects::Render() {
  G::SetCullMode(G::kCullCounterClockwise);
  shader_.Set();
  for (int y = y0_; y < y1_; ++y) {
    for (int x = x0_; x < x1_; ++x) {
      const int item = GetMapObject(x, y);
      if (item == 0 || item == kHiddenItem || item >= static_cast<int>(models_.size())) continue;
      G::Model& model = models_[item];
      // Without a placeholder model, unlisted numbers have nothing to draw.
      G::Bone* root = model.GetRootBone();
      if (!root) continue;
      root->SetConnectPos(Vector3(static_cast<float>(x), static_cast<float>(y), 0), false);
      model.Draw(false);
    }
  }
}

}  // namespace VANT
