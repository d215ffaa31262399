// Drawing helpers the backends' test programs share (each compiles this
// folder's DrawingSupport.cpp in, over its own backend).
#pragma once

// A quad in one colour through immediate mode, corners clockwise from
// (x1, y1) as sprites draw them (the front winding under the default cull
// mode), at depth z.
void DrawQuad(float x1, float y1, float x2, float y2, unsigned color, float z = 0);
