#include "platform/system_error_win32.h"

#include <windows.h>

#include "base/format.h"

std::wstring SystemErrorText(unsigned long dwError) {
    wchar_t szText[512] = {0};
    DWORD nLength = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, dwError, 0, szText, ARRAYSIZE(szText), nullptr);
    while (nLength > 0 && (szText[nLength - 1] == L'\n' || szText[nLength - 1] == L'\r' ||
                           szText[nLength - 1] == L' ' || szText[nLength - 1] == L'.'))
        --nLength;
    return std::wstring(szText, nLength);
}

std::wstring Win32Error(const std::wstring& strContext, unsigned long dwError) {
    const std::wstring strText = SystemErrorText(dwError);
    if (strText.empty()) return FormatText(L"%s: error %u", strContext, dwError);
    return FormatText(L"%s: %s", strContext, strText);
}
