// What PumpMessages and ShowMessageBox do when no hook is installed; one per platform.
#pragma once

void DefaultPumpMessages();
void DefaultShowMessageBox(const char* text);
