// Saves and loads a location cache of a million entries, as messages 10 and 9 do, and prints
// the seconds of each and the peak memory per entry, set against the raw text of the entries.
//
// Raw text size: the UTF-8 bytes of each entry's four texts (path, latitude, longitude and the
// caption unescaped), with no separators, line ends or bookkeeping; it is the smallest form
// the entries can take. Peak memory is the rise of the process's peak resident set (VmHWM)
// over its resident set before the phase, so it counts the table, the buffers and all that
// malloc holds for them. Peers measured in the same run: the raw text size for memory, and
// reading and writing the cache file's bytes unparsed (one pass, same flush) for time.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "core/app.h"

namespace {

constexpr double kTargetSeconds = 1.0;
constexpr double kTargetMemoryRatio = 2.0;

intptr_t PrintErrors(int32_t nCode, uintptr_t first, uintptr_t second) {
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

}  // namespace

int main(int argc, char** argv) {
    const int nEntries = argc > 1 ? std::atoi(argv[1]) : 1000000;
    char dirTemplate[] = "/tmp/locanym-cache-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
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

    auto start = std::chrono::steady_clock::now();
    app.SaveCache();
    const double dSave = Seconds(start);
    const long nSavePeak = ProcStatusKb("VmHWM");

    app.m_cache.RemoveAll();
    const long nBeforeLoad = BeginPhase();
    start = std::chrono::steady_clock::now();
    app.LoadCache();
    const double dLoad = Seconds(start);
    const long nLoadPeak = ProcStatusKb("VmHWM");
    const size_t nLoaded = app.m_cache.GetCount();
    app.m_cache.RemoveAll();
    malloc_trim(0);

    // Peers: the same bytes read and written without parsing.
    std::vector<char> bytes;
    start = std::chrono::steady_clock::now();
    {
        int fd = ::open(strFile.c_str(), O_RDONLY);
        char chunk[1 << 16];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + n);
        ::close(fd);
    }
    const double dPeerRead = Seconds(start);
    const double dPeerWrite = PeerWrite(strFile + ".peer", bytes);

    const double dRawPerEntry = dRawBytes / nEntries;
    auto perEntry = [&](long kb) { return kb * 1024.0 / nEntries; };
    const double dSavePeak = perEntry(nSavePeak - nBeforeFill);
    const double dLoadPeak = perEntry(nLoadPeak - nBeforeLoad);
    std::printf("cache_bench: %d entries, file %.1f MB, loaded back %zu\n", nEntries,
                bytes.size() / 1e6, nLoaded);
    std::printf(
        "raw text size (UTF-8 bytes of path, latitude, longitude, caption): %.1f bytes "
        "per entry\n",
        dRawPerEntry);
    std::printf("table in memory after filling: %.1f bytes per entry\n",
                perEntry(nAfterFill - nBeforeFill));
    std::printf(
        "save: %.3f s (peer: writing the file's bytes unparsed %.3f s, ratio %.2f); "
        "peak memory %.1f bytes per entry = %.2f x raw text\n",
        dSave, dPeerWrite, dSave / dPeerWrite, dSavePeak, dSavePeak / dRawPerEntry);
    std::printf(
        "load: %.3f s (peer: reading the file's bytes unparsed %.3f s, ratio %.2f); "
        "peak memory %.1f bytes per entry = %.2f x raw text\n",
        dLoad, dPeerRead, dLoad / dPeerRead, dLoadPeak, dLoadPeak / dRawPerEntry);
    const bool bWithin = dSave <= kTargetSeconds && dLoad <= kTargetSeconds &&
                         dSavePeak <= kTargetMemoryRatio * dRawPerEntry &&
                         dLoadPeak <= kTargetMemoryRatio * dRawPerEntry;
    std::printf("targets (each at most %.1f s, memory at most %.1f x raw text): %s\n",
                kTargetSeconds, kTargetMemoryRatio, bWithin ? "met" : "MISSED");

    std::remove(strFile.c_str());
    std::remove((strFile + ".peer").c_str());
    ::rmdir(dirTemplate);
    return nLoaded == static_cast<size_t>(nEntries) ? 0 : 1;
}
