// Off Windows there is no window to keep alive, and messages go to standard error.
#include <cstdio>

#include "platform/PumpDefaults.h"

void DefaultPumpMessages() {}

void DefaultShowMessageBox(const char* text) { std::fputs(text, stderr); }
