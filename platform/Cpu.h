// The processor as a job may use it: how many cores, and how busy they are.
#pragma once

// The number of cores the process may run on; at least 1.
int CoreCount();
// The number of other tasks running or ready to run on the system at this instant
// (a task passing by counts too: callers look more than once); -1 where the system
// cannot tell (Windows).
int OtherRunnableTasks();
