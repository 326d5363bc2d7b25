#include <windows.h>

#include <cstdio>
#include <string>

#include "wincheck_resource.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;
constexpr DWORD kMaxShownMs = 30000;

const wchar_t* g_pszDoneFile = nullptr;
DWORD g_dwShownAt = 0;

INT_PTR CALLBACK DialogProc(HWND hDialog, UINT nMessage, WPARAM, LPARAM) {
    switch (nMessage) {
        case WM_INITDIALOG:
            SetDlgItemTextW(hDialog, IDC_WINCHECK_EDIT, L"Paris \u2013 Tour Eiffel");
            SetTimer(hDialog, kPollTimer, kPollMs, nullptr);
            return TRUE;
        case WM_TIMER:
            // Closes once the screenshot is taken (the done file exists), or after a bound so a
            // lost caller never leaves a window behind.
            if (GetFileAttributesW(g_pszDoneFile) != INVALID_FILE_ATTRIBUTES ||
                GetTickCount() - g_dwShownAt > kMaxShownMs) {
                DestroyWindow(hDialog);
            }
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
    }
    return FALSE;
}

std::wstring Widen(const char* pszText) {
    int nLength = MultiByteToWideChar(CP_UTF8, 0, pszText, -1, nullptr, 0);
    if (nLength <= 0) return std::wstring();
    std::wstring strWide(static_cast<size_t>(nLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszText, -1, strWide.data(), nLength);
    strWide.resize(static_cast<size_t>(nLength - 1));
    return strWide;
}

}  // namespace

// Shows dialog 101 from the DLL's resources, modeless, until DONE_FILE appears; prints "shown"
// once it is on screen so the caller knows when to take its screenshot.
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wincheck_dialog DLL DONE_FILE\n");
        return 2;
    }
    std::wstring strDll = Widen(argv[1]);
    std::wstring strDone = Widen(argv[2]);
    g_pszDoneFile = strDone.c_str();

    HMODULE hModule = LoadLibraryW(strDll.c_str());
    if (hModule == nullptr) {
        std::fprintf(stderr, "wincheck_dialog: LoadLibraryW failed (error %lu)\n", GetLastError());
        return 1;
    }
    g_dwShownAt = GetTickCount();
    HWND hDialog =
        CreateDialogParamW(hModule, MAKEINTRESOURCEW(IDD_WINCHECK), nullptr, DialogProc, 0);
    if (hDialog == nullptr) {
        std::fprintf(stderr, "wincheck_dialog: CreateDialogParamW failed (error %lu)\n",
                     GetLastError());
        FreeLibrary(hModule);
        return 1;
    }
    ShowWindow(hDialog, SW_SHOW);
    UpdateWindow(hDialog);
    std::printf("shown\n");
    std::fflush(stdout);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(hDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    FreeLibrary(hModule);
    return 0;
}
