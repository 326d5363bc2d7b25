// The settings user interface on top of a dialog backend: runs the main dialog for the core.
#pragma once

#include <memory>

#include "core/settings_ui.h"
#include "ui/dialog.h"

class CSettingsUI : public ISettingsUI {
  public:
    // backend: makes the dialogs' windows; owned. Null gives a UI whose dialog never opens.
    explicit CSettingsUI(std::unique_ptr<IDialogBackend> pBackend);
    ~CSettingsUI() override;

    bool RunSettingsDialog(uintptr_t hParent, CLocanymDlgValues& values,
                           ISettingsActions& actions) override;

  private:
    std::unique_ptr<IDialogBackend> m_pBackend;
};
