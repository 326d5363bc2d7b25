#include "services/json_answer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Nested(int nLevels, const std::string& strInner) {
    return std::string(static_cast<size_t>(nLevels), '[') + strInner +
           std::string(static_cast<size_t>(nLevels), ']');
}

// A cut answer and a nesting that could exhaust the stack are refused; what a server adds or
// gets slightly wrong around a usable answer keeps it.
TEST(ParseJsonAnswer, RefusesWhatIsNoJsonAndTakesWhatIs) {
    struct SCase {
        const char* pszName;
        std::string strText;
        bool bParsed;
    };
    const SCase cases[] = {
        {"blank", " \r\n\t", false},
        {"text after the root", "{\"a\":1} tail", true},
        {"unclosed object", R"({"a":"b")", false},
        {"unclosed string", R"({"a":"b})", false},
        {"high surrogate and no low", R"(["\ud83d\u0041"])", true},
        {"double out of range", "[1e999]", false},
        {"integer beyond 64 bits", "[123456789012345678901234567890]", true},
        {"1,001 levels", Nested(1001, ""), false},
        {"nesting past the limit in a skipped branch", "{\"a\":" + Nested(1005, "") + "}", false},
    };
    for (const SCase& c : cases) {
        Json::Value root(7);
        EXPECT_EQ(c.bParsed, ParseJsonAnswer(c.strText, root)) << c.pszName;
        if (!c.bParsed) {
            EXPECT_TRUE(root.isNull()) << c.pszName;
        }
    }
}

// Texts of other types, non-Latin texts and lists are the service table's rows
// (service_catalogue_test); here the escapes and broken bytes only a crafted answer holds.
TEST(ParseJsonAnswer, TextsReadAsTheServicesReadThem) {
    Json::Value root;
    ASSERT_TRUE(ParseJsonAnswer(R"({
        "name": "Caf\u00e9 \"Zur Post\"\n", "zero": "a\u0000b",
        "emoji": "\ud83d\ude00", "broken pair": "\ud83d\ud83d\ude00\u0041",
        "raw": "a)"
                                "\xff"
                                R"(b", "address": {"city": "A", "nested": {"x": "y"}}
    })",
                                root));
    EXPECT_EQ(L"Caf\u00e9 \"Zur Post\"\n", JsonText(root, "name"));
    EXPECT_EQ(L"a", JsonText(root, "zero"));
    EXPECT_EQ(L"\U0001F600", JsonText(root, "emoji"));
    EXPECT_EQ(L"\uFFFD\U0001F600A", JsonText(root, "broken pair"));
    EXPECT_EQ(L"a\uFFFDb", JsonText(root, "raw"));
    EXPECT_EQ(L"A", JsonText(JsonMember(root, "address"), "city"));
}

constexpr SJsonNames kReadNames{"kept", "list", "name", "a"};

// Members nobody listed are checked but read as absent at every depth; listed ones keep their
// types, and the last of two equal names wins, also when it is null.
TEST(ParseJsonAnswer, KeepsOnlyTheListedMembers) {
    Json::Value tree;
    ASSERT_TRUE(ParseJsonAnswer(R"({"other": {"kept": "x"}, "kept": {"name": "K", "id": 5},
        "list": [{"name": "N", "other": "o"}], "a": "first", "a": null, "id": "i"})",
                                kReadNames.Span(), tree));
    const CJsonView<kReadNames> root(tree);
    EXPECT_EQ(L"K", root.Member("kept").Text("name"));
    EXPECT_EQ(1u, root.Member("kept").Size());
    EXPECT_EQ(L"N", root.Member("list").Element(0).Text("name"));
    EXPECT_EQ(1u, root.Member("list").Element(0).Size());
    EXPECT_FALSE(root.Has("a"));
    EXPECT_FALSE(JsonHasMember(tree, "other"));
    EXPECT_FALSE(JsonHasMember(tree, "id"));
    EXPECT_FALSE(ParseJsonAnswer(R"({"other": [1e999]})", kReadNames.Span(), tree));
}

}  // namespace
