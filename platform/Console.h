// The standard streams of a console program.
#pragma once

#include <cstdio>

// Makes standard output and standard error binary, so "\r\n" leaves as written. On
// POSIX also keeps the number of a closed standard stream taken, so that no file the
// program opens takes its place (writes to it then fail). Call first thing.
void SetBinaryStdStreams();
// True when `stream` (stdout or stderr) is a terminal.
bool IsTerminal(std::FILE* stream);
