#include "core/compose.h"

#include <gtest/gtest.h>

namespace {

// Auto text skips a city equal to the location (only the city is compared: a state repeating
// the location is written), empty parts and, with AState off, the state; the separator comes
// from the setting, line breaks included. %F without a full address is the Auto text. A
// placeholder inside a value is replaced by a later step only, never by its own or an earlier.
TEST(Compose, PlaceholdersAndAutoText) {
    struct SCase {
        const wchar_t* pszFormat;
        CLocationRecord record;
        const wchar_t* pszExpected;
        int32_t bAState = 1;
        const wchar_t* pszSep = L", ";
    } cases[] = {
        {L"%A", {L"Lyon", L"Lyon", L"Rhone", L"France", L"", L""}, L"Lyon, Rhone, France"},
        {L"%A", {L"", L"Como", L"Lombardia", L"Italia", L"", L""}, L"Como, Italia", 0},
        {L"%A", {L"Berlin", L"", L"Berlin", L"Germany", L"", L""}, L"Berlin, Berlin, Germany"},
        {L"%A", {L"Roma", L"", L"", L"Italia", L"", L""}, L"Roma\nItalia", 1, L"\n"},
        {L"%C (%D) %D", {L"x", L"Paris", L"", L"", L"FR", L""}, L"Paris (FR) FR"},
        {L"%l %c %% %Q", {L"a", L"b", L"c", L"d", L"", L""}, L"%l %c %% %Q"},
        {L"%F", {L"Lyon", L"Lyon", L"", L"France", L"", L""}, L"Lyon, France"},
        {L"%L|%C|%S|%Y|%D|%F|%A", {L"l", L"c", L"s", L"y", L"d", L"f"}, L"l|c|s|y|d|f|l, c, s, y"},
        {L"%L", {L"near %C", L"Nice", L"", L"", L"", L"-"}, L"near Nice"},
        {L"%Y", {L"Here", L"", L"", L"%L land", L"", L"-"}, L"%L land"},
        {L"%C", {L"", L"%C%C", L"", L"", L"", L"-"}, L"%C%C"},
    };
    for (const SCase& c : cases) {
        CPlugInSettings settings;
        settings.m_strFormat = c.pszFormat;
        settings.m_strSep = c.pszSep;
        settings.m_bAState = c.bAState;
        settings.m_bACountry = 1;
        EXPECT_EQ(ComposeCaption(c.record, settings), c.pszExpected) << c.pszFormat;
    }
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
