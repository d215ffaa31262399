// The item renderer: one model per item number, read from the item list
// "data\items\items.txt" (with optional texture swaps), drawn at the centre
// of every map cell in a window that holds that item number.
#pragma once
#include <vector>

#include "graphics/GBMesh.h"
#include "graphics/Shader.h"

namespace VANT {

class RenderObjects {
 public:
  // Loads the shader, the placeholder model and the item list with its
  // models. Problems are logged; a broken list leaves fewer items.
  RenderObjects();
  // Releases the shader and every model handle.
  ~RenderObjects();

  // The half-open rectangle x0 <= x < x1, y0 <= y < y1 of cells to draw.
  void SetWindow(int x0, int x1, int y0, int y1);
  void Render();

  // Indexed by item number; entry 0 is empty.
  const std::vector<G::Model>& Models() const { return models_; }

 private:
  RenderObjects(const RenderObjects&) = delete;
  RenderObjects& operator=(const RenderObjects&) = delete;
  void ReadItemList();

  std::vector<G::Model> models_;
  int x0_ = 0;
  int x1_ = 0;
  int y0_ = 0;
  int y1_ = 0;
  G::Shader shader_;
};

}  // namespace VANT
