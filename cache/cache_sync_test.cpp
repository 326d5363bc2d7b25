// Saves that meet a planted link or no path, and what a load of a damaged file may cost (the
// merge of sessions sharing a file is checked through the module in cache_sessions_test).
#include <gtest/gtest.h>

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
