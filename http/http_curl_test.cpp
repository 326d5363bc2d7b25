// HttpGet on libcurl: what one request set never reaches the next one on the same thread (the
// CA file is checked through the query in query_server_test), and a libcurl that cannot be
// loaded fails the lookup with its name instead of the process. The query's log of a long error
// answer holds as much of it as a log line can.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "http/http_client.h"
#include "http/query.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"

namespace {

class CBodySink : public IHttpAnswerSink {
  public:
    void OnStatus(int) override {}
    bool OnBody(const char*, size_t) override { return true; }
    bool ShouldContinue() override { return true; }
};

TEST(HttpGet, AHeaderOfOneRequestIsNotSentWithTheNext) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    server.SetHandler([](const SLoopbackRequest&) { return JsonAnswer("{}"); });
    const std::vector<std::string> extra = {"X-Extra: 1"};
    for (const std::vector<std::string>* pHeaders :
         {&extra, static_cast<decltype(&extra)>(nullptr)}) {
        server.ClearRequests();
        SHttpGetRequest request;
        request.strUrl = server.BaseUrl() + "/c";
        request.strUserAgent = "test";
        request.pHeaders = pHeaders;
        CBodySink sink;
        EXPECT_EQ(EHttpOutcome::kCompleted, HttpGet(request, sink).eOutcome);
        ASSERT_EQ(1u, server.Requests().size());
        EXPECT_EQ(pHeaders ? 1u : 0u, server.Requests()[0].HeaderValues("X-Extra").size());
    }
}

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
