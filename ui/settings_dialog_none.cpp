#include "ui/settings_dialog.h"

// Build without a dialog toolkit: the dialog never opens, so nothing is ever confirmed.
bool RunSettingsDialog(uintptr_t, CLocanymApp&, CLocanymDlgValues&) {
    return false;
}
