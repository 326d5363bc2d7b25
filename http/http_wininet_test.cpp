// The server query on WinINet, against the loopback peer that scripts/test.sh --windows starts
// natively beside Wine (locanym-transport-server). Its addresses come in LOCANYM_TEST_HTTP_URL,
// LOCANYM_TEST_HTTPS_URL and LOCANYM_TEST_CA_FILE; without them the tests are skipped.
#include <windows.h>
// The headers below need windows.h first.
#include <gtest/gtest.h>
#include <wincrypt.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "base/text.h"
#include "http/query.h"

namespace {

std::wstring Env(const char* pszName) {
    const char* pszValue = std::getenv(pszName);
    return pszValue ? Utf8ToWide(pszValue) : std::wstring();
}

class WinInetQueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_strHttp = Env("LOCANYM_TEST_HTTP_URL");
        if (m_strHttp.empty()) GTEST_SKIP() << "LOCANYM_TEST_HTTP_URL is not set";
        SetHttpConfig(SHttpConfig());
    }

    SHttpQueryResult Get(const std::wstring& strPath, int32_t nStallSeconds = 5) {
        SHttpQuery query;
        query.strUrl = m_strHttp + strPath;
        query.nStallTimeoutSeconds = nStallSeconds;
        query.pStopFlag = &m_stop;
        return HttpQuery(query);
    }

    std::wstring m_strHttp;
    std::atomic<int32_t> m_stop{0};
};

TEST_F(WinInetQueryTest, AnswersArriveWholeWithoutCarriageReturns) {
    struct SCase {
        const wchar_t* pszPath;
        int nResult;
        std::string strBody;
        std::wstring strError;
    } cases[] = {
        {L"/crlf", 0, "line one\nline two\n", L""},
        {L"/long", 0, std::string(5000, 'x'), L""},
        {L"/empty", 0, "", L""},
        {L"/status/401", 401, "{\"status\": 401}", L"Locnm: HTTP Error 401"},
        {L"/status/500", 500, "{\"status\": 500}", L"Locnm: HTTP Error 500"},
        {L"/status/202", 202, "{\"status\": 202}", L"Locnm: HTTP Error 202"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.pszPath));
        const SHttpQueryResult result = Get(c.pszPath);
        EXPECT_EQ(result.nResult, c.nResult);
        EXPECT_EQ(result.strBody, c.strBody);
        EXPECT_EQ(result.strError, c.strError);
    }
}

TEST_F(WinInetQueryTest, RequestIsHttp10WithOneAgentAndTheHeaderBlock) {
    const SHttpQueryResult result = Get(L"/echo");
    ASSERT_EQ(result.nResult, 0) << WideToUtf8(result.strError);
    const std::string& strBody = result.strBody;
    EXPECT_EQ(strBody.rfind("HTTP/1.0\n", 0), 0u) << strBody;
    EXPECT_NE(strBody.find("\nAccept: text/*\n"), std::string::npos) << strBody;
    size_t nAgents = 0;
    for (size_t at = strBody.find("\nUser-Agent: "); at != std::string::npos;
         at = strBody.find("\nUser-Agent: ", at + 1))
        ++nAgents;
    EXPECT_EQ(nAgents, 1u) << strBody;
    EXPECT_NE(strBody.find("\nUser-Agent: Mozilla/5.0 ("), std::string::npos) << strBody;
}

TEST_F(WinInetQueryTest, FailuresEndWithTheirResultAndText) {
    struct SCase {
        std::wstring strUrl;
        int nResult;
        std::wstring strErrorStart;
    } cases[] = {
        {L"ftp://127.0.0.1/file", kQueryFailed, L"Locnm: Wrong URL format"},
        {L"http://127.0.0.1:1/refused", kQueryException, L"Locnm: Error 120"},
        {m_strHttp + L"/stall-before", kQueryException, L"Locnm: Error 120"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.strUrl));
        SHttpQuery query;
        query.strUrl = c.strUrl;
        query.nStallTimeoutSeconds = 1;
        const auto start = std::chrono::steady_clock::now();
        const SHttpQueryResult result = HttpQuery(query);
        EXPECT_EQ(result.nResult, c.nResult);
        EXPECT_EQ(result.strError.rfind(c.strErrorStart, 0), 0u) << WideToUtf8(result.strError);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    }
}

