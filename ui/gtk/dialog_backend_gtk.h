// The GTK 3 dialog backend: real modal windows laid out from the dialog resources. Use from
// one thread only, the first one that runs a dialog (GTK is initialised there on first use).
#pragma once

#include <memory>

#include "ui/dialog.h"

// A backend whose RunModal returns 0 (no window) when no display can be opened.
std::unique_ptr<IDialogBackend> CreateGtkDialogBackend();

// Called once each dialog window is on screen, before the user can act: pWindow is its
// GtkWindow*. For tests that inspect and photograph the real windows; null removes it.
using GtkDialogShownHook = void (*)(void* pWindow, CDialog& dialog, void* pContext);
void SetGtkDialogShownHook(GtkDialogShownHook pfnHook, void* pContext);

// The widget made for the control at nIndex of the dialog's resource (as GtkWidget*), found
// in a window of this backend; null when there is none.
void* FindGtkControlWidget(void* pWindow, size_t nIndex);
