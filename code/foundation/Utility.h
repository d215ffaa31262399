// Path, text and file functions that several subsystems share.
#pragma once
#include <string>

// Removes the first line in place: everything up to and including the first
// byte below 32 as a signed char (control characters and bytes 128-255).
// Unchanged when there is no such byte.
void DropFirstLine(std::string& text);
