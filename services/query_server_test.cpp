// The server query against a real HTTP(S) server on loopback: body pieces, headers, retries,
// transport failures, the size cap, stalls, the stop flag and TLS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <set>
#include <thread>

#include "base/text.h"
#include "http/query.h"
#include "services/geonames.h"
#include "services/plugin_settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/plugin_host.h"

namespace {

const std::wstring kServer = L"http://api.geonames.org";
const std::string kPath = "/findNearbyPlaceNameJSON";

SLoopbackAnswer Trouble(ELoopbackTrouble eTrouble, std::string strBody = "",
                        size_t nBytesBefore = 0) {
    SLoopbackAnswer answer = JsonAnswer(std::move(strBody));
    answer.eTrouble = eTrouble;
    answer.nBytesBeforeTrouble = nBytesBefore;
    return answer;
}

class QueryServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        setenv("LOCANYM_SERVICE_URL", m_server.BaseUrl().c_str(), 1);
        SetHttpConfig(ReadHttpConfigFromEnvironment());
        unsetenv("LOCANYM_CA_FILE");
        SetHttpConfig(ReadHttpConfigFromEnvironment());
        m_service.m_nStallTimeoutSeconds = 1;
    }
    void TearDown() override {
        m_server.Stop();
        unsetenv("LOCANYM_SERVICE_URL");
        SetHttpConfig(ReadHttpConfigFromEnvironment());
        unsetenv("LOCANYM_CA_FILE");
        SetHttpConfig(ReadHttpConfigFromEnvironment());
    }

    int Query(std::string& strAnswer) {
        CParamList params{{L"lat", L"48.8566000"}, {L"lng", L"2.3522000"}};
        return m_service.QueryServer(kServer + std::wstring(kPath.begin(), kPath.end()), params,
                                     strAnswer);
    }

    CLogCapture m_logs;
    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CGeoNames m_service{m_settings, m_stop};
    CLoopbackServer m_server;
};

TEST_F(QueryServerTest, BodyArrivesInPiecesWithoutCarriageReturns) {
    const std::string kLong(5000, 'x');
    std::string zeroInLongLine(3000, 'a');
    zeroInLongLine[100] = '\0';
    struct SCase {
        const char* pszName;
        std::string strBody;
        std::string strExpected;
    } cases[] = {
        {"crlf", "{\r\n\"a\": 1\r\n}\r\n", "{\n\"a\": 1\n}\n"},
        {"lone carriage returns", "a\rb\r\r\nc", "ab\nc"},
        {"long body without line ends", kLong, kLong},
        {"empty body", "", ""},
        // A zero byte ends its piece: the rest of that line is lost, the next line is kept.
        {"zero byte in a line", std::string("ab\0cd\nef", 8), "abef"},
        // A piece holds at most 2044 bytes, so only the first piece of the line is cut.
        {"zero byte in a long line", zeroInLongLine, std::string(100 + 956, 'a')},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_server.SetAnswer(kPath, JsonAnswer(c.strBody));
        std::string strAnswer = "left over";
        EXPECT_EQ(0, Query(strAnswer));
        EXPECT_EQ(c.strExpected, strAnswer);
        EXPECT_EQ(L"", m_service.m_strError);
    }
}

TEST_F(QueryServerTest, RequestIsPlainHttp10GetWithOneAgentAndKeyLast) {
    m_server.SetAnswer(kPath, JsonAnswer("{}"));
    m_service.m_strApiKey = L"my user";
    std::string strAnswer;
    ASSERT_EQ(0, Query(strAnswer));
    const auto requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    const SLoopbackRequest& r = requests[0];
    EXPECT_EQ("HTTP/1.0", r.strVersion);
    EXPECT_EQ(kPath, r.strPath);
    EXPECT_EQ("lat=48.8566000&lng=2.3522000&username=my%20user", r.strQuery);
    EXPECT_EQ(std::vector<std::string>{"text/*"}, r.HeaderValues("Accept"));
    EXPECT_EQ(std::vector<std::string>{"no-cache"}, r.HeaderValues("Pragma"));
    const auto agents = r.HeaderValues("User-Agent");
    ASSERT_EQ(1u, agents.size());
    EXPECT_EQ(0u, agents[0].rfind("Mozilla/5.0 (", 0)) << agents[0];
    const std::wstring strUrl = Utf8ToWide(m_server.BaseUrl()) +
                                L"/findNearbyPlaceNameJSON?"
                                L"lat=48.8566000&lng=2.3522000&username=my%20user";
    EXPECT_EQ(strUrl, m_service.m_strUrl);
    EXPECT_TRUE(
        m_logs.Has(L"QueryServer: " + strUrl.substr(0, strUrl.find(L"my%20user")) + L"***", false));
}

