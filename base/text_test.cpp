// The escaping of texts the host stores, where the settings through the module and the host
// (module_settings_test, host_test) do not reach: the round trip of any text is the url_text
// fuzz target's check. And the UTF-8 codec.
#include "base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeText, EncodesBackslashAndLineBreaksAndQuotesOnlyWhenAsked) {
    struct {
        std::wstring in;
        bool bQuote;
        std::wstring out;
    } cases[] = {
        {L", ", true, L"\", \""},
        {L"C:\\dir\r\n", false, L"C:\\\\dir\\r\\n"},
        {L"", true, L""},  // empty stays empty, no quotes
    };
    for (const auto& c : cases) {
        std::wstring t = c.in;
        EscapeText(t, c.bQuote);
        EXPECT_EQ(t, c.out) << "input: " << WideToUtf8(c.in);
    }
}

TEST(UnescapeText, DecodesEscapesAndOneEnclosingPair) {
    struct {
        std::wstring in, out;
    } cases[] = {
        {L"a\\Nb\\Rc", L"a\nb\rc"},
        {L"\\\\n", L"\\n"},        // the produced character is not read again
        {L"end\\", L"end"},        // trailing backslash dropped
        {L"plain\"", L"plain\""},  // no leading quote: the final one stays
    };
    for (const auto& c : cases) {
        std::wstring t = c.in;
        UnescapeText(t);
        EXPECT_EQ(t, c.out) << "input: " << WideToUtf8(c.in);
    }
}

TEST(Utf8, DecodesAndEncodesAndReplacesMalformedBytes) {
    EXPECT_EQ(Utf8ToWide("Par\xC3\xADs \xE6\x9D\xB1 \xF0\x9F\x98\x80"), L"París 東 \U0001F600");
    EXPECT_EQ(WideToUtf8(L"París 東 \U0001F600"), "Par\xC3\xADs \xE6\x9D\xB1 \xF0\x9F\x98\x80");
    // Truncated, overlong, surrogate and stray continuation bytes each become U+FFFD, and the
    // valid text around them is kept.
    EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xC0\xAFx"), L"\uFFFD\uFFFDx");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80z"), L"\uFFFD\uFFFD\uFFFDz");
    EXPECT_EQ(Utf8ToWide("\x80ok"), L"\uFFFDok");
}

}  // namespace
