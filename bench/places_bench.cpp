// The offline place finder on the real data file: the median time of one lookup (position to
// the six texts), the median time to open the file (map and check it whole), the file's size
// and how much of it becomes resident. Peer measured in the same run: the nearest place centre
// found by a scan over every place, the search that needs no index.
//
// Positions: 20,000 in a shuffled order, each within half a degree of a randomly drawn place,
// so that dense regions weigh as much as photographers' photos make them weigh; each lookup
// also composes every text, as a caption needs them.
//
// Message 19's service part: the offline service's FindLocation (coordinate texts as photos give
// them, the location record filled, a log line to a host callback that drops it) over the same
// positions, against a GeoNames lookup (FindLocation: URL, request, JSON, record) of a loopback
// server in the same run; both print their medians and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "http/query.h"
#include "services/geonames.h"
#include "services/offline.h"
#include "services/place_finder.h"
#include "tests/support/loopback_server.h"

namespace {

constexpr double kTargetLookupUs = 5.0;
constexpr double kTargetOpenMs = 20.0;
constexpr double kTargetFileMb = 8.0;
constexpr int kPositions = 20000;
constexpr int kPeerPositions = 200;
constexpr int kRepeats = 5;
constexpr double kTargetServiceUs = 5.0;
constexpr double kTargetGeoNamesRatio = 1.0 / 20.0;
constexpr int kGeoNamesLookups = 300;

long ProcStatusKb(const char* pszField) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(pszField);
    while (std::getline(in, line))
        if (line.compare(0, n, pszField) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using CClock = std::chrono::steady_clock;

double Micro(CClock::time_point start) {
    return std::chrono::duration<double, std::micro>(CClock::now() - start).count();
}

uint32_t NearestByScan(const CPlacesData& data, double dLat, double dLon) {
    uint32_t nBest = CPlaceFinder::kNone;
    double dBest = 1e18;
    for (uint32_t n = 0; n < data.GetPlaceCount(); ++n) {
        double d = CPlaceFinder::DistanceKm(dLat, dLon, data.GetPlace(n));
        if (d < dBest) {
            dBest = d;
            nBest = n;
        }
    }
    return nBest;
}

intptr_t DropLog(int32_t, uintptr_t, uintptr_t) {
    return 0;
}

// Median of GeoNames lookups against a loopback server serving the Paris answer; 0 when the
// server cannot start or a lookup fails.
double GeoNamesLookupMedian() {
    CLoopbackServer server;
    server.SetAnswer("/findNearbyPlaceNameJSON",
                     ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    if (!server.Start()) return 0;
    SHttpConfig config;
    config.strServiceUrl = Utf8ToWide(server.BaseUrl());
    SetHttpConfig(config);
    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CGeoNames geonames(settings, stop);
    std::vector<double> times;
    for (int i = 0; i < kGeoNamesLookups; ++i) {
        CLocationRecord record;
        auto start = CClock::now();
        if (!geonames.FindLocation(L"48.8448000", L"2.3471000", record)) return 0;
        times.push_back(Micro(start));
    }
    SetHttpConfig(SHttpConfig{});
    return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
    std::string strPath = argc > 1 ? argv[1] : LOCANYM_PLACES_FILE;
    std::error_code error;
    if (!std::filesystem::exists(strPath, error)) {
        std::printf("no data file %s (run scripts/fetch-places.sh, then build): nothing measured\n",
                    strPath.c_str());
        return 0;
    }
    double dFileMb = std::filesystem::file_size(strPath) / 1e6;

    std::vector<double> opens;
    for (int i = 0; i < 20; ++i) {
        CPlacesData probe;
        std::wstring strError;
        auto start = CClock::now();
        if (!probe.Load(Utf8ToWide(strPath), strError)) {
            std::fprintf(stderr, "%s\n", WideToUtf8(strError).c_str());
            return 1;
        }
        opens.push_back(Micro(start) / 1000);
    }
    std::vector<double> lookups;
    lookups.reserve(static_cast<size_t>(kPositions) * kRepeats);
    // What stays resident of the file is what the open and the lookups touch.
    long nRssBefore = ProcStatusKb("VmRSS");
    CPlacesData data;
    std::wstring strError;
    data.Load(Utf8ToWide(strPath), strError);
    CPlaceFinder finder(data);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::pair<double, double>> positions;
    positions.reserve(kPositions);
    for (int i = 0; i < kPositions; ++i) {
        SPlace place =
            data.GetPlace(static_cast<uint32_t>(unit(random) * (data.GetPlaceCount() - 1)));
        double dLon = place.nLon * 1e-5 + unit(random) - 0.5;
        dLon = dLon > 180 ? dLon - 360 : dLon < -180 ? dLon + 360 : dLon;
        positions.emplace_back(std::clamp(place.nLat * 1e-5 + unit(random) - 0.5, -90.0, 90.0),
                               dLon);
    }
    int nLanguage = finder.FindLanguage(L"fr");
    size_t nFound = 0;
    for (int nRepeat = 0; nRepeat < kRepeats; ++nRepeat) {
        std::shuffle(positions.begin(), positions.end(), random);
        for (const auto& [dLat, dLon] : positions) {
            CPlaceNames names;
            auto start = CClock::now();
            nFound += finder.Find(dLat, dLon, nLanguage, names);
            lookups.push_back(Micro(start));
        }
    }
    long nRssAfter = ProcStatusKb("VmRSS");

    std::vector<double> scans;
    uint32_t nSink = 0;
    for (int i = 0; i < kPeerPositions; ++i) {
        auto start = CClock::now();
        nSink += NearestByScan(data, positions[i].first, positions[i].second);
        scans.push_back(Micro(start));
    }

    // Message 19's service part, as the module runs it.
    SetLogCallback(&DropLog);
    CPlugInSettings settings;
    settings.m_strLang = L"fr";
    std::atomic<int32_t> stop{0};
    COffline offline(settings, stop);
    offline.m_strDataPath = Utf8ToWide(strPath);
    std::vector<std::pair<std::wstring, std::wstring>> texts;
    texts.reserve(positions.size());
    for (const auto& [dLat, dLon] : positions)
        texts.emplace_back(FormatText(L"%.7f", dLat), FormatText(L"%.7f", dLon));
    std::vector<double> services;
    services.reserve(texts.size());
    for (const auto& [strLat, strLon] : texts) {
        CLocationRecord record;
        auto start = CClock::now();
        nSink += offline.FindLocation(strLat, strLon, record);
        services.push_back(Micro(start));
    }
    const double dGeoNames = GeoNamesLookupMedian();
    SetLogCallback(nullptr);

    double dLookup = Median(lookups), dOpen = Median(opens), dScan = Median(scans);
    double dService = Median(services);
    std::printf("places: %s, %u places, sources: %s\n", strPath.c_str(), data.GetPlaceCount(),
                std::string(data.GetSources()).c_str());
    std::printf("lookup median        %8.2f us  (target <= %.0f us)%s\n", dLookup, kTargetLookupUs,
                dLookup <= kTargetLookupUs ? "" : "  OVER TARGET");
    std::printf(
        "  peer: nearest centre by a scan of every place %.1f us; ratio %.4f (%zu of %zu found)\n",
        dScan, dLookup / dScan, nFound, lookups.size());
    std::printf("offline FindLocation %8.2f us  (message 19's service part; target <= %.0f us)%s\n",
                dService, kTargetServiceUs, dService <= kTargetServiceUs ? "" : "  OVER TARGET");
    if (dGeoNames > 0) {
        std::printf(
            "  peer: GeoNames FindLocation on loopback %.1f us; ratio %.4f (target <= %.2f)%s\n",
            dGeoNames, dService / dGeoNames, kTargetGeoNamesRatio,
            dService / dGeoNames <= kTargetGeoNamesRatio ? "" : "  OVER TARGET");
    } else {
        std::printf("  peer: GeoNames on loopback could not be measured\n");
    }
    std::printf("open median          %8.2f ms  (target <= %.0f ms)%s\n", dOpen, kTargetOpenMs,
                dOpen <= kTargetOpenMs ? "" : "  OVER TARGET");
    std::printf("file size            %8.2f MB  (target <= %.0f MB)%s\n", dFileMb, kTargetFileMb,
                dFileMb <= kTargetFileMb ? "" : "  OVER TARGET");
    std::printf("resident growth      %8ld kB after %zu lookups (the file is %.0f kB)\n",
                nRssAfter - nRssBefore, lookups.size(), dFileMb * 1000);
    return nSink == 0xFFFFFFFFu ? 1 : 0;
}
