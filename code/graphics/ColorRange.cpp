// The check every float colour component of immediate mode passes.
#include "foundation/LogFile.h"
#include "graphics/RenderState.h"

namespace G {

void CheckColorRange(float value) {
  if (value >= 0.0f && value <= 1.0f) return;
  ErrorLog << "Invalid float range for a color: ";
  ErrorLog.WriteDouble(value);
  ErrorLog << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

}  // namespace G
