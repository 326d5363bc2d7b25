#include "ui/win32/dialog_backend_win32.h"

#include <windows.h>
// The header below needs windows.h first.
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/static_link.h"

// windows.h names MessageBoxW this way, which would rename IDialogHost's method here.
#undef MessageBox

namespace {

constexpr UINT_PTR kLinkSubclassId = 1;

class CFont {
  public:
    CFont() = default;
    ~CFont() {
        if (m_hFont) DeleteObject(m_hFont);
    }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    void Reset(HFONT hFont) {
        if (m_hFont) DeleteObject(m_hFont);
        m_hFont = hFont;
    }
    HFONT Get() const { return m_hFont; }

  private:
    HFONT m_hFont = nullptr;
};

class CWin32Host : public IDialogHost {
  public:
    CWin32Host(CDialog& dialog, const CDialogResource& resource)
        : m_dialog(dialog), m_resource(resource) {}

    HWND Item(int nId) const {
        return nId == kIdcStatic || !m_hWnd ? nullptr : GetDlgItem(m_hWnd, nId);
    }
    EControlKind KindOf(int nId, bool& bKnown) const {
        const CControlResource* pControl = FindControl(m_resource, nId);
        bKnown = pControl != nullptr;
        return pControl ? pControl->kind : EControlKind::kStatic;
    }
    bool Is(int nId, EControlKind kind) const {
        bool bKnown = false;
        return KindOf(nId, bKnown) == kind && bKnown && Item(nId);
    }
    bool IsLink(int nId) const {
        const CControlResource* pControl = FindControl(m_resource, nId);
        return pControl && (pControl->nFlags & kCtlLink);
    }

    static std::wstring WindowText(HWND hWnd) {
        if (!hWnd) return std::wstring();
        const int nLength = GetWindowTextLengthW(hWnd);
        if (nLength <= 0) return std::wstring();
        std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
        const int nCopied = GetWindowTextW(hWnd, strText.data(), nLength + 1);
        strText.resize(nCopied > 0 ? static_cast<size_t>(nCopied) : 0);
        return strText;
    }