TEST_F(WinInetQueryTest, StopEndsAWaitForASilentServer) {
    for (const wchar_t* pszPath : {L"/stall-mid", L"/stall-before"}) {
        SCOPED_TRACE(WideToUtf8(pszPath));
        m_stop = 0;
        std::thread stopper([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            m_stop = 1;
        });
        const auto start = std::chrono::steady_clock::now();
        // The stop is answered at once, long before the stall time-out ends the wait.
        const SHttpQueryResult result = Get(pszPath, 30);
        stopper.join();
        EXPECT_EQ(result.nResult, kQueryStopped);
        if (std::wstring(pszPath) == L"/stall-mid") {
            EXPECT_EQ(result.strBody, "first line\n");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
}

HCERTSTORE OpenUserRoots() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
}

// The test authority in the current user's root store for the life of the object. The store is
// closed after each change: that is when the change reaches the registry other readers use.
class CTrustedTestRoot {
  public:
    explicit CTrustedTestRoot(const std::wstring& strPemFile) {
        std::ifstream in(std::filesystem::path(strPemFile), std::ios::binary);
        const std::string strPem((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
        DWORD nDer = 0;
        if (strPem.empty() || !CryptStringToBinaryA(strPem.c_str(), 0, CRYPT_STRING_BASE64HEADER,
                                                    nullptr, &nDer, nullptr, nullptr))
            return;
        m_der.resize(nDer);
        if (!CryptStringToBinaryA(strPem.c_str(), 0, CRYPT_STRING_BASE64HEADER, m_der.data(), &nDer,
                                  nullptr, nullptr))
            return;
        HCERTSTORE hStore = OpenUserRoots();
        if (!hStore) return;
        m_bTrusted =
            CertAddEncodedCertificateToStore(hStore, X509_ASN_ENCODING, m_der.data(), nDer,
                                             CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
        CertCloseStore(hStore, 0);
    }
    ~CTrustedTestRoot() {
        if (!m_bTrusted) return;
        HCERTSTORE hStore = OpenUserRoots();
        if (!hStore) return;
        PCCERT_CONTEXT pOurs = CertCreateCertificateContext(X509_ASN_ENCODING, m_der.data(),
                                                            static_cast<DWORD>(m_der.size()));
        PCCERT_CONTEXT pFound = pOurs
                                    ? CertFindCertificateInStore(hStore, X509_ASN_ENCODING, 0,
                                                                 CERT_FIND_EXISTING, pOurs, nullptr)
                                    : nullptr;
        if (pFound) CertDeleteCertificateFromStore(pFound);  // frees pFound
        if (pOurs) CertFreeCertificateContext(pOurs);
        CertCloseStore(hStore, 0);
    }
    CTrustedTestRoot(const CTrustedTestRoot&) = delete;
    CTrustedTestRoot& operator=(const CTrustedTestRoot&) = delete;
    bool IsTrusted() const { return m_bTrusted; }

  private:
    std::vector<BYTE> m_der;
    bool m_bTrusted = false;
};

TEST_F(WinInetQueryTest, HttpsIsVerifiedAgainstTheSystemStore) {
    const std::wstring strHttps = Env("LOCANYM_TEST_HTTPS_URL");
    const std::wstring strCa = Env("LOCANYM_TEST_CA_FILE");
    if (strHttps.empty() || strCa.empty()) GTEST_SKIP() << "no HTTPS peer";
    // Trusted before the first TLS request: the system may keep the root store it read then.
    CTrustedTestRoot root(strCa);
    ASSERT_TRUE(root.IsTrusted());
    SHttpQuery query;
    query.nStallTimeoutSeconds = 5;
    query.strUrl = strHttps + L"/crlf";
    SHttpQueryResult result = HttpQuery(query);
    EXPECT_EQ(result.nResult, 0) << WideToUtf8(result.strError);
    EXPECT_EQ(result.strBody, "line one\nline two\n");
    // The certificate names localhost only: by address the name does not match, and that
    // error is reported, never ignored.
    const std::wstring strHost = L"https://localhost:";
    ASSERT_EQ(strHttps.rfind(strHost, 0), 0u);
    query.strUrl = L"https://127.0.0.1:" + strHttps.substr(strHost.size()) + L"/crlf";
    result = HttpQuery(query);
    EXPECT_EQ(result.nResult, kQueryException);
    EXPECT_EQ(result.strBody, "");
}

}  // namespace
