// The server query against a real HTTP(S) server on loopback: body pieces, headers, retries,
// transport failures, the size cap, stalls, the stop flag and TLS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "base/format.h"
#include "base/text.h"
#include "http/query.h"
#include "services/geonames.h"
#include "services/plugin_settings.h"
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
        SHttpConfig config;
        config.strServiceUrl = Utf8ToWide(m_server.BaseUrl());
        SetHttpConfig(config);
        m_service.m_nStallTimeoutSeconds = 1;
    }
    void TearDown() override {
        m_server.Stop();
        SetHttpConfig(SHttpConfig{});
    }

    int Query(std::string& strAnswer) {
        CParamList params{{L"lat", L"48.8566000"}, {L"lng", L"2.3522000"}};
        return m_service.QueryServer(kServer + std::wstring(kPath.begin(), kPath.end()), params,
                                     strAnswer);
    }

    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CGeoNames m_service{m_settings, m_stop};
    CLoopbackServer m_server;
};

TEST_F(QueryServerTest, BodyArrivesInPiecesWithoutCarriageReturns) {
    std::string zeroInLongLine(3000, 'a');
    zeroInLongLine[100] = '\0';
    struct SCase {
        const char* pszName;
        std::string strBody;
        std::string strExpected;
    } cases[] = {
        {"crlf", "{\r\n\"a\": 1\r\n}\r\n", "{\n\"a\": 1\n}\n"},
        {"lone carriage returns", "a\rb\r\r\nc", "ab\nc"},
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
}

TEST_F(QueryServerTest, RetriesOnceExceptOnFinalStatuses) {
    struct SCase {
        int nFirst;
        bool bRetried;
    } cases[] = {{401, false}, {500, true}, {204, true}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nFirst);
        m_server.ClearRequests();
        SLoopbackAnswer first = JsonAnswer(c.nFirst == 204 ? "" : "{\"first\":1}", c.nFirst);
        m_server.QueueAnswer(kPath, first);
        m_server.QueueAnswer(kPath, JsonAnswer("{\"second\":2}"));
        std::string strAnswer;
        const int nResult = Query(strAnswer);
        const auto requests = m_server.Requests();
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
            Query(strAnswer);  // takes the second answer, unused here
        }
    }
    // A second failure is the one returned.
    m_server.ClearRequests();
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
        if (c.answer.eTrouble != ELoopbackTrouble::kRedirectLoop) {
            EXPECT_EQ(1u, m_server.Requests().size());  // no retry after -2
        }
    }
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
    const wchar_t* const urls[] = {L"ftp://127.0.0.1/findNearbyJSON?lat=1", L"no url at all",
                                   L"http:///no-host"};
    for (const wchar_t* pszUrl : urls) {
        SCOPED_TRACE(WideToUtf8(pszUrl));
        std::string strAnswer = "x";
        EXPECT_EQ(kQueryFailed, m_service.QueryServerLow(pszUrl, strAnswer));
        EXPECT_EQ(L"Locnm: Wrong URL format", m_service.m_strError);
        EXPECT_EQ("", strAnswer);
    }
    EXPECT_TRUE(m_server.Requests().empty());
}

// Waiting for the first byte is stopped through the module in services_e2e_test.
TEST_F(QueryServerTest, StopFlagEndsTheRequestMidBody) {
    std::string strBody;
    for (int i = 0; i < 100; ++i) strBody += "line " + std::to_string(i) + "\n";
    const size_t nSentFirst = strBody.size();
    m_service.m_nStallTimeoutSeconds = 30;
    m_server.SetAnswer(
        kPath, Trouble(ELoopbackTrouble::kStallMidBody, strBody + "never sent\n", nSentFirst));
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
    EXPECT_EQ(strBody, strAnswer);
    EXPECT_EQ(L"", m_service.m_strError);
    EXPECT_EQ(1u, m_server.Requests().size());
}

TEST(QueryServerTls, CertificateIsVerifiedAgainstTheExtraCa) {
    CTempDir dir;
    STestTls tls;
    ASSERT_TRUE(MakeTestCertificates(dir.Path(), tls));
    CLoopbackServer server(tls);
    ASSERT_TRUE(server.Start());
    server.SetAnswer(kPath, JsonAnswer("{\"geonames\":[]}"));
    // The environment is how a user points the module at another server and CA.
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    unsetenv("LOCANYM_CA_FILE");
    SetHttpConfig(ReadHttpConfigFromEnvironment());

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
    unsetenv("LOCANYM_CA_FILE");
    SetHttpConfig(SHttpConfig{});
}

}  // namespace
