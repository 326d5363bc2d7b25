#include "cache/cache_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "cache/cache_path.h"
#include "tests/support/file_bytes.h"
#include "tests/support/log_capture.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kApp = L"TestApp";
const std::string kBom = "\xEF\xBB\xBF";
const std::string kHeader = kBom + "TestApp cache\r\nv1\r\n";

// UTF-16 LE bytes, without a byte order mark.
std::string Utf16Le(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        const uint32_t u = static_cast<uint32_t>(c), v = u - 0x10000;
        for (uint32_t unit : u < 0x10000
                                 ? std::vector<uint32_t>{u}
                                 : std::vector<uint32_t>{0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)})
            out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    return out;
}

class CacheFileTest : public ::testing::Test {
  protected:
    void SetUp() override { m_strPath = (m_dir.Path() / "LocanymPlg_SS.lst").wstring(); }

    void Load(const std::string& bytes) {
        WriteFileBytes(m_strPath, bytes);
        LoadCacheFile(m_strPath, kApp, m_cache);
    }
    std::wstring Caption(const std::wstring& strPath) {
        const CCachedValue* p = m_cache.Lookup(strPath);
        return p ? p->m_strText : L"<none>";
    }

    CLogCapture m_logs;
    CTempDir m_dir;
    std::wstring m_strPath;
    CLocationCache m_cache;
};

// A header the reader cannot take leaves the table as it was; line feeds and a blank are taken.
// The count limits the lines read but promises nothing: a huge one reads what is there.
TEST_F(CacheFileTest, HeaderAndCountDecideWhatIsRead) {
    const std::string entries = "/a|1|2|x|\r\n/b|1|2|y|\r\n/c|1|2|z|\r\n";
    struct Case {
        std::string bytes;
        std::wstring log;  // rejected with this line; empty: accepted, or rejected without one
        size_t nRead;      // entries taken from the file, which then replace the table
    } cases[] = {
        {kBom + "Other cache\r\nv1\r\n1\r\n" + entries, L"LoadCache: AppName wrong, list discarded",
         0},
        {kBom + "TestApp cache\r\nv2\r\n1\r\n" + entries,
         L"LoadCache: version not compatible, list discarded", 0},
        {kHeader + "0\r\n" + entries, L"LoadCache: no files, list discarded", 0},
        {"", L"", 0},
        {kBom + "TestApp cache\nv 1\n1\n" + entries, L"", 1},  // line feeds, a blank
        {kHeader + "99999999999999999999999\r\n" + entries, L"", 3},
    };
    for (const Case& c : cases) {
        m_logs.Clear();
        m_cache.RemoveAll();
        m_cache.Store(L"/kept", CCachedValue(L"kept", L"1", L"2"));
        Load(c.bytes);
        EXPECT_EQ(Caption(L"/a"), c.nRead ? L"x" : L"<none>") << c.bytes;
        EXPECT_EQ(Caption(L"/kept"), c.nRead ? L"<none>" : L"kept") << c.bytes;
        EXPECT_EQ(m_cache.GetCount(), c.nRead ? c.nRead : 1u) << c.bytes;
        EXPECT_TRUE(c.log.empty() || m_logs.Holds(c.log)) << c.bytes;
    }
    LoadCacheFile(m_dir.Path().wstring(), kApp, m_cache);
    EXPECT_TRUE(m_logs.Holds(L"LoadCache: Unable to open file " + m_dir.Path().wstring()));
}

TEST_F(CacheFileTest, EachBadLineSpoilsOnlyItself) {
    const std::wstring x = L"x";
    struct SLine {
        std::string text;
        std::wstring strPath, strCaption;  // the entry it reads as; no path: a bad or blank line
    } const lines[] = {
        {"/ok1|1|2|one|", L"/ok1", L"one"},
        {"/five|1|2|x|extra|", {}, {}},
        {"|1|2|empty path|", {}, {}},
        {"   ", {}, {}},
        {"/lat63|" + std::string(63, '1') + "|2|x|", L"/lat63", x},
        {"/" + std::string(4096, 'p') + "|1|2|x|", {}, {}},
        {"/" + std::string(4094, 'p') + "|1|2|x|", L"/" + std::wstring(4094, L'p'), x},
        {"/longcap|1|2|" + std::string(16384, 'c') + "|", {}, {}},
        {"/cap16383|1|2|" + std::string(16383, 'c') + "|", L"/cap16383", std::wstring(16383, L'c')},
        {"/cr\rin|1|2|x|", {}, {}},
        {"/blanks|1|2|x| \t ", L"/blanks", x},
        {"/ok2|1|2|two|", L"/ok2", L"two"},
    };
    std::string bytes = kHeader + "20\r\n";
    for (const SLine& line : lines) bytes += line.text + "\r\n";
    Load(bytes + "/truncated|1|2|cut");
    for (const SLine& line : lines) {
        if (!line.strPath.empty()) {
            EXPECT_EQ(Caption(line.strPath), line.strCaption);
        }
    }
    EXPECT_EQ(m_cache.GetCount(), 6u);
    EXPECT_TRUE(m_logs.Holds(L"LoadCache: 6 bad lines skipped"));
}

