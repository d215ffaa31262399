// Applying the resolution table's current entry to the display, through the
// graphics interface.
#include "foundation/Utility.h"
#include "graphics/Device.h"

namespace G {

void ApplyResolution() {
  if (g_resolutionIndex == g_appliedResolutionIndex) return;
  int width = 0, height = 0;
  CalcResolution(0, &width, &height);
  if (SetDisplayMode(width, height)) {
    g_appliedResolutionIndex = g_resolutionIndex;
    return;
  }
  // An index outside the table has no bit to remember it by.
  if (g_resolutionIndex >= 0 && g_resolutionIndex < 32) g_failedResolutionModes |= 1u << g_resolutionIndex;
  g_resolutionIndex = g_appliedResolutionIndex;
}

bool IsResolutionAvailable(unsigned index) { return index <= 3 && !(g_failedResolutionModes & (1u << index)); }

}  // namespace G
