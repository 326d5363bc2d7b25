// The file contract of the platform on real files in a temporary folder, one test for POSIX and
// Windows alike: names beyond any one ANSI code page, a replacing file committed or dropped,
// reads at offsets, mapping, writers taking turns, stamps that tell versions apart, and refusal
// of what is no regular file.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/text.h"
#include "platform/mapped_file.h"
#include "tests/support/plugin_host.h"

namespace {

// Greek, Cyrillic and CJK in one name: no single ANSI code page holds them all.
const std::wstring kWideName =
    L"F\u00f6to \u03b1\u03b2 \u041c\u043e\u0441\u043a\u0432\u0430 \u6771\u4eac";

// What std::filesystem needs for a wide name whatever the process's locale.
std::filesystem::path PathOf(const std::wstring& strPath) {
    const std::string strUtf8 = WideToUtf8(strPath);
    return std::filesystem::path(std::u8string(strUtf8.begin(), strUtf8.end()));
}

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

TEST(PlatformFiles, FilesAreWrittenReplacedReadMappedAndRemovedAndNoFileIsRefused) {
    CTempDir dir;
    const std::wstring strFolder = dir.Path().wstring() + kPathSeparator + kWideName;
    std::filesystem::create_directory(PathOf(strFolder));
    const std::wstring strFile = strFolder + kPathSeparator + kWideName + L".cache";
    ASSERT_TRUE(Replace(strFile, "first", true));
    EXPECT_EQ(ReadAll(strFile), "first");
    // A committed writer replaces the existing file; one dropped before its commit leaves the
    // old content and no temporary file behind.
    ASSERT_TRUE(Replace(strFile, "0123456789abcdef", true));
    ASSERT_TRUE(Replace(strFile, "never", false));
    EXPECT_EQ(ReadAll(strFile), "0123456789abcdef");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(PathOf(strFolder)), {}), 1);

    std::wstring strError;
    EOpenFailure eFailure{};
    auto file = OpenRandomAccessFile(strFile, eFailure, strError);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), 16u);
    struct {
        uint64_t nOffset;
        size_t nAsk;
        std::string strExpected;
    } const cases[] = {{0, 4, "0123"}, {12, 10, "cdef"}, {16, 4, ""}, {UINT64_MAX - 1, 4, ""}};
    for (const auto& c : cases) {
        std::string buffer(c.nAsk, '\0');
        size_t nRead = 99;
        ASSERT_TRUE(file->ReadAt(c.nOffset, c.nAsk, buffer.data(), nRead, strError)) << c.nOffset;
        EXPECT_EQ(buffer.substr(0, nRead), c.strExpected) << c.nOffset;
    }
    file.reset();
    auto mapped = MapFile(strFile, strError);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped->GetData()), mapped->GetSize()),
              "0123456789abcdef");
    // On Windows a file stays while a view of it exists.
    mapped.reset();
    ASSERT_TRUE(RemoveFile(strFile, strError));
    EXPECT_FALSE(RemoveFile(strFile, strError));
    EXPECT_FALSE(OpenSequentialFile(strFile, strError));
    EXPECT_FALSE(MapFile(strFile, strError));
    EXPECT_NE(strError.find(strFile), std::wstring::npos);

    // An empty file maps to nothing; what is no file is refused.
    const std::wstring strEmpty = (dir.Path() / L"empty.dat").wstring();
    std::ofstream(std::filesystem::path(strEmpty));
    mapped = MapFile(strEmpty, strError);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetSize(), 0u);
    EXPECT_EQ(mapped->GetData(), nullptr);
    for (const auto& [path, eWanted] :
         {std::pair{dir.Path(), EOpenFailure::kNotRegular},
          std::pair{dir.Path() / "missing", EOpenFailure::kNotFound}}) {
        EOpenFailure eFailure = EOpenFailure::kNone;
        strError.clear();
        EXPECT_FALSE(OpenRandomAccessFile(path.wstring(), eFailure, strError));
        EXPECT_EQ(eFailure, eWanted);
        EXPECT_FALSE(strError.empty());
    }
}

TEST(PlatformFiles, WritersOfOneTargetTakeTurnsAndStampsTellVersionsApart) {
    CTempDir dir;
    const std::wstring strFile = dir.Path().wstring() + kPathSeparator + kWideName + L".cache";
    std::wstring strError;
    EXPECT_FALSE(LockFile(L"", 0, strError));
    {
        auto lock = LockFile(strFile, 0, strError);
        ASSERT_TRUE(lock);
        EXPECT_FALSE(LockFile(strFile, 30, strError));
        // Two writers at once each get a temporary file of their own; the last commit wins.
        auto first = CreateReplacingFile(strFile, strError);
        auto second = CreateReplacingFile(strFile, strError);
        ASSERT_TRUE(first && second);
        ASSERT_TRUE(first->Append("one", 3, strError) && second->Append("two", 3, strError));
        EXPECT_TRUE(first->Commit(strError));
        EXPECT_TRUE(second->Commit(strError));
        EXPECT_EQ(ReadAll(strFile), "two");
    }
    EXPECT_TRUE(LockFile(strFile, 0, strError));
    EXPECT_TRUE(std::filesystem::exists(PathOf(strFile + L".lock")));

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

}  // namespace
