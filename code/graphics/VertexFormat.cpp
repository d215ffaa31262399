// Vertex-format sizes and the immediate-mode vertex format.
#include "foundation/LogFile.h"
#include "graphics/RenderState.h"
#include "graphics/VertexBuffer.h"

namespace G {

int VertexFormatStride(const VertexFormat& format) {
  int size = 0;
  for (const VertexElement& element : format) {
    switch (element.type) {
      case kFloat1: size += 4; break;
      case kFloat2: size += 8; break;
      case kFloat3: size += 12; break;
      case kFloat4: size += 16; break;
      case kPackedColor: size += 4; break;
      default:
        ErrorLog << "Bad type found in vertex format.\n";
        WriteCallStack(ErrorLog, "  -call stack:\n");
        break;
    }
  }
  return size;
}

const VertexFormat& IMVertexFormat() {
  static const VertexFormat format = {
      {kFloat3, kUsePosition}, {kFloat3, kUseNormal}, {kPackedColor, kUseColor}, {kFloat4, kUseTexCoord}};
  return format;
}

}  // namespace G
