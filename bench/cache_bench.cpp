// Saves and loads a location cache of a million entries, as messages 10 and 9 do, and prints
// the seconds of each (minimum and median of several runs) and the peak memory per entry, set
// against the raw text of the entries. Then runs whole sessions through the module's messages
// over the unchanged file: start (message 9, which loads it) and stop (message 10, which finds
// nothing to write).
//
// Raw text size: the UTF-8 bytes of each entry's four texts (path, latitude, longitude and the
// caption unescaped), with no separators, line ends or bookkeeping; it is the smallest form
// the entries can take. Peak memory is the rise of the process's peak resident set (VmHWM)
// over its resident set before the phase, so it counts the table, the buffers and all that
// malloc holds for them. Peers measured in the same run: the raw text size for memory, and
// reading and writing the cache file's bytes unparsed (one pass, same flush) for time.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "cache/cache_file.h"
#include "core/app.h"
#include "platform/module.h"

namespace {

constexpr double kTargetSeconds = 1.0;
constexpr double kTargetMemoryRatio = 2.0;
// Loading may take at most this many times the unparsed read of the same file.
constexpr double kTargetLoadRatio = 2.0;
// A stop with nothing new may take at most this share of a save that writes the file.
constexpr double kTargetUnchangedStopShare = 0.01;
constexpr int kDefaultRepeats = 5;

std::string g_strDataFolder;

// The host of the session figures: answers its data folder and no show, prints error lines.
intptr_t PrintErrors(int32_t nCode, uintptr_t first, uintptr_t second) {
    if (nCode == kCbDataFolder) {
        auto* pszBuffer = reinterpret_cast<wchar_t*>(first);
        const std::wstring strFolder = Utf8ToWide(g_strDataFolder);
        if (strFolder.size() >= second) return 0;
        std::wmemcpy(pszBuffer, strFolder.c_str(), strFolder.size() + 1);
        return 1;
    }
    if (nCode == kCbLog && std::wcsncmp(reinterpret_cast<const wchar_t*>(first), L"[!", 2) == 0)
        std::fprintf(stderr, "%s\n", WideToUtf8(reinterpret_cast<const wchar_t*>(second)).c_str());
    return 0;
}

long ProcStatusKb(const char* pszField) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(pszField);
    while (std::getline(in, line))
        if (line.compare(0, n, pszField) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Starts a phase: gives freed memory back and resets the peak to the present size.
long BeginPhase() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return ProcStatusKb("VmRSS");
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Entry i: a path of about 60 characters, coordinates with seven decimals, a caption of about
// 40 characters; every third one has non-ASCII letters, every tenth a line feed in its caption.
void MakeEntry(int i, std::wstring& strPath, CCachedValue& value) {
    static const wchar_t* const kPlaces[] = {
        L"Via Dante, Milano, Lombardia, Italia", L"Bahnhofstrasse, Zürich, Schweiz",
        L"Rynek Główny, Kraków, Małopolskie", L"Burnside Bridge, Portland, Oregon"};
    wchar_t buffer[128];
    std::swprintf(buffer, 128, L"/home/someone/Pictures/%04d/Holiday on %ls/IMG_%07d.jpg",
                  2000 + i % 25, i % 3 == 0 ? L"Ærø" : L"Aro", i);
    strPath = buffer;
    std::swprintf(buffer, 128, L"%ls #%d%ls", kPlaces[i % 4], i, i % 10 == 0 ? L"\nnear" : L"");
    value.m_strText = buffer;
    std::swprintf(buffer, 128, L"%d.%07d", 10 + i % 70, (i * 7919) % 10000000);
    value.m_strLat = buffer;
    std::swprintf(buffer, 128, L"-%d.%07d", 1 + i % 170, (i * 104729) % 10000000);
    value.m_strLon = buffer;
}

double PeerWrite(const std::string& strPath, const std::vector<char>& bytes) {
    auto start = std::chrono::steady_clock::now();
    int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (size_t off = 0; off < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + off, std::min<size_t>(1 << 20, bytes.size() - off));
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
    return Seconds(start);
}

double PeerRead(const std::string& strPath, std::vector<char>& bytes) {
    bytes.clear();
    auto start = std::chrono::steady_clock::now();
    int fd = ::open(strPath.c_str(), O_RDONLY);
    char chunk[1 << 16];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    ::close(fd);
    return Seconds(start);
}

// Minimum and median of one figure's runs.
struct SFigure {
    std::vector<double> runs;
    double Min() const { return *std::min_element(runs.begin(), runs.end()); }
    double Median() const {
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

void PrintFigure(const char* pszName, const SFigure& figure, const SFigure* pPeer,
                 const char* pszPeer) {
    std::printf("%-38s min %.4f s  median %.4f s", pszName, figure.Min(), figure.Median());
    if (pPeer)
        std::printf("  (peer, %s: median %.3f s, ratio of medians %.2f)", pszPeer, pPeer->Median(),
                    figure.Median() / pPeer->Median());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int nEntries = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int nRepeats = std::max(1, argc > 2 ? std::atoi(argv[2]) : kDefaultRepeats);
    char dirTemplate[] = "/tmp/locanym-cache-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    g_strDataFolder = dirTemplate;
    const std::string strFile = std::string(dirTemplate) + "/LocanymPlg_SS.lst";
    SetLogCallback(&PrintErrors);

    CLocanymApp app;
    app.m_strCachePath = Utf8ToWide(strFile);

    // Fill the table as photos would, and count the raw text on the way.
    const long nBeforeFill = BeginPhase();
    double dRawBytes = 0;
    {
        std::wstring strPath;
        CCachedValue value;
        for (int i = 0; i < nEntries; ++i) {
            MakeEntry(i, strPath, value);
            dRawBytes += WideToUtf8(strPath).size() + WideToUtf8(value.m_strText).size() +
                         WideToUtf8(value.m_strLat).size() + WideToUtf8(value.m_strLon).size();
            app.m_cache.Store(strPath, value);
        }
    }
    const long nAfterFill = ProcStatusKb("VmRSS");

    // Saves and loads, each run as the first: the peaks are those of the first runs.
    SFigure save, load, peerRead, peerWrite;
    long nSavePeak = 0, nLoadPeak = 0, nBeforeLoad = 0;
    size_t nLoaded = 0, nFileBytes = 0;
    CLocationCache loaded;
    for (int nRun = 0; nRun < nRepeats; ++nRun) {
        auto start = std::chrono::steady_clock::now();
        SaveCacheFile(app.m_strCachePath, GetOwnModuleName(), app.m_cache);
        save.runs.push_back(Seconds(start));
        if (nRun == 0) nSavePeak = ProcStatusKb("VmHWM");

        loaded.RemoveAll();
        loaded.SetBucketCount(kCacheInitialBuckets);
        malloc_trim(0);
        const long nBefore = BeginPhase();
        start = std::chrono::steady_clock::now();
        LoadCacheFile(app.m_strCachePath, GetOwnModuleName(), loaded);
        load.runs.push_back(Seconds(start));
        if (nRun == 0) {
            nLoadPeak = ProcStatusKb("VmHWM");
            nBeforeLoad = nBefore;
        }
        nLoaded = loaded.GetCount();

        std::vector<char> bytes;
        peerRead.runs.push_back(PeerRead(strFile, bytes));
        peerWrite.runs.push_back(PeerWrite(strFile + ".peer", bytes));
        nFileBytes = bytes.size();
    }
    loaded.RemoveAll();
    app.m_cache.RemoveAll();
    malloc_trim(0);

    // Whole sessions over the unchanged file, through the messages a host sends.
    SFigure sessionStart, sessionStop;
    CLocanymApp session;
    session.OnMessage(kMsgInitialise, reinterpret_cast<uintptr_t>(&PrintErrors), 0);
    session.m_bEnabled = 1;
    bool bUntouched = true;
    for (int nRun = 0; nRun < nRepeats; ++nRun) {
        // Each start gets memory as a new process would, not the last session's pages.
        session.m_cache.RemoveAll();
        malloc_trim(0);
        struct stat before {};
        ::stat(strFile.c_str(), &before);
        auto start = std::chrono::steady_clock::now();
        session.OnMessage(kMsgStart, 0, 1);
        sessionStart.runs.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        session.OnMessage(kMsgStop, 0, 1);
        sessionStop.runs.push_back(Seconds(start));
        struct stat after {};
        ::stat(strFile.c_str(), &after);
        bUntouched = bUntouched && before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
                     before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
    }

    const double dRawPerEntry = dRawBytes / nEntries;
    auto perEntry = [&](long kb) { return kb * 1024.0 / nEntries; };
    const double dSavePeak = perEntry(nSavePeak - nBeforeFill);
    const double dLoadPeak = perEntry(nLoadPeak - nBeforeLoad);
    std::printf("cache_bench: %d entries, file %.1f MB, loaded back %zu, %d runs of each figure\n",
                nEntries, nFileBytes / 1e6, nLoaded, nRepeats);
    std::printf(
        "raw text size (UTF-8 bytes of path, latitude, longitude, caption): %.1f bytes "
        "per entry\n",
        dRawPerEntry);
    std::printf("table in memory after filling: %.1f bytes per entry\n",
                perEntry(nAfterFill - nBeforeFill));
    PrintFigure("save:", save, &peerWrite, "writing the bytes unparsed");
    PrintFigure("load:", load, &peerRead, "reading the bytes unparsed");
    PrintFigure("session start (message 9, loads):", sessionStart, &peerRead,
                "reading the bytes unparsed");
    PrintFigure("session stop (message 10, unchanged):", sessionStop, &save, "a save that writes");
    std::printf("save peak memory %.1f bytes per entry = %.2f x raw text\n", dSavePeak,
                dSavePeak / dRawPerEntry);
    std::printf("load peak memory %.1f bytes per entry = %.2f x raw text\n", dLoadPeak,
                dLoadPeak / dRawPerEntry);
    std::printf("cache file left untouched by the unchanged sessions: %s\n",
                bUntouched ? "yes" : "NO");
    const bool bWithin = save.Median() <= kTargetSeconds && load.Median() <= kTargetSeconds &&
                         load.Median() <= kTargetLoadRatio * peerRead.Median() &&
                         sessionStop.Median() <= kTargetUnchangedStopShare * save.Median() &&
                         bUntouched && dSavePeak <= kTargetMemoryRatio * dRawPerEntry &&
                         dLoadPeak <= kTargetMemoryRatio * dRawPerEntry;
    std::printf(
        "targets (medians: save and load at most %.1f s, load at most %.1f x the unparsed read, "
        "unchanged stop at most %.0f %% of a save; memory at most %.1f x raw text): %s\n",
        kTargetSeconds, kTargetLoadRatio, 100 * kTargetUnchangedStopShare, kTargetMemoryRatio,
        bWithin ? "met" : "MISSED");

    std::remove(strFile.c_str());
    std::remove((strFile + ".peer").c_str());
    std::remove((strFile + ".lock").c_str());
    ::rmdir(dirTemplate);
    return nLoaded == static_cast<size_t>(nEntries) ? 0 : 1;
}
