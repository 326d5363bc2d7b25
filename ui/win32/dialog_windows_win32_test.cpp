// The real Win32 dialog boxes under Wine with a display: the DLL's dialog resources carry every
// control of the resource table, and the three dialogs, driven by posted messages as a user's
// clicks and keys would arrive, move the values in and out, open each other and reach the
// application's side. A bitmap of each window lands in LOCANYM_TEST_SCREENS when it is set.
// Skips when Wine has no display.
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

#include "base/host_api.h"
#include "tests/support/plugin_host.h"
#include "ui/locanym_dlg.h"
#include "ui/settings_ui.h"

namespace {

class CActions : public ISettingsActions {
  public:
    std::vector<std::wstring> m_keys = {L"", L"", L"old-user"}, m_opened, m_copied;
    int m_nClearCache = 0;

    void ClearCache() override { ++m_nClearCache; }
    bool OpenAddress(const std::wstring& strUrl) override {
        m_opened.push_back(strUrl);
        return true;
    }
    bool CopyText(const std::wstring& strText) override {
        m_copied.push_back(strText);
        return true;
    }
    void OpenHelp(uintptr_t) override {}
    size_t GetServiceCount() const override { return 6; }
    std::wstring GetServiceName(size_t i) const override {
        static const wchar_t* const kNames[] = {L"LocationIQ",   L"GeoApify", L"GeoNames",
                                                L"BigDataCloud", L"MapsCo",   L"OpenWeather"};
        return kNames[i];
    }
    std::wstring GetHomePageUrl(size_t) const override { return L"https://home.example/"; }
    // The fourth service has no sign-up page, so no key button.
    std::wstring GetSignUpUrl(size_t i) const override {
        return i == 3 ? std::wstring() : L"https://signup.example/" + std::to_wstring(i);
    }
    std::wstring GetUserApiKey(size_t i) const override {
        return i < m_keys.size() ? m_keys[i] : std::wstring();
    }
    void SetUserApiKey(size_t i, const std::wstring& strKey) override {
        if (m_keys.size() <= i) m_keys.resize(i + 1);
        m_keys[i] = strKey;
    }
    std::wstring GetVersionText() const override { return L"Locanym *"; }
};

std::wstring TextOf(HWND hWnd) {
    wchar_t szText[512] = {0};
    GetWindowTextW(hWnd, szText, ARRAYSIZE(szText));
    return szText;
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t szClass[64] = {0};
    GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
    return szClass;
}

// ---- What a user does, as posted messages the dialog's own loop delivers in order.

void Click(HWND hDialog, int nId) {
    PostMessageW(GetDlgItem(hDialog, nId), BM_CLICK, 0, 0);
}

void Pick(HWND hDialog, int nId, int nIndex) {
    HWND hList = GetDlgItem(hDialog, nId);
    SendMessageW(hList, CB_SETCURSEL, nIndex, 0);
    PostMessageW(hDialog, WM_COMMAND, MAKEWPARAM(nId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hList));
}

void Type(HWND hDialog, int nId, const std::wstring& strText) {
    HWND hEdit = GetDlgItem(hDialog, nId);
    SendMessageW(hEdit, EM_SETSEL, 0, -1);
    SendMessageW(hEdit, WM_CLEAR, 0, 0);
    for (wchar_t ch : strText) PostMessageW(hEdit, WM_CHAR, ch, 0);
}

void ClickLink(HWND hDialog, int nId, bool bRight) {
    PostMessageW(GetDlgItem(hDialog, nId), bRight ? WM_RBUTTONDOWN : WM_LBUTTONDOWN,
                 bRight ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(3, 3));
}

bool Checked(HWND hDialog, int nId) {
    return IsDlgButtonChecked(hDialog, nId) == BST_CHECKED;
}

// ---- Screenshots: the window as the display shows it, a 32-bit top-down bitmap file.

struct CDcReleaser {
    HWND hWnd;
    void operator()(HDC hDc) const { ReleaseDC(hWnd, hDc); }
};

bool SaveBitmap(HWND hWnd, const char* pszName) {
    const char* pszFolder = std::getenv("LOCANYM_TEST_SCREENS");
    if (!pszFolder || !*pszFolder) return true;
    RECT box;
    GetWindowRect(hWnd, &box);
    const int nWidth = box.right - box.left, nHeight = box.bottom - box.top;
    // The screen as the display shows it: what a person sees, frame and children included.
    std::unique_ptr<HDC__, CDcReleaser> hWindowDc(GetDC(nullptr), CDcReleaser{nullptr});
    std::unique_ptr<HDC__, decltype(&DeleteDC)> hMemDc(CreateCompatibleDC(hWindowDc.get()),
                                                       &DeleteDC);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = -nHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hWindowDc.get(), &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (!hBitmap) return false;
    std::unique_ptr<HBITMAP__, decltype(&DeleteObject)> bitmap(hBitmap, &DeleteObject);
    HGDIOBJ hOld = SelectObject(hMemDc.get(), hBitmap);
    const bool bCopied = BitBlt(hMemDc.get(), 0, 0, nWidth, nHeight, hWindowDc.get(), box.left,
                                box.top, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(hMemDc.get(), hOld);
    const DWORD nBytes = static_cast<DWORD>(nWidth) * static_cast<DWORD>(nHeight) * 4;
    // The fourth byte of each pixel is read as opacity by image tools; the screen has none.
    for (DWORD i = 3; i < nBytes; i += 4) static_cast<uint8_t*>(pBits)[i] = 0xFF;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + nBytes;
    const std::string strPath = std::string(pszFolder) + "\\" + pszName + ".bmp";
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile) return false;
    bool bWritten = std::fwrite(&file, sizeof file, 1, pFile) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, pFile) == 1 &&
                    std::fwrite(pBits, 1, nBytes, pFile) == nBytes;
    bWritten = std::fclose(pFile) == 0 && bWritten;
    return bCopied && bWritten;
}

// ---- The driver: a thread timer that runs in whichever modal loop is running, and plays the
// next step once that step's window is the one the user could act on.

struct CStep {
    std::wstring strCaption;  // the window's caption; a final '*' stands for any ending
    std::function<void(HWND)> action;
};

bool CaptionMatches(const std::wstring& strCaption, const std::wstring& strPattern) {
    if (strPattern.empty() || strPattern.back() != L'*') return strCaption == strPattern;
    return strCaption.rfind(strPattern.substr(0, strPattern.size() - 1), 0) == 0;
}

class CDriver {
  public:
    explicit CDriver(std::vector<CStep> steps) : m_steps(std::move(steps)) {
        s_pDriver = this;
        m_nStart = GetTickCount();
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
    static BOOL CALLBACK FindActive(HWND hWnd, LPARAM lParam) {
        // The innermost modal window is the only visible top-level one still enabled.
        if (IsWindowVisible(hWnd) && IsWindowEnabled(hWnd)) *reinterpret_cast<HWND*>(lParam) = hWnd;
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        CDriver* pDriver = s_pDriver;
        if (!pDriver || pDriver->m_bBusy) return;
        HWND hActive = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &FindActive, reinterpret_cast<LPARAM>(&hActive));
        if (!hActive) return;
        if (GetTickCount() - pDriver->m_nStart > kMaxRunMs) {
            // A step that never came: close what is open so the test ends and reports it.
            PostMessageW(hActive, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (pDriver->Done()) return;
        // A window acted on only once it has been drawn and stood still for a moment.
        if (hActive != pDriver->m_hSeen) {
            pDriver->m_hSeen = hActive;
            pDriver->m_nSeenAt = GetTickCount();
        }
        if (GetTickCount() - pDriver->m_nSeenAt < kSettleMs) return;
        CStep& step = pDriver->m_steps[pDriver->m_nNext];
        if (!CaptionMatches(TextOf(hActive), step.strCaption)) return;
        pDriver->m_bBusy = true;
        ++pDriver->m_nNext;
        step.action(hActive);
        pDriver->m_hSeen = nullptr;
        pDriver->m_bBusy = false;
    }

    static constexpr DWORD kMaxRunMs = 30000;
    static constexpr DWORD kSettleMs = 300;
    HWND m_hSeen = nullptr;
    DWORD m_nSeenAt = 0;
    static inline CDriver* s_pDriver = nullptr;
    std::vector<CStep> m_steps;
    size_t m_nNext = 0;
    UINT_PTR m_nTimer = 0;
    DWORD m_nStart = 0;
    bool m_bBusy = false;
};

class Win32Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* pszDisplay = std::getenv("DISPLAY");
        if (!pszDisplay || !*pszDisplay) GTEST_SKIP() << "Wine has no display";
    }
};

CLocanymDlgValues SomeValues() {
    CLocanymDlgValues values{};
    values.m_bEnabled = 1;
    values.m_strLang = L"fr";
    values.m_strFormat = L"%A";
    values.m_strSep = L", ";
    values.m_nGeoType = 1;
    values.m_strGeoCC1 = L"IT";
    values.m_bAState = 1;
    return values;
}

TEST_F(Win32Dialogs, MainDialogOpensTheOthersAndItsChoicesComeBackOnOk) {
    CActions actions;
    CLocanymDlgValues values = SomeValues();
    std::vector<std::string> problems;
    auto expect = [&problems](bool bOk, const char* pszWhat) {
        if (!bOk) problems.push_back(pszWhat);
    };
    CDriver driver({
        {L"Locanym *",
         [&](HWND h) {
             expect(SaveBitmap(h, "dialog_101_main"), "screenshot of 101");
             expect(Checked(h, kIdcEnabled) && !Checked(h, kIdcErrMsg), "checks in");
             expect(Checked(h, kIdcAutoState) && !Checked(h, kIdcAutoCountry), "auto checks in");
             expect(SendDlgItemMessageW(h, kIdcService, CB_GETCOUNT, 0, 0) == 6, "services");
             expect(SendDlgItemMessageW(h, kIdcService, CB_GETCURSEL, 0, 0) == 0, "service in");
             expect(TextOf(GetDlgItem(h, kIdcLang)) == L"fr", "language in");
             expect(TextOf(GetDlgItem(h, kIdcSep)) == L", ", "separator in");
             expect(IsWindowVisible(GetDlgItem(h, kIdcApiKey)), "key button shown");
             expect(IsWindowEnabled(GetDlgItem(h, kIdcLangCodesLink)), "link enabled");
             Pick(h, kIdcService, 2);
             Click(h, kIdcApiKey);
         }},
        {L"Api Key",
         [&](HWND h) {
             expect(SaveBitmap(h, "dialog_103_api_key"), "screenshot of 103");
             expect(TextOf(GetDlgItem(h, kIdcKey)) == L"old-user", "key in");
             expect(TextOf(GetDlgItem(h, kIdcRegisterLink)) ==
                        L"Register here: https://signup.example/2",
                    "sign-up link");
             Type(h, kIdcKey, L"  new-user ");
             Click(h, kIdOk);
         }},
        {L"Locanym *", [&](HWND h) { Click(h, kIdcGeoNames); }},
        {L"Geonames settings",
         [&](HWND h) {
             expect(SaveBitmap(h, "dialog_1009_geonames"), "screenshot of 1009");
             expect(SendDlgItemMessageW(h, kIdcGeoType, CB_GETCOUNT, 0, 0) == 2, "search types");
             expect(SendDlgItemMessageW(h, kIdcGeoType, CB_GETCURSEL, 0, 0) == 1, "type in");
             expect(TextOf(GetDlgItem(h, kIdcGeoCC1)) == L"IT", "codes in");
             Pick(h, kIdcGeoType, 0);
             Click(h, kIdcGeo2);
             Type(h, kIdcGeoCC2, L"DE,AT");
             Click(h, kIdOk);
         }},
        {L"Locanym *",
         [&](HWND h) {
             ClickLink(h, kIdcLangCodesLink, false);
             ClickLink(h, kIdcLangCodesLink, true);
             Type(h, kIdcLang, L"de");
             Click(h, kIdcErrMsg);
             Click(h, kIdcClearCache);
         }},
        {L"Locanym",
         [&](HWND h) {
             bool bFound = false;
             EnumChildWindows(
                 h,
                 [](HWND hChild, LPARAM lParam) -> BOOL {
                     if (TextOf(hChild) == LoadUiString(kIdsCacheCleared))
                         *reinterpret_cast<bool*>(lParam) = true;
                     return TRUE;
                 },
                 reinterpret_cast<LPARAM>(&bFound));
             expect(bFound, "cache message");
             PostMessageW(h, WM_COMMAND, IDOK, 0);
         }},
        {L"Locanym *", [&](HWND h) { Click(h, kIdOk); }},
    });
    EXPECT_TRUE(CreateSettingsUI()->RunSettingsDialog(0, values, actions));
    EXPECT_TRUE(driver.Done());
    for (const std::string& strProblem : problems) ADD_FAILURE() << strProblem;
    EXPECT_EQ(values.m_iProv, 2);
    EXPECT_EQ(values.m_strLang, L"de");
    EXPECT_EQ(values.m_bErrMsg, 1);
    EXPECT_EQ(values.m_nGeoType, 0);
    EXPECT_EQ(values.m_bGeo2, 1);
    EXPECT_EQ(values.m_strGeoCC2, L"DE,AT");
    EXPECT_EQ(values.m_strGeoCC1, L"IT");
    EXPECT_EQ(actions.m_keys[2], L"new-user");
    EXPECT_EQ(actions.m_nClearCache, 1);
    EXPECT_EQ(actions.m_opened, std::vector<std::wstring>{kLanguageCodesUrl});
    EXPECT_EQ(actions.m_copied, std::vector<std::wstring>{kLanguageCodesUrl});
}

