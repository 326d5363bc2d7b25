// Captions from hostile answers: values made of placeholders, huge values. The designed
// expansion by later steps is kept, but no text grows past what the cache keeps.
#include <gtest/gtest.h>

#include "core/compose.h"

namespace {

std::wstring Repeat(const std::wstring& part, size_t n) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i) text += part;
    return text;
}

TEST(ComposeBounds, ExpansionOfPlaceholdersInValuesStopsAtTheCacheLimit) {
    CPlugInSettings settings;
    settings.m_strSep = L", ";
    struct SCase {
        const char* pszName;
        std::wstring strFormat;
        CLocationRecord record;
        std::wstring strExpectedStart;
    } cases[] = {
        // Each level multiplies: 10^4 copies of "ab" in all.
        {"nested placeholders",
         L"%L",
         {Repeat(L"%C", 10), Repeat(L"%S", 10), Repeat(L"%Y", 10), Repeat(L"%D", 10), L"ab", L"-"},
         L"abab"},
        // A city made of country codes, each replaced by a long code.
        {"long value inserted many times",
         L"%C (%D)",
         {L"", Repeat(L"%D", 2000), L"", L"", Repeat(L"x", 100), L"-"},
         L"xxxx"},
        {"huge values everywhere",
         L"%A %F %A",
         {Repeat(L"%A", 300000), Repeat(L"c", 300000), Repeat(L"s", 300000), Repeat(L"y", 300000),
          L"", L""},
         L"%A%A"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        settings.m_strFormat = c.strFormat;
        const std::wstring strCaption = ComposeCaption(c.record, settings);
        EXPECT_EQ(kMaxComposedChars, strCaption.size());
        EXPECT_TRUE(strCaption.rfind(c.strExpectedStart, 0) == 0);
    }
    // The expansion itself is the designed one up to the cut.
    settings.m_strFormat = L"%L";
    const std::wstring strNested = ComposeCaption(cases[0].record, settings);
    EXPECT_TRUE(strNested.rfind(Repeat(L"ab", 8000), 0) == 0);
}

}  // namespace
