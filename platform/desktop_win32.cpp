#include <windows.h>
// The headers below need windows.h first.
#include <shellapi.h>

#include <cstring>

#include "platform/desktop.h"

namespace {

// The clipboard belongs to one window at a time: it is closed on every path.
class CClipboardOpen {
  public:
    CClipboardOpen() : m_bOpen(OpenClipboard(nullptr) != FALSE) {}
    ~CClipboardOpen() {
        if (m_bOpen) CloseClipboard();
    }
    CClipboardOpen(const CClipboardOpen&) = delete;
    CClipboardOpen& operator=(const CClipboardOpen&) = delete;
    bool IsOpen() const { return m_bOpen; }

  private:
    bool m_bOpen;
};

// Global memory handed to the clipboard, freed unless the clipboard took it.
class CGlobalMemory {
  public:
    explicit CGlobalMemory(size_t nBytes) : m_h(GlobalAlloc(GMEM_MOVEABLE, nBytes)) {}
    ~CGlobalMemory() {
        if (m_h) GlobalFree(m_h);
    }
    CGlobalMemory(const CGlobalMemory&) = delete;
    CGlobalMemory& operator=(const CGlobalMemory&) = delete;
    HGLOBAL Get() const { return m_h; }
    void Release() { m_h = nullptr; }

  private:
    HGLOBAL m_h;
};

}  // namespace

bool OpenAddressWithDesktop(const std::wstring& strAddress) {
    if (strAddress.empty()) return false;
    // Values above 32 mean the opener was started.
    const INT_PTR nResult = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", strAddress.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return nResult > 32;
}

bool CopyTextToClipboard(const std::wstring& strText) {
    const size_t nBytes = (strText.size() + 1) * sizeof(wchar_t);
    CGlobalMemory memory(nBytes);
    if (!memory.Get()) return false;
    void* pTarget = GlobalLock(memory.Get());
    if (!pTarget) return false;
    std::memcpy(pTarget, strText.c_str(), nBytes);
    GlobalUnlock(memory.Get());
    CClipboardOpen clipboard;
    if (!clipboard.IsOpen() || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, memory.Get())) return false;
    // The clipboard owns the memory now.
    memory.Release();
    return true;
}
