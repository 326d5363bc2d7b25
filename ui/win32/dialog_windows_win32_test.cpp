// The real Win32 dialog boxes under Wine with a display: the DLL's resources carry every control
// of the resource table; the backend maps IDialogHost onto the real controls; posted clicks and
// keys, as a user's arrive, reach the values and the actions. A bitmap of each dialog lands in
// LOCANYM_TEST_SCREENS when it is set. Skips when Wine has no display. The configure message's
// answers are the shared contract's (core/configure_test, host_configure_test).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/dialog_checks.h"
#include "ui/win32/dialog_backend_win32.h"

namespace {

std::wstring TextOf(HWND hWnd) {
    wchar_t szText[512] = {0};
    GetWindowTextW(hWnd, szText, ARRAYSIZE(szText));
    return szText;
}

void Click(HWND hDialog, int nId) {
    PostMessageW(GetDlgItem(hDialog, nId), BM_CLICK, 0, 0);
}

// The screen under the window, frame and children included, as a 32-bit top-down bitmap file.
bool SaveBitmap(HWND hWnd, const char* pszName) {
    const char* pszFolder = std::getenv("LOCANYM_TEST_SCREENS");
    if (!pszFolder || !*pszFolder) return true;
    RECT box;
    GetWindowRect(hWnd, &box);
    const int nWidth = box.right - box.left, nHeight = box.bottom - box.top;
    HDC hScreen = GetDC(nullptr);
    std::unique_ptr<HDC__, decltype(&DeleteDC)> hMemDc(CreateCompatibleDC(hScreen), &DeleteDC);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = -nHeight;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    std::unique_ptr<HBITMAP__, decltype(&DeleteObject)> bitmap(
        CreateDIBSection(hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0), &DeleteObject);
    bool bCopied = false;
    if (bitmap) {
        HGDIOBJ hOld = SelectObject(hMemDc.get(), bitmap.get());
        bCopied =
            BitBlt(hMemDc.get(), 0, 0, nWidth, nHeight, hScreen, box.left, box.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(hMemDc.get(), hOld);
    }
    ReleaseDC(nullptr, hScreen);
    if (!bCopied) return false;
    const DWORD nBytes = static_cast<DWORD>(nWidth) * static_cast<DWORD>(nHeight) * 4;
    // Image tools read the fourth byte of each pixel as opacity; the screen has none.
    for (DWORD i = 3; i < nBytes; i += 4) static_cast<uint8_t*>(pBits)[i] = 0xFF;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof file + sizeof info.bmiHeader};
    file.bfSize = file.bfOffBits + nBytes;
    std::unique_ptr<FILE, decltype(&std::fclose)> pFile(
        std::fopen((std::string(pszFolder) + "\\" + pszName + ".bmp").c_str(), "wb"), &std::fclose);
    return pFile && std::fwrite(&file, sizeof file, 1, pFile.get()) == 1 &&
           std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, pFile.get()) == 1 &&
           std::fwrite(pBits, 1, nBytes, pFile.get()) == nBytes;
}

// Plays the steps from a thread timer, which runs in whichever modal loop is running: a step
// acts once the window it names (by caption prefix) is the one a user could act on and has
// stood still for a moment. After kMaxRunMs whatever is open is cancelled, so a lost step ends
// the test instead of hanging it.
struct CStep {
    std::wstring strCaptionStart;
    std::function<void(HWND)> action;
};

