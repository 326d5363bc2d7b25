#include "core/settings_ui.h"

namespace {
// Build without a dialog toolkit: the dialog never opens, so nothing is ever confirmed.
class CNoSettingsUI : public ISettingsUI {
  public:
    bool RunSettingsDialog(uintptr_t, CLocanymDlgValues&, ISettingsActions&) override {
        return false;
    }
};
}  // namespace

std::unique_ptr<ISettingsUI> CreateSettingsUI() {
    return std::make_unique<CNoSettingsUI>();
}
