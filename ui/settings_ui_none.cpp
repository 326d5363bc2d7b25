#include "ui/settings_ui.h"

// Build without a dialog toolkit: the dialog never opens, so nothing is ever confirmed.
std::unique_ptr<ISettingsUI> CreateSettingsUI() {
    return std::make_unique<CSettingsUI>(nullptr);
}
