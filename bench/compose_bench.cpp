// Composes captions from the worst answers that fit the 8 MiB answer cap and prints, for each,
// the median time and the peak memory the composition allocates. Targets: under 10 ms and
// under 10 MB.
//
// Peak memory is the highest sum of live heap bytes during the composition, counted by this
// program's operator new (the sizes malloc hands out). Peer measured in the same run: one search
// for "%" through every value of the record, the least reading any composition of that record must
// do.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core/compose.h"

namespace {

std::atomic<size_t> g_nLiveBytes{0};
std::atomic<size_t> g_nPeakBytes{0};

constexpr size_t kAnswerChars = 8u * 1024u * 1024u;
constexpr int kRepeats = 9;
constexpr double kTargetMs = 10.0;
constexpr double kTargetMb = 10.0;

std::wstring Repeat(const std::wstring& part, size_t nChars) {
    std::wstring text;
    text.reserve(nChars);
    while (text.size() + part.size() <= nChars) text += part;
    return text;
}

struct SCase {
    const char* pszName;
    std::wstring strFormat;
    CLocationRecord record;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The peer: every value read once, as a search for a placeholder's first character does.
size_t ScanValues(const CLocationRecord& r) {
    size_t n = 0;
    for (const std::wstring* p : {&r.m_strLocation, &r.m_strCity, &r.m_strState, &r.m_strCountry,
                                  &r.m_strCountryCode, &r.m_strFullAddress})
        n += std::count(p->begin(), p->end(), L'%');
    return n;
}

}  // namespace

void* operator new(size_t nSize) {
    void* p = std::malloc(nSize ? nSize : 1);
    if (!p) throw std::bad_alloc();
    const size_t nLive = g_nLiveBytes += malloc_usable_size(p);
    size_t nPeak = g_nPeakBytes.load();
    while (nLive > nPeak && !g_nPeakBytes.compare_exchange_weak(nPeak, nLive)) {
    }
    return p;
}

void operator delete(void* p) noexcept {
    if (!p) return;
    g_nLiveBytes -= malloc_usable_size(p);
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}

int main() {
    // An answer of 8 MiB yields at most that many characters in all of its values.
    const size_t nPart = kAnswerChars / 6;
    std::vector<SCase> cases = {
        {"city of country codes, long code",
         L"%C (%D)",
         {L"", Repeat(L"%D", kAnswerChars / 2), L"", L"", Repeat(L"x", kAnswerChars / 2), L"-"}},
        {"names made of placeholders",
         L"%L",
         {Repeat(L"%C", nPart), Repeat(L"%S", nPart), Repeat(L"%Y", nPart), Repeat(L"%D", nPart),
          Repeat(L"%F", nPart), Repeat(L"%A", nPart)}},
        {"every placeholder, huge values",
         L"%L %C %S %Y %D %F %A",
         {Repeat(L"%A", nPart), Repeat(L"%F", nPart), Repeat(L"%L", nPart), Repeat(L"%C", nPart),
          Repeat(L"%S", nPart), L""}},
        {"template of placeholders",
         Repeat(L"%L%A", 4096),
         {Repeat(L"l", nPart), Repeat(L"c", nPart), Repeat(L"s", nPart), Repeat(L"y", nPart),
          Repeat(L"d", nPart), Repeat(L"f", nPart)}},
    };
    CPlugInSettings settings;
    settings.m_strSep = L", ";
    settings.m_bAState = 1;
    settings.m_bACountry = 1;

    double fWorstMs = 0, fWorstMb = 0;
    std::printf("%-34s %10s %10s %10s %8s\n", "case", "median ms", "peak MB", "peer ms", "ratio");
    for (SCase& c : cases) {
        settings.m_strFormat = c.strFormat;
        std::vector<double> times, peerTimes;
        size_t nPeak = 0, nSink = 0;
        for (int i = 0; i < kRepeats; ++i) {
            const size_t nBefore = g_nLiveBytes.load();
            g_nPeakBytes.store(nBefore);
            auto start = std::chrono::steady_clock::now();
            const std::wstring strCaption = ComposeCaption(c.record, settings);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            nPeak = std::max(nPeak, g_nPeakBytes.load() - nBefore);
            nSink += strCaption.size();
            start = std::chrono::steady_clock::now();
            nSink += ScanValues(c.record);
            peerTimes.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        const double fMs = Median(times), fPeerMs = Median(peerTimes);
        const double fMb = static_cast<double>(nPeak) / 1e6;
        fWorstMs = std::max(fWorstMs, fMs);
        fWorstMb = std::max(fWorstMb, fMb);
        std::printf("%-34s %10.3f %10.3f %10.3f %8.2f%s\n", c.pszName, fMs, fMb, fPeerMs,
                    fPeerMs > 0 ? fMs / fPeerMs : 0.0, nSink ? "" : " ");
    }
    std::printf("worst case: %.3f ms (target < %.0f), %.3f MB (target < %.0f)\n", fWorstMs,
                kTargetMs, fWorstMb, kTargetMb);
    return fWorstMs < kTargetMs && fWorstMb < kTargetMb ? 0 : 1;
}
