// The GTK dialog backend as a module of its own (Locanym-gtk.so beside Locanym.so), which the
// plug-in loads at its first dialog: GTK and the libraries under it take longer to load than a
// whole show answered from the cache, and a show never opens a dialog.
#pragma once

#include "ui/dialog.h"

// The one symbol the dialog module exports: makes a GTK dialog backend, owned by the caller
// (delete it through IDialogBackend while the module is loaded). Never null.
extern "C" {
using PFN_CREATE_DIALOG_BACKEND = IDialogBackend* (*)();
}
constexpr const char kCreateDialogBackendSymbol[] = "LocanymCreateDialogBackend";
