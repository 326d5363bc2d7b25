#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wincheck_resource.h"

namespace {

// Owns a module handle from LoadLibraryW.
class CModule {
  public:
    explicit CModule(HMODULE hModule) : m_hModule(hModule) {}
    ~CModule() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;
    HMODULE Get() const { return m_hModule; }

  private:
    HMODULE m_hModule;
};

std::wstring Widen(const char* pszText) {
    int nLength = MultiByteToWideChar(CP_UTF8, 0, pszText, -1, nullptr, 0);
    if (nLength <= 0) return std::wstring();
    std::wstring strWide(static_cast<size_t>(nLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszText, -1, strWide.data(), nLength);
    strWide.resize(static_cast<size_t>(nLength - 1));
    return strWide;
}

int Fail(const char* pszWhat) {
    std::fprintf(stderr, "wincheck_load: %s (error %lu)\n", pszWhat, GetLastError());
    return 1;
}

}  // namespace

// Copies the DLL into a folder whose name is not ASCII, loads it from there, calls its export and
// reads its resources: the same steps the host and the module take with Locanym.dll.
int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: wincheck_load DLL");
    std::wstring strSource = Widen(argv[1]);

    wchar_t szTemp[MAX_PATH];
    if (GetTempPathW(MAX_PATH, szTemp) == 0) return Fail("GetTempPathW");
    std::wstring strFolder = std::wstring(szTemp) + L"wincheck \u00e9t\u00e9 \u65e5\u672c";
    CreateDirectoryW(strFolder.c_str(), nullptr);
    std::wstring strDll = strFolder + L"\\wincheck.dll";
    if (!CopyFileW(strSource.c_str(), strDll.c_str(), FALSE)) return Fail("CopyFileW");

    int nResult = 1;
    {
        CModule module(LoadLibraryW(strDll.c_str()));
        if (module.Get() == nullptr) return Fail("LoadLibraryW");
        using FnAnswer = int (*)(const wchar_t*);
        auto pfnAnswer = reinterpret_cast<FnAnswer>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), "WincheckAnswer")));
        if (pfnAnswer == nullptr) return Fail("GetProcAddress(WincheckAnswer)");
        int nAnswer = pfnAnswer(L"caf\u00e9");
        int nEmpty = pfnAnswer(L"");

        wchar_t szCaption[64] = {};
        int nCaption = LoadStringW(module.Get(), IDS_WINCHECK_CAPTION, szCaption, 64);
        bool bDialog =
            FindResourceW(module.Get(), MAKEINTRESOURCEW(IDD_WINCHECK), RT_DIALOG) != nullptr;

        wchar_t szPath[MAX_PATH];
        DWORD nPath = GetModuleFileNameW(module.Get(), szPath, MAX_PATH);
        DWORD dwHandle = 0;
        DWORD nInfo = nPath ? GetFileVersionInfoSizeW(szPath, &dwHandle) : 0;
        std::vector<BYTE> info(nInfo);
        VS_FIXEDFILEINFO* pFixed = nullptr;
        UINT nFixed = 0;
        bool bVersion =
            nInfo && GetFileVersionInfoW(szPath, 0, nInfo, info.data()) &&
            VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &nFixed) &&
            pFixed != nullptr && pFixed->dwFileVersionMS == MAKELONG(0, 1) &&
            pFixed->dwFileVersionLS == MAKELONG(0, 1);

        bool bCaption =
            std::wstring(szCaption, static_cast<size_t>(nCaption)) == L"L\u00e9gende \u20ac";
        std::printf("wincheck_load: answer %d, empty %d, caption %s, dialog %s, version %s\n",
                    nAnswer, nEmpty, bCaption ? "ok" : "WRONG", bDialog ? "ok" : "MISSING",
                    bVersion ? "1.0.1.0" : "WRONG");
        if (nAnswer == 4 && nEmpty == 0 && bCaption && bDialog && bVersion) nResult = 0;
    }
    DeleteFileW(strDll.c_str());
    RemoveDirectoryW(strFolder.c_str());
    return nResult;
}
