#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/log.h"
#include "base/text.h"
#include "platform/module.h"
#include "platform/module_loader.h"
#include "ui/gtk/dialog_module_gtk.h"
#include "ui/settings_ui.h"

namespace {

// Loads the dialog module beside this one when the first dialog is to open, and hands every
// dialog to the backend it makes. Without the module no dialog opens (RunModal answers 0).
class CGtkModuleBackend : public IDialogBackend {
  public:
    int RunModal(CDialog& dialog, uintptr_t hParent) override {
        if (!m_bTried) {
            m_bTried = true;
            Load();
        }
        return m_pBackend ? m_pBackend->RunModal(dialog, hParent) : 0;
    }

  private:
    void Load() {
        const std::filesystem::path module = WideToUtf8(GetOwnModulePath());
        const std::string strFile =
            (module.parent_path() / LOCANYM_GTK_DIALOG_MODULE).lexically_normal().string();
        std::string strError;
        if (!m_loader.Load(strFile, strError)) {
            WriteLog(kLogError, L"Settings dialog: cannot load %s: %s", Utf8ToWide(strFile),
                     Utf8ToWide(strError));
            return;
        }
        auto pfnCreate = reinterpret_cast<PFN_CREATE_DIALOG_BACKEND>(
            m_loader.FindSymbol(kCreateDialogBackendSymbol));
        if (!pfnCreate) {
            WriteLog(kLogError, L"Settings dialog: %s has no %s", Utf8ToWide(strFile),
                     Utf8ToWide(kCreateDialogBackendSymbol));
            return;
        }
        m_pBackend.reset(pfnCreate());
    }

    CModuleLoader m_loader;  // declared first: the backend's code lives in it
    std::unique_ptr<IDialogBackend> m_pBackend;
    bool m_bTried = false;
};

}  // namespace

std::unique_ptr<ISettingsUI> CreateSettingsUI() {
    return std::make_unique<CSettingsUI>(std::make_unique<CGtkModuleBackend>());
}
