#include "ui/gtk/dialog_module_gtk.h"

#include "ui/gtk/dialog_backend_gtk.h"

extern "C" __attribute__((visibility("default"))) IDialogBackend* LocanymCreateDialogBackend() {
    return CreateGtkDialogBackend().release();
}
