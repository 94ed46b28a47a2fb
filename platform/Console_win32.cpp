// Standard streams of the Windows C runtime, text mode by default.
#include <fcntl.h>
#include <io.h>

#include "platform/Console.h"

void SetBinaryStdStreams() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }
