// Call-stack texts for the error log, through the debug help library.
#pragma once
#include <string>

// One line per frame of the calling thread, starting with this function's
// own frame; empty while the symbol handler is not ready.
std::string CallStackText();

// The system's text for GetLastError(), without its last three characters
// (the full stop and line break the system texts end with); empty when that
// text is shorter than three characters.
std::string LastErrorText();

// The system's own, untrimmed text for GetLastError() (at most 1000
// characters; empty when the system has none, and always in the native build).
std::string SystemMessageForLastError();

// Seam for texts the system does not give on demand: tests replace the
// system's text that LastErrorText trims. Null restores the real call.
typedef std::string (*LastErrorMessageCall)();
void SetLastErrorMessageSeam(LastErrorMessageCall call);

// Whether call-stack texts can be had: the symbol handler starts with the
// first call of this or CallStackText after its construction (not before the
// entry point, which it would hold up), and is ready until its clean-up.
bool IsSymbolHandlerReady();