TEST_F(QueryServerTest, AgentIsDrawnAnewForEveryAttempt) {
    m_server.SetAnswer(kPath, JsonAnswer("{}"));
    std::srand(7);
    std::string strAnswer;
    for (int i = 0; i < 40; ++i) ASSERT_EQ(0, Query(strAnswer));
    std::set<std::string> agents;
    for (const auto& r : m_server.Requests()) agents.insert(r.HeaderValues("User-Agent").at(0));
    EXPECT_GE(agents.size(), 5u);
    EXPECT_LE(agents.size(), 19u);  // 20 rows, two of them the same
}

TEST_F(QueryServerTest, RetriesOnceExceptOnFinalStatuses) {
    struct SCase {
        int nFirst;
        bool bRetried;
    } cases[] = {{400, false}, {401, false}, {403, false}, {404, true}, {429, true},
                 {500, true},  {402, true},  {204, true},  {302, true}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nFirst);
        m_server.ClearRequests();
        m_logs.Clear();
        SLoopbackAnswer first = JsonAnswer(c.nFirst == 204 ? "" : "{\"first\":1}", c.nFirst);
        m_server.QueueAnswer(kPath, first);
        m_server.QueueAnswer(kPath, JsonAnswer("{\"second\":2}"));
        std::string strAnswer;
        const int nResult = Query(strAnswer);
        const auto requests = m_server.Requests();
        EXPECT_TRUE(m_logs.HasStart(
            FormatText(L"QueryServerLow(), HTTP Error %d, url=http://127.0.0.1:", c.nFirst)));
        if (c.bRetried) {
            EXPECT_EQ(0, nResult);
            EXPECT_EQ("{\"second\":2}", strAnswer);
            EXPECT_EQ(L"", m_service.m_strError);
            ASSERT_EQ(2u, requests.size());
            // The retry is built afresh from the same list: one key, last.
            EXPECT_EQ(requests[0].strQuery, requests[1].strQuery);
            EXPECT_EQ((std::vector<std::string>{"lat", "lng", "username"}),
                      requests[1].QueryNames());
        } else {
            EXPECT_EQ(c.nFirst, nResult);
            EXPECT_EQ("{\"first\":1}", strAnswer);
            EXPECT_EQ(FormatText(L"Locnm: HTTP Error %d", c.nFirst), m_service.m_strError);
            EXPECT_EQ(1u, requests.size());
            EXPECT_TRUE(m_logs.Has(L"   Response: {\"first\":1}", false));
            Query(strAnswer);  // takes the second answer, unused here
        }
    }
}

TEST_F(QueryServerTest, SecondFailureIsReturned) {
    m_server.SetAnswer(kPath, JsonAnswer("oops", 500));
    std::string strAnswer;
    EXPECT_EQ(500, Query(strAnswer));
    EXPECT_EQ("oops", strAnswer);
    EXPECT_EQ(L"Locnm: HTTP Error 500", m_service.m_strError);
    EXPECT_EQ(2u, m_server.Requests().size());
}

