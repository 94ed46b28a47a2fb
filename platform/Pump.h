// The hooks through which a long job lets its host breathe and speak: the
// dialog, the command line and the tests each install their own.
#pragma once

using PumpHook = void (*)(void* context);
using MessageBoxHook = void (*)(void* context, const char* text);

// Installs the hook for PumpMessages; a null hook restores the platform default.
void SetPumpHook(PumpHook hook, void* context);
// Installs the hook for ShowMessageBox; a null hook restores the platform default.
void SetMessageBoxHook(MessageBoxHook hook, void* context);

// Lets the host handle what waits for it. Default: on Windows, dispatch the
// thread's pending window messages (a WM_QUIT is posted again and ends the
// round); elsewhere nothing.
void PumpMessages();
// Shows `text` and waits until the user has read it. Default: on Windows a modal
// box with an OK button, the exclamation icon and the program's name (its
// executable's file name without the extension) as caption; elsewhere the text
// on standard error.
void ShowMessageBox(const char* text);
