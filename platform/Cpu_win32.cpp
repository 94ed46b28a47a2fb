// Cores on Windows.
#include <thread>

#include "platform/Cpu.h"

int CoreCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

int OtherRunnableTasks() { return -1; }