class CDriver {
  public:
    explicit CDriver(std::vector<CStep> steps)
        : m_steps(std::move(steps)), m_nStart(GetTickCount()) {
        s_pDriver = this;
        m_nTimer = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~CDriver() {
        KillTimer(nullptr, m_nTimer);
        s_pDriver = nullptr;
    }
    CDriver(const CDriver&) = delete;
    CDriver& operator=(const CDriver&) = delete;
    bool Done() const { return m_nNext == m_steps.size(); }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        CDriver* p = s_pDriver;
        if (!p) return;
        // The innermost modal window is the only visible top-level one still enabled.
        HWND hActive = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND hWnd, LPARAM lParam) -> BOOL {
                if (IsWindowVisible(hWnd) && IsWindowEnabled(hWnd))
                    *reinterpret_cast<HWND*>(lParam) = hWnd;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&hActive));
        if (!hActive) return;
        if (GetTickCount() - p->m_nStart > kMaxRunMs) {
            PostMessageW(hActive, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (hActive != p->m_hSeen) p->m_hSeen = hActive, p->m_nSeenAt = GetTickCount();
        if (p->Done() || GetTickCount() - p->m_nSeenAt < kSettleMs) return;
        CStep& step = p->m_steps[p->m_nNext];
        if (TextOf(hActive).rfind(step.strCaptionStart, 0) != 0) return;
        ++p->m_nNext;
        step.action(hActive);
        p->m_hSeen = nullptr;
    }

    static constexpr DWORD kMaxRunMs = 30000, kSettleMs = 300;
    static inline CDriver* s_pDriver = nullptr;
    std::vector<CStep> m_steps;
    size_t m_nNext = 0;
    DWORD m_nStart = 0, m_nSeenAt = 0;
    HWND m_hSeen = nullptr;
    UINT_PTR m_nTimer = 0;
};

class Win32Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* pszDisplay = std::getenv("DISPLAY");
        if (!pszDisplay || !*pszDisplay) GTEST_SKIP() << "Wine has no display";
    }
    CRecordingActions m_actions;
};

// What the native control shows: "(off)" when it is disabled, else a check box as "1" or "0", a
// list its selected entry, others their text.
std::wstring ShownText(HWND hDialog, int nId) {
    HWND hItem = GetDlgItem(hDialog, nId);
    if (!IsWindowEnabled(hItem)) return L"(off)";
    wchar_t szClass[64] = {0};
    GetClassNameW(hItem, szClass, ARRAYSIZE(szClass));
    if (_wcsicmp(szClass, L"Button") == 0)
        return IsDlgButtonChecked(hDialog, nId) == BST_CHECKED ? L"1" : L"0";
    if (_wcsicmp(szClass, L"ComboBox") != 0) return TextOf(hItem);
    wchar_t szItem[128] = {0};
    SendMessageW(hItem, CB_GETLBTEXT, SendMessageW(hItem, CB_GETCURSEL, 0, 0),
                 reinterpret_cast<LPARAM>(szItem));
    return szItem;
}

TEST_F(Win32Dialogs, ControlsCarryTheValuesBothWaysAndOpenTheOtherDialogs) {
    std::unique_ptr<IDialogBackend> backend = CreateWin32DialogBackend();
    CProbedMainDlg dlg(m_actions);
    dlg.m_bEnabled = 1;
    CDriver driver({
        {L"Locanym",
         [&](HWND h) {
             EXPECT_TRUE(SaveBitmap(h, "dialog_101_main"));
             EXPECT_EQ(
                 RoundTripMainDialogControls(dlg.Host(), [h](int n) { return ShownText(h, n); }),
                 std::vector<std::string>{});
             // What a user does, as the window's messages: a click on the link, a typed
             // language, and the other two dialogs opened.
             PostMessageW(GetDlgItem(h, kIdcLangCodesLink), WM_LBUTTONDOWN, MK_LBUTTON, 0);
             SetDlgItemTextW(h, kIdcLang, L"");
             for (wchar_t ch : {L'd', L'e'}) PostMessageW(GetDlgItem(h, kIdcLang), WM_CHAR, ch, 0);
             Click(h, kIdcApiKey);
         }},
        {L"Api Key",
         [&](HWND h) {
             EXPECT_TRUE(SaveBitmap(h, "dialog_103_api_key"));
             Click(h, kIdOk);
         }},
        {L"Locanym", [&](HWND h) { Click(h, kIdcGeoNames); }},
        {L"Geonames settings",
         [&](HWND h) {
             EXPECT_TRUE(SaveBitmap(h, "dialog_1009_geonames"));
             Click(h, kIdcGeo2);
             PostMessageW(h, WM_KEYDOWN, VK_ESCAPE, 0);
         }},
        {L"Locanym", [&](HWND h) { Click(h, kIdOk); }},
    });
    EXPECT_EQ(dlg.DoModal(*backend), kIdOk);
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(dlg.m_strLang, L"de");
    EXPECT_EQ(dlg.m_bGeo2, 0);
    EXPECT_EQ(m_actions.m_opened, std::vector<std::wstring>{kLanguageCodesUrl});
}

