// Reading at offsets from a real file in a temporary folder.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/plugin_host.h"

namespace {

TEST(RandomAccessFile, ReadsAtAnyOffsetAndStopsAtTheEnd) {
    CTempDir dir;
    const std::string strContent = "0123456789abcdef";
    std::ofstream((dir.Path() / "f.bin").string(), std::ios::binary) << strContent;
    std::wstring strError;
    EOpenFailure eFailure{};
    auto file = OpenRandomAccessFile((dir.Path() / "f.bin").wstring(), eFailure, strError);
    ASSERT_TRUE(file) << strError.size();
    EXPECT_EQ(file->GetSize(), strContent.size());
    struct {
        uint64_t nOffset;
        size_t nAsk;
        std::string strExpected;
    } cases[] = {
        {0, 4, "0123"}, {10, 6, "abcdef"}, {12, 10, "cdef"},
        {16, 4, ""},    {1000, 4, ""},     {UINT64_MAX - 1, 4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nOffset);
        std::string buffer(c.nAsk, '\0');
        size_t nRead = 99;
        ASSERT_TRUE(file->ReadAt(c.nOffset, c.nAsk, buffer.data(), nRead, strError));
        EXPECT_EQ(buffer.substr(0, nRead), c.strExpected);
    }
}

TEST(RandomAccessFile, AFolderOrAMissingFileIsRefusedWithAReason) {
    CTempDir dir;
    for (const auto& path : {dir.Path(), dir.Path() / "missing"}) {
        std::wstring strError;
        EOpenFailure eFailure{};
        EXPECT_FALSE(OpenRandomAccessFile(path.wstring(), eFailure, strError));
        EXPECT_NE(strError.find(L"open"), std::wstring::npos);
    }
}

}  // namespace
