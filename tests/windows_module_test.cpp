// The Windows module through its entry point under Wine: the version record it reports and a
// caption against the replay server that scripts/test.sh --windows starts natively. The photo
// and the caption the Linux module gave for it come in LOCANYM_TEST_PHOTO and
// LOCANYM_TEST_CAPTION; without them the caption test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/text.h"
#include "tests/support/plugin_host.h"

namespace {

TEST(WindowsModule, VersionTextComesFromTheVersionResource) {
    CTestHost host;
    wchar_t buffer[64] = {0};
    EXPECT_EQ(host.Send(kMsgVersionText, reinterpret_cast<uintptr_t>(buffer)), 1u);
    EXPECT_EQ(std::wstring(buffer), L"Locanym v1.0.1");
}

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
