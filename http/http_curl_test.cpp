// HttpGet on libcurl: what one request set never reaches the next one on the same thread, and
// a libcurl that cannot be loaded fails the lookup with its name instead of the process. The
// query's log of a long error answer holds as much of it as a log line can.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "http/http_client.h"
#include "http/query.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/plugin_host.h"

namespace {

class CBodySink : public IHttpAnswerSink {
  public:
    void OnStatus(int nStatus) override { m_nStatus = nStatus; }
    bool OnBody(const char* pData, size_t nSize) override {
        m_strBody.append(pData, nSize);
        return true;
    }
    bool ShouldContinue() override { return true; }

    int m_nStatus = 0;
    std::string m_strBody;
};

TEST(HttpGet, NothingOfOneRequestCarriesIntoTheNext) {
    CTempDir dir;
    STestTls tls;
    ASSERT_TRUE(MakeTestCertificates(dir.Path(), tls));
    CLoopbackServer secure(tls);
    CLoopbackServer plain;
    ASSERT_TRUE(secure.Start());
    ASSERT_TRUE(plain.Start());
    secure.SetHandler([](const SLoopbackRequest&) { return JsonAnswer("{}"); });
    plain.SetHandler([](const SLoopbackRequest&) { return JsonAnswer("{}"); });
    const std::vector<std::string> extra = {"X-Extra: 1"};

    struct SStep {
        const char* pszName;
        std::string strUrl;
        std::string strCaFile;
        const std::vector<std::string>* pHeaders;
        EHttpOutcome eOutcome;
        size_t nExtraHeaders;  // X-Extra headers the plain server saw in this request
    };
    const SStep steps[] = {
        {"https, its CA given", secure.BaseUrl() + "/a", tls.caFile.string(), nullptr,
         EHttpOutcome::kCompleted, 0},
        {"https, no CA: not trusted", secure.BaseUrl() + "/b", "", nullptr,
         EHttpOutcome::kTransportError, 0},
        {"http with a header", plain.BaseUrl() + "/c", "", &extra, EHttpOutcome::kCompleted, 1},
        {"http without it", plain.BaseUrl() + "/d", "", nullptr, EHttpOutcome::kCompleted, 0},
    };
    for (const SStep& step : steps) {
        plain.ClearRequests();
        SHttpGetRequest request;
        request.strUrl = step.strUrl;
        request.strUserAgent = "test";
        request.strCaFile = step.strCaFile;
        request.pHeaders = step.pHeaders;
        CBodySink sink;
        const SHttpGetResult result = HttpGet(request, sink);
        EXPECT_EQ(step.eOutcome, result.eOutcome) << step.pszName << ": " << result.strErrorText;
        size_t nExtra = 0;
        for (const SLoopbackRequest& seen : plain.Requests())
            nExtra += seen.HeaderValues("X-Extra").size();
        EXPECT_EQ(step.nExtraHeaders, nExtra) << step.pszName;
    }
}

TEST(HttpQuery, LogOfALongErrorAnswerIsAsLongAsALogLine) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    std::string strJapanese;
    for (int i = 0; i < 3000; ++i) strJapanese += "\xe6\x9d\xb1";  // 東, three bytes
    struct SCase {
        const char* pszName;
        std::string strBody;
        size_t nLineChars;
    };
    const SCase cases[] = {
        {"short", "{}", 15},
        {"long, one byte a character", std::string(100000, 'a'), kLogBufferChars - 1},
        {"long, three bytes a character", strJapanese, kLogBufferChars - 1},
    };
    for (const SCase& c : cases) {
        server.SetHandler([&c](const SLoopbackRequest&) {
            return JsonAnswer(c.strBody, 500);
        });  // only an error's body is logged
        CLogCapture log;
        SHttpQuery query;
        query.strUrl = Utf8ToWide(server.BaseUrl()) + L"/answer";
        EXPECT_EQ(500, HttpQuery(query).nResult) << c.pszName;
        size_t nChars = 0;
        for (const CLogCapture::SLine& line : log.Lines()) {
            if (line.strText.rfind(L"   Response: ", 0) == 0) nChars = line.strText.size();
        }
        EXPECT_EQ(c.nLineChars, nChars) << c.pszName;
    }
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
