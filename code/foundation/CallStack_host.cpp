// The native build has no symbol handler: call-stack texts are empty, as on
// Windows when the handler failed to start.
#include "CallStack.h"

std::string CallStackText() { return std::string(); }
std::string SystemMessageForLastError() { return std::string(); }
bool IsSymbolHandlerReady() { return false; }
