// The WinINet transport's part of the transport tests (http/transport_test.cpp). Their peer is
// locanym-transport-server, which scripts/test.sh --windows starts natively beside Wine; its
// addresses come in LOCANYM_TEST_HTTP_URL, LOCANYM_TEST_HTTPS_URL and LOCANYM_TEST_CA_FILE, and
// without them the tests skip. Its certificate names localhost only and is trusted through the
// current user's root store.
#include <windows.h>
// The headers below need windows.h first.
#include <wincrypt.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "tests/support/transport_peer.h"

namespace {

std::wstring Env(const char* pszName) {
    const char* pszValue = std::getenv(pszName);
    return pszValue ? Utf8ToWide(pszValue) : std::wstring();
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

}  // namespace

std::wstring TransportPeerUrl() {
    return Env("LOCANYM_TEST_HTTP_URL");
}
std::wstring TransportPeerHttpsUrl() {
    return Env("LOCANYM_TEST_CA_FILE").empty() ? std::wstring() : Env("LOCANYM_TEST_HTTPS_URL");
}

// Trusted before the first TLS request, as the system may keep the root store it read then;
// taken out of the store again when the process ends.
bool TrustTransportPeer() {
    static const std::unique_ptr<CTrustedTestRoot> pRoot =
        std::make_unique<CTrustedTestRoot>(Env("LOCANYM_TEST_CA_FILE"));
    return pRoot->IsTrusted();
}

// By address the certificate's name does not match.
std::wstring UntrustedTransportPeerUrl() {
    const std::wstring strHttps = TransportPeerHttpsUrl(), strHost = L"https://localhost:";
    if (strHttps.rfind(strHost, 0) != 0) return L"https://127.0.0.1:1";
    return L"https://127.0.0.1:" + strHttps.substr(strHost.size());
}
