#include "ui/gtk/dialog_backend_gtk.h"
#include "ui/settings_ui.h"

std::unique_ptr<ISettingsUI> CreateSettingsUI() {
    return std::make_unique<CSettingsUI>(CreateGtkDialogBackend());
}
