#include <windows.h>

#include <string>

#include "base/text.h"
#include "platform/help.h"

const wchar_t kHelpFileName[] = L"Locanym.chm";

namespace {

// The HTML Help control's class; its server is the viewer library this system installed.
constexpr wchar_t kHtmlHelpServerKey[] =
    L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr wchar_t kHtmlHelpLibrary[] = L"hhctrl.ocx";
// HtmlHelpW, taken by the ordinal every version of the library has given it.
constexpr WORD kHtmlHelpOrdinal = 15;
constexpr UINT kHelpDisplayTopic = 0;

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

class CRegistryKey {
  public:
    CRegistryKey() = default;
    ~CRegistryKey() {
        if (m_hKey) RegCloseKey(m_hKey);
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    HKEY* Receive() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

  private:
    HKEY m_hKey = nullptr;
};

// The library file the system registers for the control; empty when there is none usable.
std::wstring RegisteredLibrary() {
    CRegistryKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS)
        return std::wstring();
    wchar_t szValue[MAX_PATH + 1] = {0};
    DWORD nBytes = sizeof szValue - sizeof szValue[0];
    DWORD dwType = 0;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &dwType, reinterpret_cast<BYTE*>(szValue),
                         &nBytes) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return std::wstring();
    // The stored value need not end in a zero; the spare last character supplies one.
    szValue[nBytes / sizeof szValue[0]] = 0;
    if (dwType == REG_SZ) return szValue;
    wchar_t szExpanded[MAX_PATH] = {0};
    const DWORD nLength = ExpandEnvironmentStringsW(szValue, szExpanded, MAX_PATH);
    if (nLength == 0 || nLength > MAX_PATH) return std::wstring();
    return szExpanded;
}

}  // namespace

CHelpLoader::CHelpLoader(const char* pszOpener) : m_strOpener(pszOpener ? pszOpener : "") {}

bool CHelpLoader::Open(const std::wstring& strPath) {
    if (m_eState == EState::kMissing || strPath.empty()) return false;
    if (m_eState == EState::kUnknown) {
        HMODULE hLibrary = nullptr;
        if (!m_strOpener.empty()) {
            hLibrary = LoadLibraryW(Utf8ToWide(m_strOpener).c_str());
        } else {
            const std::wstring strRegistered = RegisteredLibrary();
            if (!strRegistered.empty()) hLibrary = LoadLibraryW(strRegistered.c_str());
            if (!hLibrary) hLibrary = LoadLibraryW(kHtmlHelpLibrary);
        }
        FARPROC pEntry =
            hLibrary ? GetProcAddress(hLibrary, MAKEINTRESOURCEA(kHtmlHelpOrdinal)) : nullptr;
        if (!pEntry) {
            if (hLibrary) FreeLibrary(hLibrary);
            m_eState = EState::kMissing;
            return false;
        }
        // The library is never freed: the viewer's window and threads may outlive this object,
        // and freeing it while the module itself is unloaded is not safe.
        m_pEntry = reinterpret_cast<void*>(pEntry);
        m_eState = EState::kFound;
    }
    const auto pHtmlHelp = reinterpret_cast<HtmlHelpFn>(m_pEntry);
    return pHtmlHelp(nullptr, strPath.c_str(), kHelpDisplayTopic, 0) != nullptr;
}
