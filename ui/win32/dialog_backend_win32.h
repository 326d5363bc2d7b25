// The Win32 dialog backend: real modal dialog boxes made from the DIALOGEX resources compiled
// into the module that holds this code (the DLL, or a test program that carries the same
// resources). Use from the thread that runs the dialogs; every call below belongs to it.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/dialog.h"

// A backend whose RunModal returns 0 (no window) when the dialog's resource is missing or no
// window can be made.
std::unique_ptr<IDialogBackend> CreateWin32DialogBackend();

// Called once each dialog window is on screen and painted, before the user can act: hWindow is
// its HWND. For tests that drive and photograph the real windows; null removes it.
using Win32DialogShownHook = void (*)(uintptr_t hWindow, CDialog& dialog, void* pContext);
void SetWin32DialogShownHook(Win32DialogShownHook pfnHook, void* pContext);
