// The processor as a job may use it: how many cores, and how busy they are.
#pragma once

// The number of cores the process may run on; at least 1.
int CoreCount();
// Cores the rest of the system keeps busy now: the other tasks running at this
// moment (Linux), else the 1-minute load average (POSIX); -1 when the system does
// not tell (Windows).
double BusyCores();
