// The Windows platform files on real files: wide paths beyond the ANSI code page, replacing a
// file that exists, mapping, the module's own name and version record, and the clipboard.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "platform/desktop.h"
#include "platform/file.h"
#include "platform/help.h"
#include "platform/mapped_file.h"
#include "platform/module.h"
#include "platform/module_version.h"
#include "tests/support/plugin_host.h"

namespace {

// Greek, Cyrillic and CJK in one name: no single ANSI code page holds them all.
const std::wstring kWideName =
    L"F\u00f6to \u03b1\u03b2 \u041c\u043e\u0441\u043a\u0432\u0430 "
    L"\u6771\u4eac";

std::string ReadAll(const std::wstring& strPath) {
    std::wstring strError;
    auto file = OpenSequentialFile(strPath, strError);
    if (!file) return "(cannot open)";
    std::string strContent;
    char buffer[7];
    size_t nRead = 0;
    while (file->Read(buffer, sizeof buffer, nRead, strError) && nRead > 0)
        strContent.append(buffer, nRead);
    return strContent;
}

bool Replace(const std::wstring& strPath, const std::string& strContent, bool bCommit) {
    std::wstring strError;
    auto writer = CreateReplacingFile(strPath, strError);
    if (!writer || !writer->Append(strContent.data(), strContent.size(), strError)) return false;
    return !bCommit || writer->Commit(strError);
}

TEST(Win32Files, WidePathsAreWrittenReplacedReadAndMapped) {
    CTempDir dir;
    const std::wstring strFolder = (dir.Path() / kWideName).wstring();
    std::filesystem::create_directory(strFolder);
    const std::wstring strFile = strFolder + kPathSeparator + kWideName + L".cache";

    ASSERT_TRUE(Replace(strFile, "first", true));
    EXPECT_EQ(ReadAll(strFile), "first");
    // A committed writer replaces the existing file; one dropped before its commit leaves the
    // old content and no temporary file behind.
    ASSERT_TRUE(Replace(strFile, "second, longer", true));
    EXPECT_EQ(ReadAll(strFile), "second, longer");
    ASSERT_TRUE(Replace(strFile, "never", false));
    EXPECT_EQ(ReadAll(strFile), "second, longer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(strFolder), {}), 1);

    std::wstring strError;
    auto mapped = MapFile(strFile, strError);
    ASSERT_TRUE(mapped) << strError.size();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped->GetData()), mapped->GetSize()),
              "second, longer");
    // A file stays while a view of it exists: removal waits for the view to go.
    mapped.reset();

    ASSERT_TRUE(RemoveFile(strFile, strError));
    EXPECT_FALSE(RemoveFile(strFile, strError));
    EXPECT_FALSE(OpenSequentialFile(strFile, strError));
    EXPECT_FALSE(MapFile(strFile, strError));
    EXPECT_EQ(strError.find(L"CreateFileW " + strFile + L": "), 0u);
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
    EXPECT_EQ(ReadAll(strFile), "deeper");
    std::wstring strError;
    EOpenFailure eFailure = EOpenFailure::kOther;
    EXPECT_TRUE(OpenRandomAccessFile(strFile, eFailure, strError));
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

TEST(Win32Files, AnEmptyFileMapsToNothingAndAFolderIsNotRegular) {
    CTempDir dir;
    const std::wstring strEmpty = (dir.Path() / L"empty.dat").wstring();
    std::ofstream(std::filesystem::path(strEmpty));
    std::wstring strError;
    auto mapped = MapFile(strEmpty, strError);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetSize(), 0u);
    EXPECT_EQ(mapped->GetData(), nullptr);

    EOpenFailure eFailure = EOpenFailure::kNone;
    EXPECT_FALSE(OpenRandomAccessFile(dir.Path().wstring(), eFailure, strError));
    EXPECT_EQ(eFailure, EOpenFailure::kNotRegular);
    EXPECT_FALSE(OpenRandomAccessFile((dir.Path() / L"missing").wstring(), eFailure, strError));
    EXPECT_EQ(eFailure, EOpenFailure::kNotFound);
}

TEST(Win32Files, WritersOfOneTargetTakeTurnsAndStampsTellVersionsApart) {
    CTempDir dir;
    const std::wstring strFile = (dir.Path() / (kWideName + L".cache")).wstring();
    std::wstring strError;
    EXPECT_FALSE(LockFile(L"", 0, strError));
    {
        auto lock = LockFile(strFile, 0, strError);
        ASSERT_TRUE(lock) << strError.size();
        EXPECT_FALSE(LockFile(strFile, 30, strError));
        // Two writers at once each get a temporary file of their own; the last commit wins.
        std::wstring strFirstError;
        auto first = CreateReplacingFile(strFile, strFirstError);
        auto second = CreateReplacingFile(strFile, strError);
        ASSERT_TRUE(first && second);
        ASSERT_TRUE(first->Append("one", 3, strError) && second->Append("two", 3, strError));
        EXPECT_TRUE(first->Commit(strError));
        EXPECT_TRUE(second->Commit(strError));
        EXPECT_EQ(ReadAll(strFile), "two");
    }
    EXPECT_TRUE(LockFile(strFile, 0, strError));
    EXPECT_TRUE(std::filesystem::exists(strFile + L".lock"));

    SFileStamp before;
    ASSERT_TRUE(GetFileStamp(strFile, before, strError));
    EXPECT_EQ(before.nSize, 3u);
    auto file = OpenSequentialFile(strFile, strError);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetStamp(), before);
    file.reset();
    ASSERT_TRUE(Replace(strFile, "two", true));
    SFileStamp after;
    ASSERT_TRUE(GetFileStamp(strFile, after, strError));
    EXPECT_NE(after, before);
    EXPECT_FALSE(GetFileStamp(strFile + L".missing", after, strError));
}

TEST(Win32Help, TheHelpFileIsBesideTheModuleAndAMissingViewerStaysSilent) {
    const std::wstring strPath = GetHelpFilePath();
    ASSERT_GT(strPath.size(), 12u);
    EXPECT_EQ(strPath.substr(strPath.size() - 12), L"\\Locanym.chm");
    CHelpLoader missing("no-such-viewer.ocx");
    EXPECT_FALSE(missing.Open(strPath));
    EXPECT_TRUE(missing.HasFailed());
    EXPECT_FALSE(missing.Open(strPath));
}

TEST(Win32Module, NameAndVersionRecordOfModules) {
    // Linked into this program, the module is the program itself.
    EXPECT_EQ(GetOwnModuleName(), L"windows_platform_tests");
    // A program without a version record reports none and leaves every field 0.
    CModuleVersion own;
    EXPECT_FALSE(own.GetFileVersionInfo(nullptr));
    EXPECT_EQ(own.dwProductVersionMS, 0u);
    // The plug-in's record, read from the file by name.
    CModuleVersion plugin;
    const std::wstring strModule = std::filesystem::path(LOCANYM_MODULE_PATH).wstring();
    ASSERT_TRUE(plugin.GetFileVersionInfo(strModule.c_str()));
    EXPECT_EQ(plugin.dwProductVersionMS, (1u << 16) | 0u);
    EXPECT_EQ(plugin.dwProductVersionLS, (1u << 16) | 0u);
    EXPECT_EQ(plugin.dwFileVersionMS, plugin.dwProductVersionMS);
    EXPECT_EQ(plugin.dwFileVersionLS, plugin.dwProductVersionLS);
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
    for (const std::wstring& strText : {kWideName, std::wstring(), std::wstring(5000, L'z')}) {
        ASSERT_TRUE(CopyTextToClipboard(strText));
        EXPECT_EQ(ClipboardText(), strText);
    }
    EXPECT_FALSE(OpenAddressWithDesktop(L""));
}

}  // namespace
