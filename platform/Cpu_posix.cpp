// Cores on POSIX: the scheduler's affinity mask; how busy they are, from /proc/loadavg.
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/Cpu.h"

int CoreCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

int OtherRunnableTasks() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (file == nullptr) return -1;
    int running = 0;
    // "0.52 0.58 0.59 R/T ...": R counts the tasks running or runnable, this thread among them.
    const bool read = std::fscanf(file, "%*s %*s %*s %d", &running) == 1;
    std::fclose(file);
    return read ? std::max(running - 1, 0) : -1;
}
