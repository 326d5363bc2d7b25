// The Windows module through its entry point under Wine (module_messages_test runs beside it,
// its version text included): a caption against the replay server that scripts/test.sh
// --windows starts natively. The photo
// and the caption the Linux module gave for it come in LOCANYM_TEST_PHOTO and
// LOCANYM_TEST_CAPTION; without them the caption test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/text.h"
#include "tests/support/plugin_host.h"

namespace {

TEST(WindowsModule, CaptionIsTheOneTheLinuxModuleGives) {
    // Wide: the narrow environment holds only what the ANSI code page can.
    const wchar_t* pszPhoto = _wgetenv(L"LOCANYM_TEST_PHOTO");
    const wchar_t* pszCaption = _wgetenv(L"LOCANYM_TEST_CAPTION");
    if (!pszPhoto || !pszCaption || !_wgetenv(L"LOCANYM_SERVICE_URL"))
        GTEST_SKIP() << "no photo, caption or replay server given";
    CTestHost host;
    // The settings scripts/test.sh gives the Linux host: GeoNames, the place name alone.
    host.m_settings[L"iProv"] = STestSetting{false, 2, L""};
    host.m_settings[L"Format"] = STestSetting{true, 0, L"%A"};
    host.Start();
    std::wstring strCaption;
    ASSERT_TRUE(host.Caption(pszPhoto, strCaption));
    EXPECT_EQ(WideToUtf8(strCaption), WideToUtf8(pszCaption));
}

}  // namespace
