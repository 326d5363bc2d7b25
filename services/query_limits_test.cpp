// The server query against hostile or broken setups: keys kept out of the log, a mistyped
// endpoint override, answers that trickle or stall after an error status, and which failures
// mean that no server could be reached.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>

#include "base/text.h"
#include "http/query.h"
#include "services/geonames.h"
#include "services/plugin_settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"

namespace {

const std::string kPath = "/findNearbyPlaceNameJSON";

SLoopbackAnswer Trouble(ELoopbackTrouble eTrouble, int nStatus, std::string strBody,
                        size_t nBytesBefore) {
    SLoopbackAnswer answer = JsonAnswer(std::move(strBody), nStatus);
    answer.eTrouble = eTrouble;
    answer.nBytesBeforeTrouble = nBytesBefore;
    return answer;
}

class QueryLimitsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        SetOverride(m_server.BaseUrl().c_str());
        m_service.m_nStallTimeoutSeconds = 1;
    }
    void TearDown() override {
        m_server.Stop();
        SetOverride(nullptr);
    }
    static void SetOverride(const char* pszUrl) {
        if (pszUrl)
            setenv("LOCANYM_SERVICE_URL", pszUrl, 1);
        else
            unsetenv("LOCANYM_SERVICE_URL");
        SetHttpConfig(ReadHttpConfigFromEnvironment());
    }
    int Query(std::string& strAnswer, const std::wstring& strBase = L"http://api.geonames.org") {
        CParamList params{{L"lat", L"1.5"}, {L"lng", L"2.5"}};
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

TEST_F(QueryLimitsTest, TheKeyIsSentButNeverLogged) {
    m_service.m_strApiKey = L"s3cr3t-user";
    m_server.SetAnswer(kPath, JsonAnswer("{}", 500));
    std::string strAnswer;
    EXPECT_EQ(500, Query(strAnswer));
    ASSERT_EQ(2u, m_server.Requests().size());
    EXPECT_EQ("s3cr3t-user", m_server.Requests()[0].QueryValue("username"));
    EXPECT_FALSE(LogHolds(L"s3cr3t"));
    EXPECT_TRUE(LogHolds(L"lat=1.5&lng=2.5&username=***"));
    EXPECT_TRUE(LogHolds(L"HTTP Error 500, url=http://127.0.0.1:"));
}

TEST_F(QueryLimitsTest, AnUnusableOverrideSendsNothingAnywhere) {
    // The service's own address is this server: a fall-back to it would be seen.
    const std::wstring strOwnAddress = Utf8ToWide(m_server.BaseUrl());
    m_server.SetAnswer(kPath, JsonAnswer("{}"));
    for (const char* pszOverride : {"127.0.0.1:18080", "ftp://127.0.0.1/", "http:///x"}) {
        SCOPED_TRACE(pszOverride);
        SetOverride(pszOverride);
        std::string strAnswer = "old";
        EXPECT_EQ(kQueryFailed, Query(strAnswer, strOwnAddress));
        EXPECT_EQ(
            L"Locnm: LOCANYM_SERVICE_URL is not an http or https URL: " + Utf8ToWide(pszOverride),
            m_service.m_strError);
        EXPECT_EQ("", strAnswer);
    }
    EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(QueryLimitsTest, AnAttemptEndsAtItsTimeLimitEvenWhileBytesKeepComing) {
    m_service.m_nStallTimeoutSeconds = 30;
    m_service.m_nAttemptTimeoutSeconds = 1;
    for (const SLoopbackAnswer& answer :
         {Trouble(ELoopbackTrouble::kTrickle, 200, std::string(100, ' '), 100),
          Trouble(ELoopbackTrouble::kStallMidBody, 200, "{\n  \"never\": 1}", 2)}) {
        SCOPED_TRACE(static_cast<int>(answer.eTrouble));
        m_server.SetAnswer(kPath, answer);
        std::string strAnswer;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(kQueryException, Query(strAnswer));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(L"Locnm: No complete answer within 1 s", m_service.m_strError);
        EXPECT_TRUE(m_service.m_bUnreachable);
    }
}

TEST_F(QueryLimitsTest, ErrorStatusIsLoggedOnceItsHeadersAreIn) {
    m_server.SetAnswer(kPath, Trouble(ELoopbackTrouble::kStallMidBody, 503, "{\"status\": 1}", 0));
    std::string strAnswer;
    EXPECT_EQ(kQueryException, Query(strAnswer));
    EXPECT_TRUE(LogHolds(L"HTTP Error 503, url="));
}

TEST_F(QueryLimitsTest, OnlyMissingServersCountAsUnreachable) {
    struct SCase {
        const char* pszName;
        SLoopbackAnswer answer;
        bool bUnreachable;
    } cases[] = {
        {"answered", JsonAnswer("{}"), false},
        {"broken answer", Trouble(ELoopbackTrouble::kResetMidBody, 200, "{\"a\": 1}", 2), false},
        {"silent server", Trouble(ELoopbackTrouble::kStallBeforeAnswer, 200, "", 0), true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_server.SetAnswer(kPath, c.answer);
        std::string strAnswer;
        Query(strAnswer);
        EXPECT_EQ(c.bUnreachable, m_service.m_bUnreachable);
    }
    m_server.Stop();
    std::string strAnswer;
    EXPECT_EQ(kQueryException, Query(strAnswer));
    EXPECT_TRUE(m_service.m_bUnreachable);
}

}  // namespace
