// The contract of the HTTP transport under the query, one file for every transport: compiled
// against libcurl on Linux and WinINet on Windows, each against the loopback peer of
// tests/support/transport_peer.h, which the transport's own test file provides.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/text.h"
#include "http/query.h"
#include "tests/support/log_capture.h"
#include "tests/support/transport_peer.h"

namespace {

using std::chrono::seconds;
using std::chrono::steady_clock;

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_strPeer = TransportPeerUrl();
        if (m_strPeer.empty()) GTEST_SKIP() << "no loopback peer";
    }

    SHttpQueryResult Get(const std::wstring& strPath, int32_t nStallSeconds = 5) {
        SHttpQuery query;
        query.strUrl = strPath.rfind(L"/", 0) == 0 ? m_strPeer + strPath : strPath;
        query.nStallTimeoutSeconds = nStallSeconds;
        query.nAttemptTimeoutSeconds = m_nAttemptSeconds;
        query.nMaxAnswerBytes = m_nMaxBytes;
        query.pStopFlag = &m_stop;
        return HttpQuery(query);
    }

    std::wstring m_strPeer;
    int32_t m_nAttemptSeconds = kAttemptTimeoutSeconds;
    size_t m_nMaxBytes = kMaxAnswerBytes;
    std::atomic<int32_t> m_stop{0};
};

// The body arrives whole without carriage returns, also with an error status; a zero byte ends
// its piece (the rest of that line is lost, the next line kept); the size cap holds. The log of
// a long error answer is cut by characters: three-byte ones fill the line as ASCII would.
TEST_F(TransportTest, AnswersArriveWholeWithoutCarriageReturns) {
    struct SCase {
        const wchar_t* pszPath;
        size_t nMaxBytes;
        int nResult;
        std::string strBody;
        std::wstring strError;
    } const cases[] = {
        {L"/crlf", kMaxAnswerBytes, 0, "line one\nline two\n", L""},
        {L"/zero", kMaxAnswerBytes, 0, "abef", L""},
        {L"/long", 5000, 0, std::string(5000, 'x'), L""},
        {L"/empty", kMaxAnswerBytes, 0, "", L""},
        {L"/status/401", kMaxAnswerBytes, 401, "{\"status\": 401}", L"Locnm: HTTP Error 401"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.pszPath));
        m_nMaxBytes = c.nMaxBytes;
        const SHttpQueryResult result = Get(c.pszPath);
        EXPECT_EQ(result.nResult, c.nResult);
        EXPECT_EQ(result.strBody, c.strBody);
        EXPECT_EQ(result.strError, c.strError);
    }
    CLogCapture log;
    EXPECT_EQ(Get(L"/long-error").nResult, 500);
    size_t nChars = 0;
    for (const CLogCapture::SLine& line : log.Lines()) {
        if (line.strText.rfind(L"   Response: ", 0) == 0) nChars = line.strText.size();
    }
    EXPECT_EQ(nChars, kLogBufferChars - 1);
    m_nMaxBytes = 4999;
    const SHttpQueryResult result = Get(L"/long");
    EXPECT_EQ(result.nResult, kQueryException);
    EXPECT_LE(result.strBody.size(), 4999u);
    EXPECT_NE(result.strError.find(L"answer larger than 4999 bytes"), std::wstring::npos)
        << WideToUtf8(result.strError);
}

TEST_F(TransportTest, RequestIsHttp10WithOneAgentAndTheHeaderBlock) {
    const SHttpQueryResult result = Get(L"/echo");
    ASSERT_EQ(result.nResult, 0) << WideToUtf8(result.strError);
    const std::string& strBody = result.strBody;
    EXPECT_EQ(strBody.rfind("HTTP/1.0\n", 0), 0u) << strBody;
    EXPECT_NE(strBody.find("\nAccept: text/*\n"), std::string::npos) << strBody;
    const size_t nAgent = strBody.find("\nUser-Agent: Mozilla/5.0 (");
    EXPECT_NE(nAgent, std::string::npos) << strBody;
    EXPECT_EQ(strBody.find("\nUser-Agent: ", nAgent + 1), std::string::npos) << strBody;
}

// Only a server that cannot be reached or does not answer in time counts as unreachable (the
// Offline fallback acts on that); a wrong address does not. A trickle of bytes
// never lets the stall time-out fire: the attempt's own limit ends it.
TEST_F(TransportTest, FailuresEndWithTheirResultTextAndReachability) {
    struct SCase {
        std::wstring strUrl;
        int nResult;
        std::wstring strErrorStart;
        std::string strKept;
        bool bUnreachable;
    } const cases[] = {
        {L"ftp://127.0.0.1/file", kQueryFailed, L"Locnm: Wrong URL format", "", false},
        {L"http://127.0.0.1:1/refused", kQueryException, L"Locnm: Error ", "", true},
        {L"/stall-before", kQueryException, L"Locnm: Error ", "", true},
        {L"/stall-mid", kQueryException, L"Locnm: Error ", "first line\n", true},
        {L"/trickle", kQueryException, L"Locnm: No complete answer within 1 s", "", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.strUrl));
        const bool bTrickle = c.strUrl == L"/trickle";
        m_nAttemptSeconds = bTrickle ? 1 : 30;
        const auto start = steady_clock::now();
        const SHttpQueryResult result = Get(c.strUrl, bTrickle ? 30 : 1);
        EXPECT_LT(steady_clock::now() - start, seconds(15));
        EXPECT_EQ(result.nResult, c.nResult);
        EXPECT_EQ(result.strError.rfind(c.strErrorStart, 0), 0u) << WideToUtf8(result.strError);
        EXPECT_EQ(result.strBody.substr(0, c.strKept.size()), c.strKept);
        EXPECT_EQ(result.bUnreachable, c.bUnreachable) << WideToUtf8(result.strError);
    }
}

TEST_F(TransportTest, StopEndsAWaitForASilentServer) {
    for (const wchar_t* pszPath : {L"/stall-mid", L"/stall-before"}) {
        SCOPED_TRACE(WideToUtf8(pszPath));
        m_stop = 0;
        std::thread stopper([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            m_stop = 1;
        });
        const auto start = steady_clock::now();
        // The stop is answered at once, long before the stall time-out ends the wait.
        const SHttpQueryResult result = Get(pszPath, 30);
        stopper.join();
        EXPECT_EQ(result.nResult, kQueryStopped);
        EXPECT_LT(steady_clock::now() - start, seconds(3));
    }
}

// Certificates are verified: the trusted peer answers; one that does not verify is an error,
// never ignored.
TEST_F(TransportTest, HttpsIsVerified) {
    const std::wstring strHttps = TransportPeerHttpsUrl();
    if (strHttps.empty()) GTEST_SKIP() << "no HTTPS peer";
    ASSERT_TRUE(TrustTransportPeer());
    SHttpQueryResult result = Get(strHttps + L"/crlf");
    EXPECT_EQ(result.nResult, 0) << WideToUtf8(result.strError);
    EXPECT_EQ(result.strBody, "line one\nline two\n");
    result = Get(UntrustedTransportPeerUrl() + L"/crlf");
    EXPECT_EQ(result.nResult, kQueryException);
    EXPECT_EQ(result.strBody, "");
}

}  // namespace
