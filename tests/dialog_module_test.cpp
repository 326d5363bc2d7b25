// The plug-in's settings dialogs live in a module of their own beside it, loaded at the first
// dialog, so that a show never loads the toolkit.
#include <gtest/gtest.h>

#include "tests/support/plugin_host.h"

namespace {

// A plug-in installed without its dialog module still answers message 5: no dialog, a log
// line that names the missing file.
TEST(DialogModule, WithoutItTheDialogDoesNotOpenAndTheLogSaysWhy) {
    CTestHost host;  // a copy of the module alone in a folder of its own
    host.Start();
    EXPECT_EQ(host.Send(kMsgConfigure, 0), 0u);
    bool bSaid = false;
    for (const STestCall& c : host.Calls())
        bSaid |= c.nCode == kCbLog && c.strPrefix.rfind(L"[!", 0) == 0 &&
                 c.strText.find(L"Settings dialog: cannot load") != std::wstring::npos &&
                 c.strText.find(L"Locanym-gtk") != std::wstring::npos;
    EXPECT_TRUE(bSaid);
}

}  // namespace
