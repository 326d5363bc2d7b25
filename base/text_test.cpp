// The escaping of texts the host stores, where the settings through the module and the host
// (module_settings_test, host_test) do not reach: the round trip of any text is the url_text
// fuzz target's check. And the UTF-8 codec.
#include "base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeText, EncodesBackslashLineBreaksAndQuotesOnlyWhenAskedAndDecodesThem) {
    struct {
        std::wstring in;
        int nQuote;  // -1: unescape; 0 or 1: escape without or with quotes
        std::wstring out;
    } cases[] = {
        {L", ", 1, L"\", \""},
        {L"C:\\dir\r\n", 0, L"C:\\\\dir\\r\\n"},
        {L"", 1, L""},  // empty stays empty, no quotes
        {L"a\\Nb\\Rc", -1, L"a\nb\rc"},
        {L"\\\\n", -1, L"\\n"},        // the produced character is not read again
        {L"end\\", -1, L"end"},        // trailing backslash dropped
        {L"plain\"", -1, L"plain\""},  // no leading quote: the final one stays
    };
    for (const auto& c : cases) {
        std::wstring t = c.in;
        if (c.nQuote < 0)
            UnescapeText(t);
        else
            EscapeText(t, c.nQuote != 0);
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
