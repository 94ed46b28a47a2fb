// Cores and load on POSIX: the scheduler's affinity mask, and the tasks running now
// (Linux's /proc/loadavg) or else the load average.
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>

#include <thread>

#include "platform/Cpu.h"

int CoreCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

double BusyCores() {
    // "0.52 0.58 0.59 3/211 12345": the fourth field counts the tasks running at
    // this moment, this one among them. The averages trail the last minute, which
    // on a machine that was busy a moment ago says nothing about the cores now.
    if (FILE* file = ::fopen("/proc/loadavg", "r")) {
        double averages[3];
        int running = 0;
        int total = 0;
        const bool read = ::fscanf(file, "%lf %lf %lf %d/%d", &averages[0], &averages[1], &averages[2], &running,
                                   &total) == 5;
        ::fclose(file);
        if (read && running > 0) return running - 1;
    }
    double load[1];
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}
