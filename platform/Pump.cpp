// Hook storage for the pump and the message box; the defaults live with each platform.
#include "platform/Pump.h"

#include "platform/PumpDefaults.h"

namespace {
PumpHook g_pumpHook = nullptr;
void* g_pumpContext = nullptr;
MessageBoxHook g_boxHook = nullptr;
void* g_boxContext = nullptr;
}  // namespace

void SetPumpHook(PumpHook hook, void* context) {
    g_pumpHook = hook;
    g_pumpContext = context;
}

void SetMessageBoxHook(MessageBoxHook hook, void* context) {
    g_boxHook = hook;
    g_boxContext = context;
}

void PumpMessages() {
    if (g_pumpHook != nullptr) {
        g_pumpHook(g_pumpContext);
    } else {
        DefaultPumpMessages();
    }
}

void ShowMessageBox(const char* text) {
    if (g_boxHook != nullptr) {
        g_boxHook(g_boxContext, text);
    } else {
        DefaultShowMessageBox(text);
    }
}
