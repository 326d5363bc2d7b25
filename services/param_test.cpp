#include "services/param.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

namespace {

TEST(UrlEncode, KeepsUnreservedAndEscapesTheRestAsUtf8) {
    struct SCase {
        const wchar_t* pszIn;
        const wchar_t* pszOut;
    } cases[] = {
        {L"AZaz09-._~", L"AZaz09-._~"},
        {L"k&x=y?# ", L"k%26x%3Dy%3F%23%20"},
        {L"\u00e9\U0001F600", L"%C3%A9%F0%9F%98%80"},
    };
    for (const SCase& c : cases) EXPECT_EQ(c.pszOut, UrlEncode(c.pszIn)) << c.pszOut;
}

// How a service shows an error number or a numeric text a server sent.
TEST(JsonMemberToText, NumbersAndNumericTextsGetTheDecimals) {
    Json::Value obj;
    Json::Reader reader;
    ASSERT_TRUE(reader.parse(R"({"int":401,"real":12.75,"text":"12.75","word":"Invalid key",
        "dots":"1.2.3","point":".","null":null,"obj":{"a":1},"neg":-3.5})",
                             obj));
    struct SCase {
        const char* pszName;
        int nDecimals;
        const wchar_t* pszOut;
    } cases[] = {
        {"int", 2, L"401.00"}, {"real", 1, L"12.8"},        {"text", 0, L"13"}, {"dots", 1, L"1.2"},
        {"point", 0, L"0"},    {"neg", 0, L"-4"},           {"null", 0, L""},   {"obj", 0, L""},
        {"absent", 0, L""},    {"word", 0, L"Invalid key"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.pszOut, JsonMemberToText(obj, c.pszName, c.nDecimals)) << c.pszName;
    EXPECT_EQ(L"", JsonMemberToText(Json::Value(5), "int", 0));
}

}  // namespace
