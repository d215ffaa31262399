// What Windows makes of a file name. Names from the network (dream names,
// archive entries, the game server's map and palette paths) become paths on
// the player's disk: these checks keep them to names Windows stores as
// written.
#pragma once
#include <string>

// Whether Windows takes a path component for a device (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM and LPT with a port digit) in any folder, whatever
// extension follows and whatever blanks trail the name. Opening one can
// block on a serial port or printer, or read the console.
bool IsDeviceName(const std::string& component);

// Whether one path component is stored under exactly this name: not empty,
// no control character or DEL, none of \ / : * ? " < > |, no trailing dot or
// blank (Windows drops them, so ". ." would climb to the parent), and not a
// device name.
bool IsPlainFileName(const std::string& component);
