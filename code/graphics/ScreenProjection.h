// World points to screen pixels and back, through the current view and
// projection matrices and viewport of the graphics interface.
#pragma once
#include "foundation/Maths.h"

namespace G {

// False for a point on the camera plane. Screen z is the depth 0..1.
bool WorldToScreen(Vector3& out, const Vector3& world);
// The depth goes in as given.
void ScreenToWorld(Vector3& out, float screenX, float screenY, float depth);

}  // namespace G
