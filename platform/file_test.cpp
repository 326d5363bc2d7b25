// Reading at offsets from a real file in a temporary folder.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/plugin_host.h"

namespace {

TEST(RandomAccessFile, ReadsAtAnyOffsetStopsAtTheEndAndRefusesWhatIsNoFile) {
    CTempDir dir;
    std::ofstream((dir.Path() / "f.bin").string(), std::ios::binary) << "0123456789abcdef";
    std::wstring strError;
    EOpenFailure eFailure{};
    auto file = OpenRandomAccessFile((dir.Path() / "f.bin").wstring(), eFailure, strError);
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
    for (const auto& path : {dir.Path(), dir.Path() / "missing"}) {
        strError.clear();
        EXPECT_FALSE(OpenRandomAccessFile(path.wstring(), eFailure, strError));
        EXPECT_NE(strError.find(L"open"), std::wstring::npos);
    }
}

}  // namespace
