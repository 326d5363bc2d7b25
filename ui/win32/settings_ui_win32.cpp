#include "ui/settings_ui.h"
#include "ui/win32/dialog_backend_win32.h"

std::unique_ptr<ISettingsUI> CreateSettingsUI() {
    return std::make_unique<CSettingsUI>(CreateWin32DialogBackend());
}
