// Standard streams on POSIX: already binary.
#include <unistd.h>

#include "platform/Console.h"

void SetBinaryStdStreams() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }
