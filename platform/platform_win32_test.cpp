// What only the Windows platform files do, on real files: paths beyond MAX_PATH, the module's own
// name, the help file beside the DLL, and the clipboard. The file contract
// shared with POSIX is platform/file_test.cpp's.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "platform/desktop.h"
#include "platform/file.h"
#include "platform/help.h"
#include "platform/mapped_file.h"
#include "platform/module.h"
#include "tests/support/plugin_host.h"

namespace {

bool Replace(const std::wstring& strPath, const std::string& strContent, bool bCommit) {
    std::wstring strError;
    auto writer = CreateReplacingFile(strPath, strError);
    if (!writer || !writer->Append(strContent.data(), strContent.size(), strError)) return false;
    return !bCommit || writer->Commit(strError);
}

TEST(Win32Files, PathsLongerThanMaxPathWork) {
    CTempDir dir;
    // Folders made by the test itself, through the prefix the system needs for them.
    std::wstring strFolder = dir.Path().wstring();
    for (int i = 0; i < 6; ++i) {
        strFolder += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + strFolder).c_str(), nullptr));
    }
    // Given with a forward slash, as hosts may write them.
    const std::wstring strFile = strFolder + L"/photo \u6771\u4eac.cache";
    ASSERT_GT(strFile.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(Replace(strFile, "deep", true));
    ASSERT_TRUE(Replace(strFile, "deeper", true));
    std::wstring strError;
    EOpenFailure eFailure = EOpenFailure::kOther;
    EXPECT_EQ(OpenRandomAccessFile(strFile, eFailure, strError)->GetSize(), 6u);
    EXPECT_TRUE(MapFile(strFile, strError));
    EXPECT_TRUE(RemoveFile(strFile, strError));
    EXPECT_FALSE(OpenRandomAccessFile(strFile, eFailure, strError));
    EXPECT_EQ(eFailure, EOpenFailure::kNotFound);
    // CTempDir removes what it made only up to the length its own functions reach.
    for (int i = 0; i < 6; ++i) {
        RemoveDirectoryW((L"\\\\?\\" + strFolder).c_str());
        strFolder.erase(strFolder.rfind(L'\\'));
    }
}

TEST(Win32Help, TheHelpFileIsBesideTheModule) {
    const std::wstring strPath = GetHelpFilePath();
    ASSERT_GT(strPath.size(), 12u);
    EXPECT_EQ(strPath.substr(strPath.size() - 12), L"\\Locanym.chm");
}

// The name the cache file's header carries. The plug-in's version record reaches the host through
// the entry point (windows_module_test).
TEST(Win32Module, OwnNameIsTheModulesFileName) {
    // Linked into this program, the module is the program itself.
    EXPECT_EQ(GetOwnModuleName(), L"windows_platform_tests");
}

// What the clipboard holds as wide text; "(none)" when it holds no text.
std::wstring ClipboardText() {
    if (!OpenClipboard(nullptr)) return L"(not opened)";
    std::wstring strText = L"(none)";
    if (HANDLE hData = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* pszText = static_cast<const wchar_t*>(GlobalLock(hData))) {
            strText = pszText;
            GlobalUnlock(hData);
        }
    }
    CloseClipboard();
    return strText;
}

TEST(Win32Desktop, TextReachesTheClipboardWhole) {
    for (const std::wstring& strText :
         {std::wstring(L"F\u00f6to \u6771\u4eac"), std::wstring(), std::wstring(5000, L'z')}) {
        ASSERT_TRUE(CopyTextToClipboard(strText));
        EXPECT_EQ(ClipboardText(), strText);
    }
    EXPECT_FALSE(OpenAddressWithDesktop(L""));
}

}  // namespace