TEST_F(QueryServerTest, TransportFailuresEndWithMinusTwoAndTheStacksText) {
    const std::string kLines = "line one\nline two\n";
    struct SCase {
        const char* pszName;
        SLoopbackAnswer answer;
        int nErrorCode;       // libcurl's number
        std::string strKept;  // what the answer holds afterwards
    } cases[] = {
        {"stall before the answer", Trouble(ELoopbackTrouble::kStallBeforeAnswer), 28, ""},
        {"stall mid-body", Trouble(ELoopbackTrouble::kStallMidBody, kLines + "never", 18), 28,
         kLines},
        {"reset mid-body", Trouble(ELoopbackTrouble::kResetMidBody, kLines + "never", 18), 18,
         kLines},
        {"redirect loop", Trouble(ELoopbackTrouble::kRedirectLoop), 47, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_server.ClearRequests();
        m_server.SetAnswer(kPath, c.answer);
        std::string strAnswer;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(kQueryException, Query(strAnswer));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(c.strKept, strAnswer);
        EXPECT_EQ(0u, m_service.m_strError.rfind(FormatText(L"Locnm: Error %d, ", c.nErrorCode), 0))
            << WideToUtf8(m_service.m_strError);
        EXPECT_TRUE(m_logs.HasStart(FormatText(L"QueryServerLow(), Error %d (", c.nErrorCode)));
        if (c.answer.eTrouble != ELoopbackTrouble::kRedirectLoop) {
            EXPECT_EQ(1u, m_server.Requests().size());  // no retry after -2
        }
    }
}

TEST_F(QueryServerTest, RefusedConnectionEndsWithMinusTwo) {
    const std::string strBase = m_server.BaseUrl();
    m_server.Stop();
    std::string strAnswer;
    EXPECT_EQ(kQueryException, Query(strAnswer));
    EXPECT_EQ(0u, m_service.m_strError.rfind(L"Locnm: Error 7, ", 0))
        << WideToUtf8(m_service.m_strError);
}

TEST_F(QueryServerTest, AnswerIsCappedAtEightMebibytes) {
    m_server.SetAnswer(kPath, JsonAnswer(std::string(kMaxAnswerBytes, 'z')));
    std::string strAnswer;
    EXPECT_EQ(0, Query(strAnswer));
    EXPECT_EQ(kMaxAnswerBytes, strAnswer.size());

    m_server.SetAnswer(kPath, JsonAnswer(std::string(kMaxAnswerBytes + 1, 'z')));
    EXPECT_EQ(kQueryException, Query(strAnswer));
    EXPECT_LE(strAnswer.size(), kMaxAnswerBytes);
    EXPECT_NE(std::wstring::npos, m_service.m_strError.find(L"answer larger than 8388608 bytes"))
        << WideToUtf8(m_service.m_strError);
}

TEST_F(QueryServerTest, UrlsOtherThanHttpAreRefusedWithoutTraffic) {
    const wchar_t* const urls[] = {L"ftp://127.0.0.1/findNearbyJSON?lat=1", L"file:///etc/passwd",
                                   L"no url at all", L"http:///no-host", L"http://host:99999/"};
    for (const wchar_t* pszUrl : urls) {
        SCOPED_TRACE(WideToUtf8(pszUrl));
        std::string strAnswer = "x";
        EXPECT_EQ(kQueryFailed, m_service.QueryServerLow(pszUrl, strAnswer));
        EXPECT_EQ(L"Locnm: Wrong URL format", m_service.m_strError);
        EXPECT_EQ("", strAnswer);
    }
    EXPECT_TRUE(
        m_logs.Has(L"QueryServerLow(), Unsupported service type (1), "
                   L"ftp://127.0.0.1/findNearbyJSON?lat=1",
                   true));
    EXPECT_TRUE(m_logs.Has(L"QueryServerLow(), AfxParseURL failed, no url at all", true));
    EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(QueryServerTest, StopFlagEndsTheRequestAtOnce) {
    std::string strBody;
    for (int i = 0; i < 100; ++i) strBody += "line " + std::to_string(i) + "\n";
    const size_t nSentFirst = strBody.size();
    strBody += "never sent\n";
    struct SCase {
        const char* pszName;
        SLoopbackAnswer answer;
        std::string strKept;
    } cases[] = {
        {"mid-body", Trouble(ELoopbackTrouble::kStallMidBody, strBody, nSentFirst),
         strBody.substr(0, nSentFirst)},
        {"waiting for the answer", Trouble(ELoopbackTrouble::kStallBeforeAnswer), ""},
    };
    m_service.m_nStallTimeoutSeconds = 30;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_stop = 0;
        m_server.ClearRequests();
        m_server.SetAnswer(kPath, c.answer);
        std::thread stopper([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            m_stop.exchange(1);
        });
        std::string strAnswer;
        const auto start = std::chrono::steady_clock::now();
        const int nResult = Query(strAnswer);
        stopper.join();
        EXPECT_EQ(kQueryStopped, nResult);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(c.strKept, strAnswer);
        EXPECT_EQ(L"", m_service.m_strError);
        EXPECT_TRUE(m_logs.Has(L"QueryServerLow(), aborted by user", true));
        EXPECT_EQ(1u, m_server.Requests().size());
    }
}

TEST(QueryServerTls, CertificateIsVerifiedAgainstTheExtraCa) {
    CTempDir dir;
    STestTls tls;
    ASSERT_TRUE(MakeTestCertificates(dir.Path(), tls));
    CLoopbackServer server(tls);
    ASSERT_TRUE(server.Start());
    server.SetAnswer(kPath, JsonAnswer("{\"geonames\":[]}"));
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    SetHttpConfig(ReadHttpConfigFromEnvironment());
    unsetenv("LOCANYM_CA_FILE");
    SetHttpConfig(ReadHttpConfigFromEnvironment());

    CLogCapture logs;
    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CGeoNames service(settings, stop);
    CParamList params{{L"lat", L"1"}, {L"lng", L"2"}};
    std::string strAnswer;
    EXPECT_EQ(kQueryException,
              service.QueryServer(kServer + L"/findNearbyPlaceNameJSON", params, strAnswer));
    EXPECT_EQ(0u, service.m_strError.rfind(L"Locnm: Error 60, ", 0))
        << WideToUtf8(service.m_strError);

    setenv("LOCANYM_CA_FILE", tls.caFile.c_str(), 1);
    SetHttpConfig(ReadHttpConfigFromEnvironment());
    EXPECT_EQ(0, service.QueryServer(kServer + L"/findNearbyPlaceNameJSON", params, strAnswer));
    EXPECT_EQ("{\"geonames\":[]}", strAnswer);
    EXPECT_EQ(0u, service.m_strUrl.rfind(L"https://127.0.0.1:", 0));
    unsetenv("LOCANYM_SERVICE_URL");
    SetHttpConfig(ReadHttpConfigFromEnvironment());
    unsetenv("LOCANYM_CA_FILE");
    SetHttpConfig(ReadHttpConfigFromEnvironment());
}

}  // namespace
