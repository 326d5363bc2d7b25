// The module's one exported function.
#include "base/export.h"
#include "base/log.h"
#include "core/app.h"

namespace {
// Module start-up runs when the module is loaded, before the host's first message.
struct CModuleStartup {
    CModuleStartup() { GetApp().InitInstance(); }
} g_startup;
}  // namespace

LOCANYM_EXPORT uintptr_t sldPlugInMsgHandler(uintptr_t nMessage, uintptr_t wParam,
                                             uintptr_t lParam) {
    // Last guard: nothing raised while a message is handled may reach the host.
    try {
        return GetApp().OnMessage(nMessage, wParam, lParam);
    } catch (const std::exception& e) {
        try {
            WriteLog(kLogError, L">>> Unknown exception in sldPlugInMsgHandler(%d): %s", nMessage,
                     e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            WriteLog(kLogError, L">>> Unknown exception in sldPlugInMsgHandler(%d)", nMessage);
        } catch (...) {
        }
    }
    return 0;
}
