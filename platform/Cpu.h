// The processor as a job may use it: how many cores, and how busy they are.
#pragma once

// The number of cores the process may run on; at least 1.
int CoreCount();
// The number of other tasks running or ready to run on the system right now, taken
// as the fewest of a few looks a quarter of a millisecond apart (one when it finds
// none), so that a task that only passes by does not count; -1 where the system cannot
// tell (Windows).
int OtherRunnableTasks();
