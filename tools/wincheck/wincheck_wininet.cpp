// windows.h brings wincrypt.h, which needs windows.h's types and would sort before it.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Owns a WinINet handle.
class CInternetHandle {
  public:
    explicit CInternetHandle(HINTERNET hHandle) : m_hHandle(hHandle) {}
    ~CInternetHandle() {
        if (m_hHandle != nullptr) InternetCloseHandle(m_hHandle);
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    HINTERNET Get() const { return m_hHandle; }

  private:
    HINTERNET m_hHandle;
};

std::wstring Widen(const char* pszText) {
    int nLength = MultiByteToWideChar(CP_UTF8, 0, pszText, -1, nullptr, 0);
    if (nLength <= 0) return std::wstring();
    std::wstring strWide(static_cast<size_t>(nLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszText, -1, strWide.data(), nLength);
    strWide.resize(static_cast<size_t>(nLength - 1));
    return strWide;
}

// Trusts a test authority for this Wine prefix's user (Wine asks no question, unlike Windows).
int AddRoot(const char* pszDerFile) {
    FILE* pFile = std::fopen(pszDerFile, "rb");
    if (pFile == nullptr) return 1;
    std::vector<BYTE> der(64 * 1024);
    size_t nSize = std::fread(der.data(), 1, der.size(), pFile);
    std::fclose(pFile);
    HCERTSTORE hStore =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (hStore == nullptr) return 1;
    BOOL bAdded = CertAddEncodedCertificateToStore(hStore, X509_ASN_ENCODING, der.data(),
                                                   static_cast<DWORD>(nSize),
                                                   CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(hStore, 0);
    return bAdded ? 0 : 1;
}

}  // namespace

// wincheck_wininet --add-root CERT.der
// wincheck_wininet URL FLAGS_HEX EXPECTED_BODY_PREFIX
// Fetches URL with WinINet and prints the status and the error code, so run.sh can check both
// the plain and the TLS path against a loopback server.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--add-root") return AddRoot(argv[2]);
    if (argc < 4) return 2;
    std::wstring strUrl = Widen(argv[1]);
    DWORD dwFlags = std::strtoul(argv[2], nullptr, 16);

    CInternetHandle session(
        InternetOpenW(L"wincheck", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (session.Get() == nullptr) return 1;
    CInternetHandle request(InternetOpenUrlW(session.Get(), strUrl.c_str(),
                                             L"Accept: application/json\r\n",
                                             static_cast<DWORD>(-1), dwFlags, 0));
    if (request.Get() == nullptr) {
        std::printf("wincheck_wininet: %s error %lu\n", argv[1], GetLastError());
        return 1;
    }
    DWORD dwStatus = 0;
    DWORD dwLength = sizeof(dwStatus);
    HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus,
                   &dwLength, nullptr);
    std::string strBody;
    char buffer[4096];
    DWORD dwRead = 0;
    while (InternetReadFile(request.Get(), buffer, sizeof(buffer), &dwRead) && dwRead > 0) {
        strBody.append(buffer, dwRead);
    }
    bool bBody = strBody.rfind(argv[3], 0) == 0;
    std::printf("wincheck_wininet: %s status %lu, body %s\n", argv[1], dwStatus,
                bBody ? "ok" : "WRONG");
    return dwStatus == 200 && bBody ? 0 : 1;
}
