// Cores on POSIX: the scheduler's affinity mask; how busy they are, from /proc/loadavg.
#include <sched.h>

#include <algorithm>
#include <chrono>
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
    int fewest = -1;
    for (int look = 0; look < 4 && fewest != 0; ++look) {
        if (look > 0) std::this_thread::sleep_for(std::chrono::microseconds(250));
        std::FILE* file = std::fopen("/proc/loadavg", "r");
        int running = 0;
        // "0.52 0.58 0.59 R/T ...": R counts the tasks running or runnable, this thread among them.
        const bool read = file != nullptr && std::fscanf(file, "%*s %*s %*s %d", &running) == 1;
        if (file != nullptr) std::fclose(file);
        if (!read) return -1;
        fewest = fewest < 0 ? running - 1 : std::min(fewest, running - 1);
    }
    return std::max(fewest, 0);
}