// The byte order mark decides the encoding (none: UTF-16 LE). Files are read a mebibyte at a
// time; a padding line (one overlong line, skipped as a bad one) puts the smiley of "/b" two
// bytes before the first chunk ends, and the reader joins its halves.
TEST_F(CacheFileTest, EncodingsByByteOrderMarkAndCharactersSplitBetweenChunks) {
    constexpr size_t kChunkEnd = size_t{1} << 20;
    const std::wstring head = L"TestApp cache\r\nv1\r\n9\r\n/a|1|2|x|\r\n";
    const std::wstring tail = L"/b|1|2|\U0001F600|\r\n/é|1|2|Zürich \U0001F600|\r\n";
    const size_t nBeforeSmiley = head.size() + 2 + 7;  // the padding line's CR LF, then "/b|1|2|"
    const size_t nPad16 = (kChunkEnd - 2 - 2) / 2 - nBeforeSmiley;
    const std::wstring text16 = head + std::wstring(nPad16, L' ') + L"\r\n" + tail;
    const size_t nPad8 = kChunkEnd - 2 - kBom.size() - nBeforeSmiley;
    const std::string files[] = {
        "\xFF\xFE" + Utf16Le(text16), Utf16Le(text16),
        kBom + WideToUtf8(head + std::wstring(nPad8, L' ') + L"\r\n" + tail)};
    for (const std::string& bytes : files) {
        m_cache.RemoveAll();
        Load(bytes);
        EXPECT_EQ(m_cache.GetCount(), 3u);
        EXPECT_EQ(Caption(L"/b"), L"\U0001F600");
        EXPECT_EQ(Caption(L"/é"), L"Zürich \U0001F600");
    }
    // Invalid UTF-8 becomes U+FFFD and harms nothing around it.
    m_cache.RemoveAll();
    Load(kHeader + "2\r\n/bad\xC3|1|2|x\xFFy|\r\n/good|1|2|z|\r\n");
    EXPECT_EQ(Caption(L"/bad\xFFFD"), L"x\xFFFDy");
    EXPECT_EQ(Caption(L"/good"), L"z");
}

// Entries the format cannot hold are left out of the file (memory keeps them for this run);
// the rest round-trip, escaped where they must be.
TEST_F(CacheFileTest, SaveWritesTheFormatAndLeavesOutWhatItCannotHold) {
    const std::wstring strLone(1, static_cast<wchar_t>(0xD800));
    m_cache.Store(L"/p/a.jpg", CCachedValue(L"a\nb\\c", L"45.4641944", L"-7.6916667"));
    m_cache.Store(L"/empty", CCachedValue(L"", L"1", L"2"));
    m_cache.Store(L"/bar", CCachedValue(L"a|b", L"1", L"2"));
    m_cache.Store(L"/with|bar", CCachedValue(L"x", L"1", L"2"));
    m_cache.Store(L"/with\nfeed", CCachedValue(L"x", L"1", L"2"));
    m_cache.Store(L"/lat", CCachedValue(L"x", L"1\r", L"2"));
    m_cache.Store(L"/lone" + strLone, CCachedValue(L"x", L"1", L"2"));
    m_cache.Store(L"/" + std::wstring(4095, L'p'), CCachedValue(L"x", L"1", L"2"));
    m_cache.Store(L"/longcap", CCachedValue(std::wstring(16383, L'\n'), L"1", L"2"));
    SaveCacheFile(m_strPath, kApp, m_cache);
    EXPECT_EQ(ReadFileBytes(m_strPath),
              kHeader + "1\r\n/p/a.jpg|45.4641944|-7.6916667|a\\nb\\\\c|\r\n");
    EXPECT_TRUE(m_logs.Holds(L"SaveCache: 8 entries left out"));
    EXPECT_EQ(Caption(L"/bar"), L"a|b");

    // Line breaks, backslashes and quotes at both ends go through the module in
    // cache_sessions_test, characters beyond the basic plane through the reader above; a lone
    // quote here.
    m_cache.RemoveAll();
    m_cache.Store(L"/q", CCachedValue(L"\"", L"1.0", L"2.0"));
    SaveCacheFile(m_strPath, kApp, m_cache);
    m_cache.RemoveAll();
    LoadCacheFile(m_strPath, kApp, m_cache);
    EXPECT_EQ(Caption(L"/q"), L"\"");
}

