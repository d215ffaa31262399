// Text work of the GLSL shaders that needs no GL: the line numbers of a
// driver's compile messages, turned to point into the shader's own file.
#pragma once
#include <string>

// Each message line's number moved by the offset (the shared prelude's line
// count, negated), for the two message forms drivers write: "(13) ..." and
// "ERROR: 0:13: ...". Empty lines are dropped.
std::string ShiftInfoLogLines(const std::string& log, int offset);

// The offset for a prelude text: minus (its line feeds + 1), the line feed
// put between prelude and shader counting too.
int PreludeLineOffset(const std::string& prelude);
