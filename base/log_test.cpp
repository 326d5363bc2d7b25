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

// The host shows the prefix and the text; a line before the host is known goes nowhere, and a
// long one is cut at 2047 characters.
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
    SetLogCallback(nullptr);
    ASSERT_EQ(g_lines.size(), 4u);
    EXPECT_EQ(g_lines[0].nCode, 7);
    EXPECT_EQ(g_lines[0].strPrefix, L"[Locanym Plugin]");
    EXPECT_EQ(g_lines[0].strText, L"gps location: 1.0000000,2.0000000");
    EXPECT_EQ(g_lines[1].strPrefix, L"[!Locanym Plugin]");
    EXPECT_EQ(g_lines[1].strText, L"HTTP Error 404, url=http://x");
    EXPECT_EQ(g_lines[2].strText, std::wstring(2047, L'a'));
    EXPECT_EQ(g_lines[3].strText, L"   Response: " + std::wstring(2047 - 13, L'b'));
}

}  // namespace