    std::wstring GetText(int nId) const override {
        if (nId == 0) return WindowText(m_hWnd);
        if (Is(nId, EControlKind::kDropDownList)) return GetListItem(nId, GetListSel(nId));
        return WindowText(Item(nId));
    }
    void SetText(int nId, const std::wstring& strText) override {
        if (nId == 0) {
            SetWindowTextW(m_hWnd, strText.c_str());
            return;
        }
        // A drop-down list shows its selection, never a text of its own.
        if (!Item(nId) || Is(nId, EControlKind::kDropDownList)) return;
        SetWindowTextW(Item(nId), strText.c_str());
        if (IsLink(nId)) RedrawLink(nId);
    }
    bool GetCheck(int nId) const override {
        return Is(nId, EControlKind::kCheckBox) &&
               SendMessageW(Item(nId), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void SetCheck(int nId, bool bChecked) override {
        if (Is(nId, EControlKind::kCheckBox))
            SendMessageW(Item(nId), BM_SETCHECK, bChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    bool IsEnabled(int nId) const override {
        HWND hItem = Item(nId);
        return hItem && IsWindowEnabled(hItem);
    }
    void Enable(int nId, bool bEnable) override {
        if (HWND hItem = Item(nId)) EnableWindow(hItem, bEnable ? TRUE : FALSE);
    }
    // The control's own flag: the dialog itself is hidden until its first message loop idles.
    bool IsVisible(int nId) const override {
        HWND hItem = Item(nId);
        return hItem && (GetWindowLongPtrW(hItem, GWL_STYLE) & WS_VISIBLE);
    }
    void Show(int nId, bool bShow) override {
        if (HWND hItem = Item(nId)) ShowWindow(hItem, bShow ? SW_SHOW : SW_HIDE);
    }

    void ResetList(int nId) override {
        if (Is(nId, EControlKind::kDropDownList)) SendMessageW(Item(nId), CB_RESETCONTENT, 0, 0);
    }
    void AddListItem(int nId, const std::wstring& strItem) override {
        if (Is(nId, EControlKind::kDropDownList))
            SendMessageW(Item(nId), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strItem.c_str()));
    }
    int GetListCount(int nId) const override {
        if (!Is(nId, EControlKind::kDropDownList)) return 0;
        const LRESULT nCount = SendMessageW(Item(nId), CB_GETCOUNT, 0, 0);
        return nCount < 0 ? 0 : static_cast<int>(nCount);
    }
    std::wstring GetListItem(int nId, int nIndex) const override {
        if (!Is(nId, EControlKind::kDropDownList) || nIndex < 0) return std::wstring();
        const LRESULT nLength = SendMessageW(Item(nId), CB_GETLBTEXTLEN, nIndex, 0);
        if (nLength == CB_ERR) return std::wstring();
        std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
        const LRESULT nCopied =
            SendMessageW(Item(nId), CB_GETLBTEXT, nIndex, reinterpret_cast<LPARAM>(strText.data()));
        strText.resize(nCopied > 0 ? static_cast<size_t>(nCopied) : 0);
        return strText;
    }
    int GetListSel(int nId) const override {
        if (!Is(nId, EControlKind::kDropDownList)) return -1;
        const LRESULT nSel = SendMessageW(Item(nId), CB_GETCURSEL, 0, 0);
        return nSel == CB_ERR ? -1 : static_cast<int>(nSel);
    }
    void SetListSel(int nId, int nIndex) override {
        // An index past the end (or -1) leaves the list without a selection.
        if (Is(nId, EControlKind::kDropDownList)) SendMessageW(Item(nId), CB_SETCURSEL, nIndex, 0);
    }

    void RedrawLink(int nId) override {
        if (HWND hItem = Item(nId)) InvalidateRect(hItem, nullptr, TRUE);
    }
    void MessageBox(const std::wstring& strText, const std::wstring& strCaption) override {
        ::MessageBoxW(m_hWnd, strText.c_str(), strCaption.c_str(), MB_OK | MB_ICONINFORMATION);
    }
    void Beep() override { MessageBeep(MB_OK); }
    void EndDialog(int nResult) override {
        m_nResult = nResult;
        ::EndDialog(m_hWnd, nResult);
    }

    CDialog& m_dialog;
    const CDialogResource& m_resource;
    HWND m_hWnd = nullptr;
    int m_nResult = 0;
    CFont m_linkFont;  // the dialog's font, underlined; lives until the window has gone
};

class CWin32DialogBackend;

struct CRun {
    CWin32DialogBackend* pBackend;
    CWin32Host* pHost;
};

class CWin32DialogBackend : public IDialogBackend {
  public:
    int RunModal(CDialog& dialog, uintptr_t hParent) override;

    std::vector<HWND> m_openWindows;  // nested modal windows, innermost last
};

LRESULT CALLBACK LinkProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam, UINT_PTR,
                          DWORD_PTR dwRefData) {
    auto* pHost = reinterpret_cast<CWin32Host*>(dwRefData);
    switch (nMessage) {
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            try {
                pHost->m_dialog.OnLinkClick(GetDlgCtrlID(hWnd), nMessage == WM_RBUTTONDOWN);
            } catch (...) {
                // Nothing may unwind through the window manager's frames; the click is lost.
            }
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hWnd, &LinkProc, kLinkSubclassId);
            break;
    }
    return DefSubclassProc(hWnd, nMessage, wParam, lParam);
}

// Gives each link control the underlined dialog font, the hand and the clicks.
void SetUpLinks(CWin32Host& host) {
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageW(host.m_hWnd, WM_GETFONT, 0, 0));
    LOGFONTW font{};
    if (hFont && GetObjectW(hFont, sizeof font, &font) == sizeof font) {
        font.lfUnderline = TRUE;
        host.m_linkFont.Reset(CreateFontIndirectW(&font));
    }
    for (const CControlResource& control : host.m_resource.controls) {
        if (!(control.nFlags & kCtlLink)) continue;
        HWND hItem = host.Item(control.nId);
        if (!hItem) continue;
        if (host.m_linkFont.Get())
            SendMessageW(hItem, WM_SETFONT, reinterpret_cast<WPARAM>(host.m_linkFont.Get()), FALSE);
        SetWindowSubclass(hItem, &LinkProc, kLinkSubclassId, reinterpret_cast<DWORD_PTR>(&host));
    }
}

void OnCommand(CWin32Host& host, int nId, int nCode, LPARAM lParam) {
    bool bKnown = false;
    const EControlKind kind = host.KindOf(nId, bKnown);
    // Escape and the close box send Cancel without a control.
    if (nId == kIdCancel && lParam == 0) {
        host.m_dialog.OnCancel();
        return;
    }
    if (!bKnown) return;
    switch (kind) {
        case EControlKind::kCheckBox:
        case EControlKind::kPushButton:
        case EControlKind::kDefPushButton:
            if (nCode == BN_CLICKED) host.m_dialog.OnCommand(nId);
            break;
        case EControlKind::kDropDownList:
            if (nCode == CBN_SELCHANGE) host.m_dialog.OnCommand(nId);
            break;
        default:
            break;
    }
}

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam) {
    if (nMessage == WM_INITDIALOG) SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    auto* pRun = reinterpret_cast<CRun*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!pRun) return FALSE;
    CWin32Host& host = *pRun->pHost;
    try {
        switch (nMessage) {
            case WM_INITDIALOG: {
                host.m_hWnd = hWnd;
                for (const CListItemResource& item : host.m_resource.listItems)
                    host.AddListItem(item.nControlId, item.pszText);
                SetUpLinks(host);
                host.m_dialog.Attach(host);
                pRun->pBackend->m_openWindows.push_back(hWnd);
                host.m_dialog.OnInitDialog();
                return TRUE;
            }
            case WM_COMMAND:
                OnCommand(host, LOWORD(wParam), HIWORD(wParam), lParam);
                return TRUE;
            case WM_CTLCOLORSTATIC: {
                // A live link in its colour; a switched-off one greyed like the labels around it.
                HWND hItem = reinterpret_cast<HWND>(lParam);
                const int nId = GetDlgCtrlID(hItem);
                if (!host.IsLink(nId) || !IsWindowEnabled(hItem)) return FALSE;
                const CStaticLink* pLink = host.m_dialog.FindLink(nId);
                HDC hDc = reinterpret_cast<HDC>(wParam);
                SetTextColor(hDc, pLink ? pLink->GetColor() : g_colorUnvisited);
                SetBkMode(hDc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
        }
    } catch (...) {
        // Nothing may unwind through the dialog manager: the dialog ends as cancelled.
        host.EndDialog(kIdCancel);
        return TRUE;
    }
    return FALSE;
}

void AddressInsideModule() {}

int CWin32DialogBackend::RunModal(CDialog& dialog, uintptr_t hParent) {
    const CDialogResource* pResource = FindDialogResource(dialog.GetResourceId());
    if (!pResource) return 0;
    HMODULE hModule = nullptr;
    // The module whose resources hold the dialogs is the one this code was linked into.
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&AddressInsideModule), &hModule))
        return 0;
    HWND hOwner = m_openWindows.empty() ? reinterpret_cast<HWND>(hParent) : m_openWindows.back();
    // A handle that names no window is ignored rather than allowed to stop the dialog.
    if (hOwner && !IsWindow(hOwner)) hOwner = nullptr;

    CWin32Host host(dialog, *pResource);
    CRun run{this, &host};
    const INT_PTR nResult = DialogBoxParamW(hModule, MAKEINTRESOURCEW(pResource->nId), hOwner,
                                            &DialogProc, reinterpret_cast<LPARAM>(&run));
    if (!m_openWindows.empty() && host.m_hWnd && m_openWindows.back() == host.m_hWnd)
        m_openWindows.pop_back();
    dialog.Detach();
    if (nResult == -1 || nResult == 0) return host.m_hWnd ? kIdCancel : 0;
    return static_cast<int>(nResult);
}

}  // namespace

std::unique_ptr<IDialogBackend> CreateWin32DialogBackend() {
    return std::make_unique<CWin32DialogBackend>();
}