// Class and style of the window made for each kind of control, with its flags.
bool KindMatches(HWND hItem, const CControlResource& control) {
    const LONG_PTR nStyle = GetWindowLongPtrW(hItem, GWL_STYLE);
    wchar_t szClass[64] = {0};
    GetClassNameW(hItem, szClass, ARRAYSIZE(szClass));
    auto is = [&szClass](const wchar_t* pszClass) { return _wcsicmp(szClass, pszClass) == 0; };
    switch (control.kind) {
        case EControlKind::kStatic:
            return is(L"Static") &&
                   ((nStyle & SS_NOTIFY) != 0) == ((control.nFlags & kCtlLink) != 0) &&
                   ((nStyle & SS_TYPEMASK) == SS_CENTER) == ((control.nFlags & kCtlCentre) != 0);
        case EControlKind::kEdit:
            return is(L"Edit") &&
                   ((nStyle & ES_AUTOHSCROLL) != 0) == ((control.nFlags & kCtlHScroll) != 0);
        case EControlKind::kDropDownList:
            return is(L"ComboBox") && (nStyle & 3) == CBS_DROPDOWNLIST;
        case EControlKind::kGroupBox:
            return is(L"Button") && (nStyle & 0xF) == BS_GROUPBOX;
        case EControlKind::kCheckBox:
            return is(L"Button") && (nStyle & 0xF) == BS_AUTOCHECKBOX;
        case EControlKind::kPushButton:
            return is(L"Button") && (nStyle & 0xF) == BS_PUSHBUTTON;
        case EControlKind::kDefPushButton:
            return is(L"Button") && (nStyle & 0xF) == BS_DEFPUSHBUTTON;
    }
    return false;
}

// The resources read back from the built DLL: each dialog has exactly the controls of its
// table, in table order, and the string table has the dialogs' string.
TEST_F(Win32Dialogs, TheModuleCarriesEveryControlOfTheTable) {
    std::unique_ptr<HINSTANCE__, decltype(&FreeLibrary)> hModule(
        LoadLibraryExW(std::filesystem::path(LOCANYM_MODULE_PATH).wstring().c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE),
        &FreeLibrary);
    ASSERT_TRUE(hModule);
    for (const CDialogResource& dialog : GetDialogResources()) {
        std::unique_ptr<HWND__, decltype(&DestroyWindow)> hDialog(
            CreateDialogParamW(
                hModule.get(), MAKEINTRESOURCEW(dialog.nId), nullptr,
                [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0),
            &DestroyWindow);
        ASSERT_TRUE(hDialog) << dialog.nId;
        EXPECT_EQ(TextOf(hDialog.get()), dialog.pszCaption);
        std::vector<HWND> items;
        for (HWND h = GetWindow(hDialog.get(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
            items.push_back(h);
        EXPECT_EQ(items.size(), dialog.controls.size()) << dialog.nId;
        for (const std::string& strProblem : CheckControlsOfResource(dialog, false, [&](size_t i) {
                 SControlSeen seen;
                 const CControlResource& control = dialog.controls[i];
                 if (i >= items.size() ||
                     static_cast<WORD>(GetDlgCtrlID(items[i])) != static_cast<WORD>(control.nId))
                     return seen;
                 return SControlSeen{true, KindMatches(items[i], control), TextOf(items[i])};
             }))
            ADD_FAILURE() << strProblem;
    }
    wchar_t szText[128] = {0};
    LoadStringW(hModule.get(), kIdsCacheCleared, szText, ARRAYSIZE(szText));
    EXPECT_STREQ(szText, LoadUiString(kIdsCacheCleared));
}

}  // namespace
