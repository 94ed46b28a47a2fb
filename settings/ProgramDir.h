// The folder of the running executable, against which every file the program
// keeps beside itself is found.
#pragma once

#include <string>

// Sets `strDir` to the folder holding the running executable, ending with the path
// separator, so a name can be appended directly. Always true; the text is empty
// when the system cannot tell the executable's path.
bool GetProgramDir(std::string& strDir);

// The folder part of an executable's path: everything up to and including its last
// separator (whole characters, so a GBK trail byte 5C is no separator), or the
// path unchanged when it holds none.
std::string ProgramDirOf(const std::string& modulePath);
