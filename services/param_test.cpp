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
        {L"-33.8688000", L"-33.8688000"},
        {L"AZaz09-._~", L"AZaz09-._~"},
        {L"a b", L"a%20b"},
        {L"k&x=y?#", L"k%26x%3Dy%3F%23"},
        {L"\u00e9", L"%C3%A9"},
        {L"\U0001F600", L"%F0%9F%98%80"},
        {L"", L""},
    };
    for (const SCase& c : cases) EXPECT_EQ(c.pszOut, UrlEncode(c.pszIn)) << c.pszOut;
}

TEST(JoinRequestUrl, JoinsPairsInListOrderWithNamesUnencoded) {
    CParamList params{{L"lat", L"-33.8688000"}, {L"lng", L"151.2093000"}, {L"a b", L"c d"}};
    EXPECT_EQ(L"http://h/p?lat=-33.8688000&lng=151.2093000&a b=c%20d",
              JoinRequestUrl(L"http://h/p", params));
    EXPECT_EQ(L"http://h/p?", JoinRequestUrl(L"http://h/p", {}));
}

TEST(IsNumericText, DigitsAndPointsOnly) {
    EXPECT_TRUE(IsNumericText(L"12.75"));
    EXPECT_TRUE(IsNumericText(L"..123"));
    EXPECT_FALSE(IsNumericText(L""));
    EXPECT_FALSE(IsNumericText(L"-1"));
    EXPECT_FALSE(IsNumericText(L"1e5"));
    EXPECT_FALSE(IsNumericText(L" 1"));
}

TEST(JsonMemberToText, NumbersAndNumericTextsGetTheDecimals) {
    Json::Value obj;
    Json::Reader reader;
    ASSERT_TRUE(reader.parse(R"({"int":401,"real":12.75,"text":"12.75","word":"Invalid key",
        "dots":"1.2.3","point":".","null":null,"bool":true,"arr":[1],"obj":{"a":1},
        "utf8":"Stra\u00dfe","neg":-3.5})",
                             obj));
    struct SCase {
        const char* pszName;
        int nDecimals;
        const wchar_t* pszOut;
    } cases[] = {
        {"int", 0, L"401"},   {"real", 0, L"13"},    {"text", 0, L"13"},
        {"real", 1, L"12.8"}, {"int", 2, L"401.00"}, {"word", 0, L"Invalid key"},
        {"dots", 1, L"1.2"},  {"point", 0, L"0"},    {"null", 0, L""},
        {"absent", 0, L""},   {"obj", 0, L""},       {"utf8", 0, L"Stra\u00dfe"},
        {"neg", 0, L"-4"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.pszOut, JsonMemberToText(obj, c.pszName, c.nDecimals)) << c.pszName;
    EXPECT_EQ(L"", JsonMemberToText(Json::Value(5), "int", 0));
    EXPECT_EQ(L"", JsonMemberToText(Json::Value(Json::arrayValue), "int", 0));
}

}  // namespace
