// Standard streams on POSIX: already binary; a closed one is held by a descriptor that
// takes no writes.
#include <fcntl.h>
#include <unistd.h>

#include "platform/Console.h"

void SetBinaryStdStreams() {
    // A standard stream the caller closed keeps its number taken (by /dev/null, read
    // only): the next file the program opens would get it, and what is printed would
    // land in that file. Writes to it fail, as writes to the closed stream would.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) ::close(held);  // another thread took the number first: nothing to do
    }
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }
