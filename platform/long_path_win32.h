// Paths for the Windows file functions. A path of MAX_PATH characters or more reaches the file
// system only with the "\\?\" prefix; that prefix also turns off the system's own clean-up of
// the path (slashes, "." and ".."), so the path is made full and clean first. Included by
// *_win32.cpp files only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The path as the wide file functions take it: unchanged when it is short enough (a folder
// may hold at most MAX_PATH - 12 characters) or already prefixed; otherwise its full form
// with "\\?\" (or "\\?\UNC\" for a network path). Unchanged as well when it has no full form.
inline std::wstring Win32FilePath(const std::wstring& strPath) {
    constexpr size_t kShortPathLimit = MAX_PATH - 12;
    if (strPath.size() < kShortPathLimit || strPath.rfind(L"\\\\?\\", 0) == 0) return strPath;
    const DWORD nNeeded = GetFullPathNameW(strPath.c_str(), 0, nullptr, nullptr);
    if (nNeeded == 0) return strPath;
    std::vector<wchar_t> buffer(nNeeded);
    const DWORD nLength = GetFullPathNameW(strPath.c_str(), nNeeded, buffer.data(), nullptr);
    if (nLength == 0 || nLength >= nNeeded) return strPath;
    const std::wstring strFull(buffer.data(), nLength);
    if (strFull.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + strFull.substr(2);
    if (strFull.size() >= 3 && strFull[1] == L':' && strFull[2] == L'\\')
        return L"\\\\?\\" + strFull;
    return strPath;
}
