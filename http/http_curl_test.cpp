// The query on libcurl: a libcurl that cannot be loaded fails the lookup with its name instead
// of the process, and the log of a long error answer holds as much of it as a log line can.
// That the CA of one request is not kept for the next is checked in query_server_test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/text.h"
#include "http/query.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"

namespace {

// The cut counts characters: a body of three-byte characters fills the line as one of ASCII.
TEST(HttpQuery, LogOfALongErrorAnswerIsAsLongAsALogLine) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    std::string strJapanese;
    for (int i = 0; i < 3000; ++i) strJapanese += "\xe6\x9d\xb1";  // 東, three bytes
    server.SetHandler(
        [&](const SLoopbackRequest&) { return JsonAnswer(strJapanese, 500); });  // logged
    CLogCapture log;
    SHttpQuery query;
    query.strUrl = Utf8ToWide(server.BaseUrl()) + L"/answer";
    EXPECT_EQ(500, HttpQuery(query).nResult);
    size_t nChars = 0;
    for (const CLogCapture::SLine& line : log.Lines()) {
        if (line.strText.rfind(L"   Response: ", 0) == 0) nChars = line.strText.size();
    }
    EXPECT_EQ(kLogBufferChars - 1, nChars);
}

// Runs in a process of its own: libcurl is loaded once per process.
TEST(HttpGetDeathTest, MissingLibcurlIsTheLookupsErrorText) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("LOCANYM_CURL_LIBRARY", "/nonexistent/libcurl.so.4", 1);
            SHttpQuery query;
            query.strUrl = L"http://127.0.0.1:9/findNearbyJSON";
            const SHttpQueryResult result = HttpQuery(query);
            const bool bNamed =
                result.strError.find(L"/nonexistent/libcurl.so.4") != std::wstring::npos;
            std::fprintf(stderr, "%d %s\n", result.nResult, WideToUtf8(result.strError).c_str());
            std::exit(result.nResult == kQueryFailed && bNamed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "Locnm: OpenRequest failed, cannot load");
}

}  // namespace
