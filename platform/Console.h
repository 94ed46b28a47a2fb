// The standard streams of a console program.
#pragma once

#include <cstdio>

// Makes standard output and standard error binary, so "\r\n" leaves as written.
void SetBinaryStdStreams();
// True when `stream` (stdout or stderr) is a terminal.
bool IsTerminal(std::FILE* stream);
