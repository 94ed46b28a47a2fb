// The loaded benchmark's control: spends the CPU seconds given on its command line, as
// one thread, and does nothing else (no file, no system call but the clock's), so that
// its time under load is what a process of that length gets of the cores.
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const double seconds = std::strtod(argv[1], nullptr);
    volatile unsigned long sink = 0;
    for (;;) {
        for (unsigned long i = 0; i < 10000; ++i) sink = sink + i;  // some microseconds between looks
        timespec spent{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
        if (static_cast<double>(spent.tv_sec) + static_cast<double>(spent.tv_nsec) / 1e9 >= seconds) return 0;
    }
}
