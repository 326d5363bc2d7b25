// The reference host's Windows platform file on real files in a folder with a non-ASCII name:
// settings read only from disk files, the log appended line by line, atomic saves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/host_platform.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class HostPlatformWin32 : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(m_folder); }
    CTempDir m_dir;
    const fs::path m_folder = m_dir.Path() / L"F\u00f6lder \u6771\u4eac";
};

TEST_F(HostPlatformWin32, SettingsAreReadOnlyFromFilesAndMissingIsNoError) {
    WriteFileBytes(m_folder / "settings.json", "{\"a\":1}\r\n");
    struct {
        fs::path path;
        bool bOk, bMissing;
        std::string strContent;
    } const cases[] = {
        {m_folder / "settings.json", true, false, "{\"a\":1}\r\n"},
        {m_folder / "missing.json", true, true, ""},
        {m_folder, false, false, ""},
    };
    for (const auto& c : cases) {
        std::string strContent = "old", strError;
        bool bMissing = !c.bMissing;
        EXPECT_EQ(ReadRegularFile(c.path, strContent, bMissing, strError), c.bOk) << strError;
        EXPECT_EQ(bMissing, c.bMissing);
        EXPECT_EQ(strContent, c.strContent);
        EXPECT_EQ(c.bOk, strError.empty()) << strError;
        std::string strLookError;
        EXPECT_EQ(IsRegularOrMissing(c.path, strLookError), c.bOk) << strLookError;
    }
}

TEST_F(HostPlatformWin32, TheLogGrowsByWholeLines) {
    const fs::path log = m_folder / "plugin.log";
    for (const char* pszLine : {"first\n", "second\n"}) {
        CAppendFile file;
        std::string strError;
        ASSERT_TRUE(file.Open(log, strError)) << strError;
        EXPECT_TRUE(file.Append(pszLine));
    }
    EXPECT_EQ(ReadFileBytes(log), "first\nsecond\n");
}

// Two hosts saving into one data folder at once: every save succeeds, the file is always one
// writer's whole content, and no temporary file is left behind.
TEST_F(HostPlatformWin32, TwoWritersOfOneFileNeverMeetInATemporaryFile) {
    const fs::path file = m_folder / "settings.json";
    const std::string contents[] = {std::string(50000, 'a'), std::string(70000, 'b')};
    auto write = [&file](const std::string& strContent, std::string& strErrors) {
        for (int i = 0; i < 40; ++i) {
            std::string strError;
            if (!WriteFileAtomically(file, strContent, strError)) strErrors += strError + "\n";
        }
    };
    std::string strErrors, strErrorsOther;
    std::thread other(write, std::cref(contents[1]), std::ref(strErrorsOther));
    write(contents[0], strErrors);
    other.join();
    EXPECT_EQ(strErrors + strErrorsOther, "");
    const std::string strFinal = ReadFileBytes(file);
    EXPECT_TRUE(strFinal == contents[0] || strFinal == contents[1]);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1);
}

}  // namespace
