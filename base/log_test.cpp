// Log lines as the host gets them: the cut of long lines, values with control characters
// escaped so that one call writes one line.
#include "base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;

intptr_t Record(int32_t, uintptr_t, uintptr_t text) {
    g_lines.push_back(reinterpret_cast<const wchar_t*>(text));
    return 0;
}

// A long line is cut at 2047 characters, never inside an escape; control characters in values
// are written escaped, so that one call writes one line. Lines before the host is known and the
// prefixes by level are module_messages_test's and the photo reader's checks; the cut of a long
// answer in the query's log is the transport tests'.
TEST(WriteLog, LinesAreCutAndEscapedAsTheHostGetsThem) {
    struct SCase {
        std::wstring strValue, strLogged;
    } cases[] = {
        {std::wstring(2047, L'a'), std::wstring(2047, L'a')},
        {std::wstring(2046, L'x') + L"\n", std::wstring(2046, L'x')},
        {L"Paris\n[Locanym Plugin] Cached", L"Paris\\n[Locanym Plugin] Cached"},
        {std::wstring(L"nul\0bell\x07", 9), L"nul\\x00bell\\x07"},
        {L"del\x7F c1\x85 ls\x2028 ps\x2029", L"del\\x7F c1\\x85 ls\\u2028 ps\\u2029"},
        {L"Z\u00fcrich \u6771\u4eac C:\\photos", L"Z\u00fcrich \u6771\u4eac C:\\photos"},
    };
    SetLogCallback(&Record);
    for (const SCase& c : cases) {
        g_lines.clear();
        WriteLog(kLogInfo, L"%s", c.strValue);
        ASSERT_EQ(1u, g_lines.size());
        EXPECT_EQ(c.strLogged, g_lines[0]);
    }
    SetLogCallback(nullptr);
}

}  // namespace
