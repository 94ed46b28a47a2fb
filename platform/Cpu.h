// The processor as a job may use it: how many cores.
#pragma once

// The number of cores the process may run on; at least 1.
int CoreCount();