// Every way out but OK leaves the values as they came, whatever was changed on the way.
TEST_F(Win32Dialogs, CancelEscapeAndCloseBoxChangeNothing) {
    struct CCase {
        const char* pszName;
        std::function<void(HWND)> leave;
    };
    const CCase cases[] = {
        {"cancel", [](HWND h) { Click(h, kIdCancel); }},
        {"escape", [](HWND h) { PostMessageW(h, WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](HWND h) { PostMessageW(h, WM_CLOSE, 0, 0); }},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CActions actions;
        CLocanymDlgValues values = SomeValues();
        values.m_bEnabled = 0;
        values.m_iProv = 3;
        bool bSwitchedOff = false, bNoKeyButton = false;
        CDriver driver({{L"Locanym *", [&](HWND h) {
                             if (std::string(c.pszName) == "cancel")
                                 SaveBitmap(h, "dialog_101_main_off");
                             bSwitchedOff = !IsWindowEnabled(GetDlgItem(h, kIdcService)) &&
                                            !IsWindowEnabled(GetDlgItem(h, kIdcLangCodesLink)) &&
                                            IsWindowEnabled(GetDlgItem(h, kIdcHelp));
                             bNoKeyButton = !IsWindowVisible(GetDlgItem(h, kIdcApiKey));
                             Click(h, kIdcEnabled);
                             Type(h, kIdcFormat, L"%C");
                             c.leave(h);
                         }}});
        EXPECT_FALSE(CreateSettingsUI()->RunSettingsDialog(0, values, actions));
        EXPECT_TRUE(driver.Done());
        EXPECT_TRUE(bSwitchedOff);
        EXPECT_TRUE(bNoKeyButton);
        EXPECT_EQ(values.m_bEnabled, 0);
        EXPECT_EQ(values.m_strFormat, L"%A");
    }
}

bool KindMatches(HWND hItem, const CControlResource& control) {
    const LONG_PTR nStyle = GetWindowLongPtrW(hItem, GWL_STYLE);
    const std::wstring strClass = ClassOf(hItem);
    switch (control.kind) {
        case EControlKind::kStatic:
            return _wcsicmp(strClass.c_str(), L"Static") == 0 &&
                   ((nStyle & SS_NOTIFY) != 0) == ((control.nFlags & kCtlLink) != 0) &&
                   ((nStyle & SS_TYPEMASK) == SS_CENTER) == ((control.nFlags & kCtlCentre) != 0);
        case EControlKind::kGroupBox:
            return _wcsicmp(strClass.c_str(), L"Button") == 0 && (nStyle & 0xF) == BS_GROUPBOX;
        case EControlKind::kCheckBox:
            return _wcsicmp(strClass.c_str(), L"Button") == 0 && (nStyle & 0xF) == BS_AUTOCHECKBOX;
        case EControlKind::kEdit:
            return _wcsicmp(strClass.c_str(), L"Edit") == 0 &&
                   ((nStyle & ES_AUTOHSCROLL) != 0) == ((control.nFlags & kCtlHScroll) != 0);
        case EControlKind::kDropDownList:
            return _wcsicmp(strClass.c_str(), L"ComboBox") == 0 && (nStyle & 3) == CBS_DROPDOWNLIST;
        case EControlKind::kPushButton:
            return _wcsicmp(strClass.c_str(), L"Button") == 0 && (nStyle & 0xF) == BS_PUSHBUTTON;
        case EControlKind::kDefPushButton:
            return _wcsicmp(strClass.c_str(), L"Button") == 0 && (nStyle & 0xF) == BS_DEFPUSHBUTTON;
    }
    return false;
}

struct CWindowDestroyer {
    void operator()(HWND hWnd) const { DestroyWindow(hWnd); }
};

// The resources the module carries, read back from the built DLL: each dialog has exactly the
// controls of its table, in table order, with their kinds, texts and styles, and the string
// table has the dialogs' string.
TEST_F(Win32Dialogs, TheModuleCarriesEveryControlOfTheTable) {
    std::unique_ptr<HINSTANCE__, decltype(&FreeLibrary)> hModule(
        LoadLibraryExW(std::filesystem::path(LOCANYM_MODULE_PATH).wstring().c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE),
        &FreeLibrary);
    ASSERT_TRUE(hModule);
    for (const CDialogResource& dialog : GetDialogResources()) {
        SCOPED_TRACE(dialog.nId);
        std::unique_ptr<HWND__, CWindowDestroyer> hDialog(CreateDialogParamW(
            hModule.get(), MAKEINTRESOURCEW(dialog.nId), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0));
        ASSERT_TRUE(hDialog);
        EXPECT_EQ(TextOf(hDialog.get()), dialog.pszCaption);
        HWND hItem = GetWindow(hDialog.get(), GW_CHILD);
        for (const CControlResource& control : dialog.controls) {
            SCOPED_TRACE(control.nId);
            ASSERT_TRUE(hItem) << "missing";
            EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(hItem)), static_cast<WORD>(control.nId));
            EXPECT_TRUE(KindMatches(hItem, control)) << ClassOf(hItem);
            if (control.kind != EControlKind::kEdit &&
                control.kind != EControlKind::kDropDownList) {
                EXPECT_EQ(TextOf(hItem), control.pszText);
            }
            hItem = GetWindow(hItem, GW_HWNDNEXT);
        }
        EXPECT_FALSE(hItem) << "a control the table lacks";
    }
    wchar_t szText[128] = {0};
    LoadStringW(hModule.get(), kIdsCacheCleared, szText, ARRAYSIZE(szText));
    EXPECT_STREQ(szText, LoadUiString(kIdsCacheCleared));
}

// The configure message opens the dialog of the module itself over the host's window.
TEST_F(Win32Dialogs, ConfigureMessageRunsTheModulesOwnDialog) {
    CTestHost host;
    host.Initialise();
    host.Send(kMsgLoadSettings);
    host.Send(kMsgSaveSettings);
    const int32_t bErrMsg = host.m_settings[L"ErrMsg"].nValue;
    {
        CDriver driver({{L"Locanym *", [](HWND h) { Click(h, kIdCancel); }}});
        EXPECT_EQ(host.Send(kMsgConfigure, 0), 0u);
        EXPECT_TRUE(driver.Done());
    }
    {
        CDriver driver({{L"Locanym *", [](HWND h) {
                             Click(h, kIdcErrMsg);
                             Click(h, kIdOk);
                         }}});
        EXPECT_EQ(host.Send(kMsgConfigure, 0), 1u);
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_EQ(host.Send(kMsgSettingsChanged), 1u);
    host.Send(kMsgSaveSettings);
    EXPECT_EQ(host.m_settings[L"ErrMsg"].nValue, bErrMsg ? 0 : 1);
}

}  // namespace
