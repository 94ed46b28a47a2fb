// Which names extract may create: what the packet format allows is not always what
// the file system can hold, and nothing may land outside the target folder.
#pragma once

#include <string>

#include "reader/PacketIndex.h"

// True where names follow the Windows rules (the program's own platform).
constexpr bool kWindowsNames =
#ifdef _WIN32
    true;
#else
    false;
#endif

// Why `name` (one path component, in the local encoding) cannot be created as a file
// or folder; nullptr when it can. Everywhere: empty, ".", "..", a drive ("C:"), NUL,
// "/" or "\", a lead byte without its trail byte. With `windowsRules` also <>:"|?* and
// control characters, a trailing dot or space, and the device names CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, CONIN$ and CONOUT$, with or without an extension. `coding`
// tells double-byte characters apart.
const char* TargetNameProblem(const std::string& name, bool windowsRules, NameCoding coding);
