// Log lines with hostile values: one call writes one line, whatever the values hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.h"

namespace {

std::vector<std::wstring> g_texts;

intptr_t Record(int32_t, uintptr_t, uintptr_t second) {
    g_texts.push_back(reinterpret_cast<const wchar_t*>(second));
    return 0;
}

TEST(LogEscape, ControlCharactersInValuesAreWrittenEscaped) {
    struct SCase {
        std::wstring strValue, strLogged;
    } cases[] = {
        {L"Paris\n[Locanym Plugin] Cached", L"Paris\\n[Locanym Plugin] Cached"},
        {L"a\r\nb\tc", L"a\\r\\nb\\tc"},
        {std::wstring(L"nul\0bell\x07", 9), L"nul\\x00bell\\x07"},
        {L"del\x7F c1\x85 ls\x2028 ps\x2029", L"del\\x7F c1\\x85 ls\\u2028 ps\\u2029"},
        {L"Z\u00fcrich \u6771\u4eac C:\\photos", L"Z\u00fcrich \u6771\u4eac C:\\photos"},
    };
    SetLogCallback(&Record);
    for (const SCase& c : cases) {
        g_texts.clear();
        WriteLog(kLogInfo, L"FindLocation: <%s>", c.strValue);
        ASSERT_EQ(1u, g_texts.size());
        EXPECT_EQ(L"FindLocation: <" + c.strLogged + L">", g_texts[0]);
    }
    // The cut to 2047 characters never leaves half an escape.
    g_texts.clear();
    WriteLog(kLogInfo, L"%s", std::wstring(2046, L'x') + L"\n");
    ASSERT_EQ(1u, g_texts.size());
    EXPECT_EQ(std::wstring(2046, L'x'), g_texts[0]);
    SetLogCallback(nullptr);
}

TEST(LogEscape, DeferredLinesReachTheHostWhenTheOutermostDeferralEnds) {
    SetLogCallback(&Record);
    g_texts.clear();
    {
        CDeferredLog outer;
        WriteLog(kLogInfo, L"one");
        {
            CDeferredLog inner;
            WriteLog(kLogError, L"two");
        }
        EXPECT_TRUE(g_texts.empty());
    }
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), g_texts);
    SetLogCallback(nullptr);
}

}  // namespace
