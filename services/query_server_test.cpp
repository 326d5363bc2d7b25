// The server query against a real HTTP(S) server on loopback: the request, body pieces,
// retries, transport failures and which of them mean that no server could be reached, the size
// and time caps, a mistyped endpoint override, keys kept out of the log, and TLS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>

#include "base/format.h"
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
                        size_t nBytesBefore = 0, int nStatus = 200) {
    SLoopbackAnswer answer = JsonAnswer(std::move(strBody), nStatus);
    answer.eTrouble = eTrouble;
    answer.nBytesBeforeTrouble = nBytesBefore;
    return answer;
}

// The environment is how a user points the module at another server and CA.
void SetEnvironment(const char* pszName, const std::string& strValue) {
    if (strValue.empty())
        unsetenv(pszName);
    else
        setenv(pszName, strValue.c_str(), 1);
    SetHttpConfig(ReadHttpConfigFromEnvironment());
}

class QueryServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        SetEnvironment("LOCANYM_SERVICE_URL", m_server.BaseUrl());
        m_service.m_nStallTimeoutSeconds = 1;
    }
    void TearDown() override {
        m_server.Stop();
        SetEnvironment("LOCANYM_CA_FILE", "");
        SetEnvironment("LOCANYM_SERVICE_URL", "");
    }

    int Query(std::string& strAnswer, const std::wstring& strBase = kServer) {
        CParamList params{{L"lat", L"48.8566000"}, {L"lng", L"2.3522000"}};
        return m_service.QueryServer(strBase + Utf8ToWide(kPath), params, strAnswer);
    }
    bool LogHolds(const std::wstring& strPart) {
        for (const auto& line : m_logs.Lines())
            if (line.strText.find(strPart) != std::wstring::npos) return true;
        return false;
    }

    CLogCapture m_logs;
    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CGeoNames m_service{m_settings, m_stop};
    CLoopbackServer m_server;
};

