// Drawing helpers the backends' test programs share.
#include "DrawingSupport.h"

#include "graphics/RenderState.h"

void DrawQuad(float x1, float y1, float x2, float y2, unsigned color, float z) {
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMColor(color);
  G::IMPosition3(x1, y1, z);
  G::IMPosition3(x2, y1, z);
  G::IMPosition3(x2, y2, z);
  G::IMPosition3(x1, y2, z);
  G::IMEnd();
}
