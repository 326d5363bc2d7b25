// The Win32 dialog backend: real modal dialog boxes made from the DIALOGEX resources compiled
// into the module that holds this code (the DLL, or a test program that carries the same
// resources). Use from the thread that runs the dialogs; every call below belongs to it.
#pragma once

#include <memory>

#include "ui/dialog.h"

// A backend whose RunModal returns 0 (no window) when the dialog's resource is missing or no
// window can be made.
std::unique_ptr<IDialogBackend> CreateWin32DialogBackend();
