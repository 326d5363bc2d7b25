#include "core/compose.h"

#include <gtest/gtest.h>

namespace {

class ComposeTest : public ::testing::Test {
  protected:
    ComposeTest() {
        settings.m_strSep = L", ";
        settings.m_bAState = 1;
        settings.m_bACountry = 1;
    }
    std::wstring Caption(const std::wstring& tmpl, const std::wstring& loc,
                         const std::wstring& city, const std::wstring& state,
                         const std::wstring& country, const std::wstring& code = L"",
                         std::wstring full = L"") {
        settings.m_strFormat = tmpl;
        return ComposeCaption(CLocationRecord{loc, city, state, country, code, full}, settings);
    }
    CPlugInSettings settings;
};

TEST_F(ComposeTest, AutoTextSkipsACityEqualToTheLocationAndEmptyParts) {
    EXPECT_EQ(Caption(L"%A", L"Lyon", L"Lyon", L"Auvergne-Rhone-Alpes", L"France"),
              L"Lyon, Auvergne-Rhone-Alpes, France");
    settings.m_bAState = 0;
    EXPECT_EQ(Caption(L"%A", L"", L"Como", L"Lombardia", L"Italia"), L"Como, Italia");
    // Only the city is compared: a state repeating the location is still written.
    settings.m_bAState = 1;
    EXPECT_EQ(Caption(L"%A", L"Berlin", L"", L"Berlin", L"Deutschland"),
              L"Berlin, Berlin, Deutschland");
    // The separator comes from the setting, line breaks included.
    settings.m_strSep = L"\n";
    EXPECT_EQ(Caption(L"%A", L"Roma", L"", L"", L"Italia"), L"Roma\nItalia");
}

TEST_F(ComposeTest, TemplatePlaceholders) {
    EXPECT_EQ(Caption(L"%C (%D) %D", L"x", L"Paris", L"", L"", L"FR"), L"Paris (FR) FR");
    EXPECT_EQ(Caption(L"%l %c %% %Q", L"a", L"b", L"c", L"d"), L"%l %c %% %Q");
    // A service without a full address: %F is the Auto text.
    EXPECT_EQ(Caption(L"%F", L"Lyon", L"Lyon", L"", L"France"), L"Lyon, France");
    EXPECT_EQ(Caption(L"%L|%C|%S|%Y|%D|%F|%A", L"l", L"c", L"s", L"y", L"d", L"f"),
              L"l|c|s|y|d|f|l, c, s, y");
}

TEST_F(ComposeTest, PlaceholdersInsideValuesAreReplacedByLaterStepsOnly) {
    // The location holds "%C": the city step runs after it and replaces it.
    EXPECT_EQ(Caption(L"%L", L"near %C", L"Nice", L"", L"", L"", L"-"), L"near Nice");
    // The country holds "%L": the location step already ran, so it stays.
    EXPECT_EQ(Caption(L"%Y", L"Here", L"", L"", L"%L land", L"", L"-"), L"%L land");
    // A value holding its own placeholder is not expanded again.
    EXPECT_EQ(Caption(L"%C", L"", L"%C%C", L"", L"", L"", L"-"), L"%C%C");
}

std::wstring Repeat(const std::wstring& part, size_t n) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i) text += part;
    return text;
}

// Captions from hostile answers: the designed expansion by later steps is kept, but no text
// grows past what the cache keeps.
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
