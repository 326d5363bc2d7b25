// The conversions the module's texts use (no caller asks for widths or flags beyond these).
#include "base/format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(FormatText, TextsIntegersAndMalformedFormats) {
    const wchar_t* none = nullptr;
    const std::pair<std::wstring, const wchar_t*> cases[] = {
        {FormatText(L"%s,%s", std::wstring(L"45.46"), L"-7.69"), L"45.46,-7.69"},
        {FormatText(L"[%s]", std::string("caf\xC3\xA9")), L"[café]"},
        {FormatText(L"<%s>", none), L"<>"},
        // Without a 64-bit length a value is taken in 32 bits, as printf would.
        {FormatText(L"%x", -1), L"ffffffff"},
        {FormatText(L"%lld", -1234567890123LL), L"-1234567890123"},
        {FormatText(L"%d", 4294967296LL + 7), L"7"},
        {FormatText(L"Error %08xh: %02x", 0x80070002u, 7), L"Error 80070002h: 07"},
        {FormatText(L"100%% sure"), L"100% sure"},
        {FormatText(L"%s and %d"), L" and 0"},
        {FormatText(L"%d", L"text"), L"0"},
        {FormatText(L"%s", 12), L"12"},
    };
    for (const auto& [strResult, pszExpected] : cases) EXPECT_EQ(strResult, pszExpected);
}

TEST(FormatText, FloatsUseAPointWhateverTheLocale) {
    // A host may have switched the process to a locale with a decimal comma.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    EXPECT_EQ(FormatText(L"%.7f", 45.46419444444), L"45.4641944");
    EXPECT_EQ(FormatText(L"%g %g %g", 45.5, 0.0001, 1e20), L"45.5 0.0001 1e+20");
    EXPECT_EQ(FormatText(L"F%.1f EV %+.1f %.0f", 3.5, -0.333, 12.75), L"F3.5 EV -0.3 13");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
