// Cores on POSIX: the scheduler's affinity mask.
#include <sched.h>

#include <thread>

#include "platform/Cpu.h"

int CoreCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}