TEST_F(QueryServerTest, BodyArrivesInPiecesWithoutCarriageReturns) {
    struct SCase {
        const char* pszName;
        std::string strBody;
        std::string strExpected;
    } cases[] = {
        {"crlf and lone carriage returns", "{\r\n\"a\": 1\r\n}\r\na\rb", "{\n\"a\": 1\n}\nab"},
        // A zero byte ends its piece: the rest of that line is lost, the next line is kept.
        {"zero byte in a line", std::string("ab\0cd\nef", 8), "abef"},
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

// The error status is logged once its headers are in, though the body then stalls.
TEST_F(QueryServerTest, RequestCarriesOneAgentAndTheKeyLastWhichTheLogNeverShows) {
    m_server.SetAnswer(kPath, Trouble(ELoopbackTrouble::kStallMidBody, "{\"status\": 1}", 0, 503));
    m_service.m_strApiKey = L"s3cr3t user";
    std::string strAnswer;
    EXPECT_EQ(kQueryException, Query(strAnswer));
    const auto requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    const SLoopbackRequest& r = requests[0];
    EXPECT_EQ(kPath, r.strPath);
    EXPECT_EQ("lat=48.8566000&lng=2.3522000&username=s3cr3t%20user", r.strQuery);
    EXPECT_EQ(std::vector<std::string>{"text/*"}, r.HeaderValues("Accept"));
    const auto agents = r.HeaderValues("User-Agent");
    ASSERT_EQ(1u, agents.size());
    EXPECT_EQ(0u, agents[0].rfind("Mozilla/5.0 (", 0)) << agents[0];
    EXPECT_EQ(Utf8ToWide(m_server.BaseUrl() + kPath + "?" + r.strQuery), m_service.m_strUrl);
    EXPECT_FALSE(LogHolds(L"s3cr3t"));
    EXPECT_TRUE(LogHolds(L"lat=48.8566000&lng=2.3522000&username=***"));
    EXPECT_TRUE(LogHolds(L"HTTP Error 503, url=http://127.0.0.1:"));
}

TEST_F(QueryServerTest, RetriesOnceExceptOnFinalStatuses) {
    struct SCase {
        int nFirst, nSecond, nResult;
        const char* pszAnswer;
        size_t nRequests;
    } cases[] = {
        {401, 200, 401, "first", 1},
        {500, 200, 0, "second", 2},
        {204, 200, 0, "second", 2},
        {500, 503, 503, "second", 2},  // a second failure is the one returned
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nFirst);
        m_server.ClearRequests();
        m_server.QueueAnswer(kPath, JsonAnswer(c.nFirst == 204 ? "" : "first", c.nFirst));
        m_server.QueueAnswer(kPath, JsonAnswer("second", c.nSecond));
        std::string strAnswer;
        EXPECT_EQ(c.nResult, Query(strAnswer));
        EXPECT_EQ(c.pszAnswer, strAnswer);
        EXPECT_EQ(c.nResult ? FormatText(L"Locnm: HTTP Error %d", c.nResult) : L"",
                  m_service.m_strError);
        const auto requests = m_server.Requests();
        EXPECT_EQ(c.nRequests, requests.size());
        // Each attempt is built afresh from the same list: one key, last.
        for (const SLoopbackRequest& r : requests)
            EXPECT_EQ("lat=48.8566000&lng=2.3522000&username=samplepics", r.strQuery);
        if (c.nRequests == 1) Query(strAnswer);  // takes the second answer, unused here
    }
}

// Only a server that cannot be reached or does not answer in time counts as unreachable (the
// Offline fallback acts on that); one that answered, if uselessly, does not.
TEST_F(QueryServerTest, TransportFailuresEndWithMinusTwoAndTheStacksText) {
    const std::string kLines = "line one\nline two\n";
    struct SCase {
        const char* pszName;
        SLoopbackAnswer answer;
        int nErrorCode;       // libcurl's number
        std::string strKept;  // what the answer holds afterwards
        bool bUnreachable;
    } cases[] = {
        {"stall before the answer", Trouble(ELoopbackTrouble::kStallBeforeAnswer), 28, "", true},
        {"stall mid-body", Trouble(ELoopbackTrouble::kStallMidBody, kLines + "never", 18), 28,
         kLines, true},
        {"redirect loop", Trouble(ELoopbackTrouble::kRedirectLoop), 47, "", false},
        {"server gone", JsonAnswer("{}"), 7, "", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_server.ClearRequests();
        m_server.SetAnswer(kPath, c.answer);
        if (c.nErrorCode == 7) m_server.Stop();
        std::string strAnswer;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(kQueryException, Query(strAnswer));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(c.strKept, strAnswer);
        EXPECT_EQ(0u, m_service.m_strError.rfind(FormatText(L"Locnm: Error %d, ", c.nErrorCode), 0))
            << WideToUtf8(m_service.m_strError);
        EXPECT_EQ(c.bUnreachable, m_service.m_bUnreachable);
        if (c.nErrorCode == 28) {
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

// A trickle of bytes never lets the stall time-out fire.
TEST_F(QueryServerTest, AnAttemptEndsAtItsTimeLimitEvenWhileBytesKeepComing) {
    m_service.m_nStallTimeoutSeconds = 30;
    m_service.m_nAttemptTimeoutSeconds = 1;
    m_server.SetAnswer(kPath, Trouble(ELoopbackTrouble::kTrickle, std::string(100, ' '), 100));
    std::string strAnswer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kQueryException, Query(strAnswer));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(L"Locnm: No complete answer within 1 s", m_service.m_strError);
    EXPECT_TRUE(m_service.m_bUnreachable);
}

TEST_F(QueryServerTest, AnUnusableOverrideSendsNothingAnywhere) {
    // The service's own address is this server: a fall-back to it would be seen.
    const std::wstring strOwnAddress = Utf8ToWide(m_server.BaseUrl());
    m_server.SetAnswer(kPath, JsonAnswer("{}"));
    for (const char* pszOverride : {"127.0.0.1:18080", "ftp://127.0.0.1/", "http:///x"}) {
        SCOPED_TRACE(pszOverride);
        SetEnvironment("LOCANYM_SERVICE_URL", pszOverride);
        std::string strAnswer = "old";
        EXPECT_EQ(kQueryFailed, Query(strAnswer, strOwnAddress));
        EXPECT_EQ(
            L"Locnm: LOCANYM_SERVICE_URL is not an http or https URL: " + Utf8ToWide(pszOverride),
            m_service.m_strError);
        EXPECT_EQ("", strAnswer);
    }
    EXPECT_TRUE(m_server.Requests().empty());
}

// The CA of one request is not kept for the next one on the same thread.
TEST(QueryServerTls, CertificateIsVerifiedAgainstTheExtraCaOnly) {
    CTempDir dir;
    STestTls tls;
    ASSERT_TRUE(MakeTestCertificates(dir.Path(), tls));
    CLoopbackServer server(tls);
    ASSERT_TRUE(server.Start());
    server.SetAnswer(kPath, JsonAnswer("{\"geonames\":[]}"));
    SetEnvironment("LOCANYM_SERVICE_URL", server.BaseUrl());
    SetEnvironment("LOCANYM_CA_FILE", tls.caFile.string());

    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CGeoNames service(settings, stop);
    CParamList params{{L"lat", L"1"}, {L"lng", L"2"}};
    std::string strAnswer;
    EXPECT_EQ(0, service.QueryServer(kServer + Utf8ToWide(kPath), params, strAnswer));
    EXPECT_EQ("{\"geonames\":[]}", strAnswer);
    EXPECT_EQ(0u, service.m_strUrl.rfind(L"https://127.0.0.1:", 0));

    SetEnvironment("LOCANYM_CA_FILE", "");
    EXPECT_EQ(kQueryException, service.QueryServer(kServer + Utf8ToWide(kPath), params, strAnswer));
    EXPECT_EQ(0u, service.m_strError.rfind(L"Locnm: Error 60, ", 0))
        << WideToUtf8(service.m_strError);
    SetEnvironment("LOCANYM_SERVICE_URL", "");
}

}  // namespace
