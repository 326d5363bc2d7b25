// Log lines as the host gets them: the prefix by level, the cut of long lines, values with
// control characters escaped so that one call writes one line, and deferred lines.
#include "base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SLine {
    int32_t nCode;
    std::wstring strPrefix, strText;
};
std::vector<SLine> g_lines;

intptr_t Record(int32_t nCode, uintptr_t first, uintptr_t second) {
    g_lines.push_back(
        {nCode, reinterpret_cast<const wchar_t*>(first), reinterpret_cast<const wchar_t*>(second)});
    return 0;
}

// A line before the host is known goes nowhere, and a long one is cut at 2047 characters.
TEST(WriteLog, PrefixByLevelAndLongLinesCut) {
    g_lines.clear();
    SetLogCallback(nullptr);
    WriteLog(kLogInfo, L"lost %d", 1);
    EXPECT_TRUE(g_lines.empty());

    SetLogCallback(&Record);
    WriteLog(kLogInfo, L"gps location: %s,%s", L"1.0000000", L"2.0000000");
    WriteLog(kLogError, L"HTTP Error %d, url=%s", 404, std::wstring(L"http://x"));
    WriteLog(kLogInfo, L"%s", std::wstring(2047, L'a'));
    WriteLog(kLogInfo, L"   Response: %s", std::wstring(5000, L'b'));
    // The cut never leaves half an escape.
    WriteLog(kLogInfo, L"%s", std::wstring(2046, L'x') + L"\n");
    SetLogCallback(nullptr);
    ASSERT_EQ(g_lines.size(), 5u);
    EXPECT_EQ(g_lines[0].nCode, 7);
    EXPECT_EQ(g_lines[0].strPrefix, L"[Locanym Plugin]");
    EXPECT_EQ(g_lines[0].strText, L"gps location: 1.0000000,2.0000000");
    EXPECT_EQ(g_lines[1].strPrefix, L"[!Locanym Plugin]");
    EXPECT_EQ(g_lines[1].strText, L"HTTP Error 404, url=http://x");
    EXPECT_EQ(g_lines[2].strText, std::wstring(2047, L'a'));
    EXPECT_EQ(g_lines[3].strText, L"   Response: " + std::wstring(2047 - 13, L'b'));
    EXPECT_EQ(g_lines[4].strText, std::wstring(2046, L'x'));
}

TEST(WriteLog, ControlCharactersInValuesAreWrittenEscaped) {
    struct SCase {
        std::wstring strValue, strLogged;
    } cases[] = {
        {L"Paris\n[Locanym Plugin] Cached", L"Paris\\n[Locanym Plugin] Cached"},
        {std::wstring(L"nul\0bell\x07", 9), L"nul\\x00bell\\x07"},
        {L"del\x7F c1\x85 ls\x2028 ps\x2029", L"del\\x7F c1\\x85 ls\\u2028 ps\\u2029"},
        {L"Z\u00fcrich \u6771\u4eac C:\\photos", L"Z\u00fcrich \u6771\u4eac C:\\photos"},
    };
    SetLogCallback(&Record);
    for (const SCase& c : cases) {
        g_lines.clear();
        WriteLog(kLogInfo, L"FindLocation: <%s>", c.strValue);
        ASSERT_EQ(1u, g_lines.size());
        EXPECT_EQ(L"FindLocation: <" + c.strLogged + L">", g_lines[0].strText);
    }
    SetLogCallback(nullptr);
}

TEST(WriteLog, DeferredLinesReachTheHostWhenTheOutermostDeferralEnds) {
    SetLogCallback(&Record);
    g_lines.clear();
    {
        CDeferredLog outer;
        WriteLog(kLogInfo, L"one");
        {
            CDeferredLog inner;
            WriteLog(kLogError, L"two");
        }
        EXPECT_TRUE(g_lines.empty());
    }
    SetLogCallback(nullptr);
    ASSERT_EQ(2u, g_lines.size());
    EXPECT_EQ(L"one", g_lines[0].strText);
    EXPECT_EQ(L"two", g_lines[1].strText);
}

}  // namespace
