#include "base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SLine {
    int32_t nCode;
    std::wstring strPrefix, strText;
};
std::vector<SLine> g_lines;

intptr_t Record(int32_t nCode, uintptr_t first, uintptr_t second) {
    g_lines.push_back(
        {nCode, reinterpret_cast<const wchar_t*>(first), reinterpret_cast<const wchar_t*>(second)});
    return 0;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override { g_lines.clear(); }
    void TearDown() override { SetLogCallback(nullptr); }
};

TEST_F(LogTest, NothingIsWrittenBeforeTheHostCallbackIsKnown) {
    SetLogCallback(nullptr);
    WriteLog(kLogInfo, L"lost %d", 1);
    EXPECT_TRUE(g_lines.empty());
}

TEST_F(LogTest, LevelChoosesThePrefix) {
    SetLogCallback(&Record);
    WriteLog(kLogInfo, L"Found in Cache: file %s, %s,%s", L"/p/a.jpg", L"1.0000000", L"2.0000000");
    WriteLog(kLogError, L"QueryServerLow(), HTTP Error %d, url=%s", 404, std::wstring(L"http://x"));
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0].nCode, 7);
    EXPECT_EQ(g_lines[0].strPrefix, L"[Locanym Plugin]");
    EXPECT_EQ(g_lines[0].strText, L"Found in Cache: file /p/a.jpg, 1.0000000,2.0000000");
    EXPECT_EQ(g_lines[1].strPrefix, L"[!Locanym Plugin]");
    EXPECT_EQ(g_lines[1].strText, L"QueryServerLow(), HTTP Error 404, url=http://x");
}

TEST_F(LogTest, LongLinesAreCutAt2047Characters) {
    SetLogCallback(&Record);
    const std::wstring exact(2047, L'a');
    WriteLog(kLogInfo, L"%s", exact);
    WriteLog(kLogInfo, L"   Response: %s", std::wstring(5000, L'b'));
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0].strText, exact);
    EXPECT_EQ(g_lines[1].strText.size(), 2047u);
    EXPECT_EQ(g_lines[1].strText.substr(0, 14), L"   Response: b");
}

}  // namespace
