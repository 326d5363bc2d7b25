// The services' server query against a real HTTP server on loopback: the request built from
// the parameters, retries, a mistyped endpoint override and keys kept out of the log. What the
// transport below does (body pieces, caps, time-outs, reachability, TLS) is
// http/transport_test.cpp's.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "base/format.h"
#include "base/text.h"
#include "http/query.h"
#include "services/geonames.h"
#include "services/plugin_settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"

namespace {

const std::wstring kServer = L"http://api.geonames.org";
const std::string kPath = "/findNearbyPlaceNameJSON";

// The environment is how a user points the module at another server.
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
        SetEnvironment("LOCANYM_SERVICE_URL", "");
    }

    int Query(std::string& strAnswer, const std::wstring& strBase = kServer) {
        CParamList params{{L"lat", L"48.8566000"}, {L"lng", L"2.3522000"}};
        return m_service.QueryServer(strBase + Utf8ToWide(kPath), params, strAnswer);
    }

    CLogCapture m_logs;
    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CGeoNames m_service{m_settings, m_stop};
    CLoopbackServer m_server;
};

// The error status is logged once its headers are in, though the body then stalls; a broken
// transfer is not tried again.
TEST_F(QueryServerTest, RequestCarriesTheKeyLastWhichTheLogNeverShows) {
    SLoopbackAnswer answer = JsonAnswer("{\"status\": 1}", 503);
    answer.eTrouble = ELoopbackTrouble::kStallMidBody;
    m_server.SetAnswer(kPath, answer);
    m_service.m_strApiKey = L"s3cr3t user";
    std::string strAnswer;
    EXPECT_EQ(kQueryException, Query(strAnswer));
    const auto requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    const SLoopbackRequest& r = requests[0];
    EXPECT_EQ(kPath, r.strPath);
    EXPECT_EQ("lat=48.8566000&lng=2.3522000&username=s3cr3t%20user", r.strQuery);
    EXPECT_FALSE(m_logs.Holds(L"s3cr3t"));
    EXPECT_TRUE(m_logs.Holds(L"lat=48.8566000&lng=2.3522000&username=***"));
    EXPECT_TRUE(m_logs.Holds(L"HTTP Error 503, url=http://127.0.0.1:"));
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

}  // namespace
