// Call-stack texts for the error log, through the debug help library.
#pragma once
#include <string>

// One line per frame of the calling thread, starting with this function's
// own frame; empty while the symbol handler is not ready.
std::string CallStackText();

// The system's text for GetLastError(), without its last three characters
// (the full stop and line break the system texts end with).
std::string LastErrorText();

// Whether the symbol handler started (and has not been cleaned up).
bool IsSymbolHandlerReady();