// Runs fn in a child process whose files cannot grow past 64 KiB and which leaves no core
// dump; answers how the child ended (as waitpid reports it).
template <class F>
int InChild(F fn) {
    pid_t pid = fork();
    if (pid == 0) {
        rlimit noCore{0, 0}, limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_CORE, &noCore);
        setrlimit(RLIMIT_FSIZE, &limit);
        fn();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(CacheFileTest, AFailedOrKilledSaveLeavesTheOldFile) {
    m_cache.Store(L"/old", CCachedValue(L"old caption", L"1", L"2"));
    SaveCacheFile(m_strPath, kApp, m_cache);
    const std::string old = ReadFileBytes(m_strPath);
    for (int i = 0; i < 20000; ++i)
        m_cache.Store(L"/new/" + std::to_wstring(i), CCachedValue(L"new caption", L"1", L"2"));

    // A full disk: the file-size limit makes a write fail with EFBIG.
    int status = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        m_logs.Clear();
        SaveCacheFile(m_strPath, kApp, m_cache);
        _exit(m_logs.Holds(L"SaveCache: Error writing file " + m_strPath) ? 0 : 3);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileBytes(m_strPath), old);
    EXPECT_FALSE(fs::exists(m_strPath + L".tmp"));

    // The process killed in the middle of writing.
    status = InChild([&] { SaveCacheFile(m_strPath, kApp, m_cache); });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(ReadFileBytes(m_strPath), old);

    // The next save replaces the temporary file left behind.
    SaveCacheFile(m_strPath, kApp, m_cache);
    CLocationCache reloaded;
    LoadCacheFile(m_strPath, kApp, reloaded);
    EXPECT_EQ(reloaded.GetCount(), 20001u);
}

TEST_F(CacheFileTest, ALinkPlantedAtTheOldTemporaryNameIsNeverFollowed) {
    const fs::path victim = m_dir.Path() / "victim";
    WriteFileBytes(victim, "keep me");
    fs::create_symlink(victim, m_strPath + L".tmp");
    m_cache.Store(L"/p.jpg", CCachedValue(L"Paris", L"1", L"2"));
    SaveCacheFile(m_strPath, kApp, m_cache);
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(m_strPath)));
    const fs::perms others = fs::perms::group_all | fs::perms::others_all;
    EXPECT_EQ(fs::status(m_strPath).permissions() & others, fs::perms::none);
}

TEST_F(CacheFileTest, ASaveWithoutAPathLeavesNoFileBehind) {
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir.Path());
    m_cache.Store(L"/p", CCachedValue(L"x", L"1", L"2"));
    SCacheFileSync sync;
    SyncCacheFile(L"", kApp, m_cache, sync);
    SaveCacheFile(L"", kApp, m_cache);
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_empty(m_dir.Path()));
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

TEST_F(CacheFileTest, AHugeDeclaredCountCostsMemoryOnlyForTheEntriesRead) {
    WriteFileBytes(m_strPath, kHeader + "100000000\r\n/p|1|2|x|\r\n");
    fs::resize_file(m_strPath, uint64_t{1} << 28);  // 256 MB sparse: only a hole after the entry
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const long nBefore = StatusKb("VmRSS");
    LoadCacheFile(m_strPath, kApp, m_cache);
    const long nRiseKb = StatusKb("VmHWM") - nBefore;
    EXPECT_EQ(Caption(L"/p"), L"x");
    EXPECT_LT(nRiseKb, 64 * 1024);
}

// The file is named after the show the host reports, in the host's data folder.
TEST(CachePath, NamedAfterTheShowInTheDataFolder) {
    struct Case {
        std::wstring strFolder, strShow, strExpected;
    } cases[] = {
        {L"/data/", L"", L"/data/LocanymPlg_SS.lst"},
        {L"/data", L"/shows/Trip.show", L"/data/LocanymPlg_Trip.lst"},
        {L"/data", L"C:\\Shows\\Trip.v2.show", L"/data/LocanymPlg_Trip.v2.lst"},
        {L"", L"", L"LocanymPlg_SS.lst"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeCacheFilePath(c.strFolder, c.strShow), c.strExpected) << c.strShow;
}

}  // namespace
