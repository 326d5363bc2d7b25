// Saves shared by several sessions, and what a load of a damaged file may cost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cache/cache_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kApp = L"TestApp";

std::wstring Caption(CLocationCache& cache, const std::wstring& strPath) {
    const CCachedValue* p = cache.Lookup(strPath);
    return p ? p->m_strText : L"<none>";
}

TEST(CacheSync, ALinkPlantedAtTheOldTemporaryNameIsNeverFollowed) {
    CTempDir dir;
    const fs::path file = dir.Path() / "c.lst", victim = dir.Path() / "victim";
    WriteFileBytes(victim, "keep me");
    fs::create_symlink(victim, file.string() + ".tmp");
    CLocationCache cache;
    cache.Store(L"/p.jpg", CCachedValue(L"Paris", L"1", L"2"));
    SaveCacheFile(file.wstring(), kApp, cache);
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
    const fs::perms others = fs::perms::group_all | fs::perms::others_all;
    EXPECT_EQ(fs::status(file).permissions() & others, fs::perms::none);
    CLocationCache back;
    LoadCacheFile(file.wstring(), kApp, back);
    EXPECT_EQ(Caption(back, L"/p.jpg"), L"Paris");
}

TEST(CacheSync, SessionsKeepEachOthersEntriesAndAnUnchangedTableIsNotWritten) {
    CTempDir dir;
    const std::wstring strFile = (dir.Path() / "c.lst").wstring();
    CLocationCache a, b;
    SCacheFileSync syncA, syncB;
    LoadCacheFile(strFile, kApp, a, &syncA);  // no file yet
    a.Store(L"/a", CCachedValue(L"A's a", L"1", L"2"));
    SyncCacheFile(strFile, kApp, a, syncA);
    LoadCacheFile(strFile, kApp, b, &syncB);
    a.Store(L"/c", CCachedValue(L"A's c", L"1", L"2"));
    SyncCacheFile(strFile, kApp, a, syncA);
    b.Store(L"/a", CCachedValue(L"B's a", L"1", L"2"));
    b.Store(L"/b", CCachedValue(L"B's b", L"1", L"2"));
    SyncCacheFile(strFile, kApp, b, syncB);  // keeps /c, which A saved after B loaded

    CLocationCache disk;
    LoadCacheFile(strFile, kApp, disk);
    EXPECT_EQ(disk.GetCount(), 3u);
    EXPECT_EQ(Caption(disk, L"/a"), L"B's a");
    EXPECT_EQ(Caption(disk, L"/b"), L"B's b");
    EXPECT_EQ(Caption(disk, L"/c"), L"A's c");

    // A's next save, with nothing new, still brings B's entries in; its own /a wins.
    SyncCacheFile(strFile, kApp, a, syncA);
    LoadCacheFile(strFile, kApp, disk);
    EXPECT_EQ(disk.GetCount(), 3u);
    EXPECT_EQ(Caption(disk, L"/a"), L"A's a");
    EXPECT_EQ(Caption(a, L"/b"), L"B's b");
}

TEST(CacheSync, ASaveWithoutAPathLeavesNoFileBehind) {
    CTempDir dir;
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    CLocationCache cache;
    cache.Store(L"/p", CCachedValue(L"x", L"1", L"2"));
    SCacheFileSync sync;
    SyncCacheFile(L"", kApp, cache, sync);
    SaveCacheFile(L"", kApp, cache);
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

long StatusKb(const char* pszField) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string strField = std::string(pszField) + ":";
    while (std::getline(in, line))
        if (line.compare(0, strField.size(), strField) == 0)
            return std::atol(line.c_str() + strField.size());
    return -1;
}

TEST(CacheSync, AHugeDeclaredCountCostsMemoryOnlyForTheEntriesRead) {
    CTempDir dir;
    const fs::path file = dir.Path() / "c.lst";
    WriteFileBytes(file, "\xEF\xBB\xBFTestApp cache\r\nv1\r\n100000000\r\n/p|1|2|x|\r\n");
    fs::resize_file(file, uint64_t{1} << 28);  // 256 MB sparse: only a hole after the entry

    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const long nBefore = StatusKb("VmRSS");
    CLocationCache cache;
    LoadCacheFile(file.wstring(), kApp, cache);
    const long nRiseKb = StatusKb("VmHWM") - nBefore;
    EXPECT_EQ(Caption(cache, L"/p"), L"x");
    EXPECT_LT(nRiseKb, 64 * 1024);
}

}  // namespace
