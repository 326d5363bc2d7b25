// 1,000 GeoNames lookups (FindLocation: URL, request, pieces, JSON, record) against a loopback
// server serving the Paris answer, and a bare libcurl GET of the same URL with a new handle
// each time, as the query makes one; and the query alone, to tell transfer from JSON reading.
// Prints the median of each and the ratios to the bare GET.
#include <curl/curl.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "services/geonames.h"
#include "tests/support/loopback_server.h"

namespace {

constexpr int kLookups = 1000;
constexpr int kRounds = 10;  // the two kinds alternate in rounds, so drift hits both alike

using CClock = std::chrono::steady_clock;

intptr_t IgnoreLog(int32_t, uintptr_t, uintptr_t) {
    return 0;
}

size_t Collect(char* p, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(p, size * count);
    return size * count;
}

bool BareGet(const std::string& strUrl, std::string& strBody) {
    CURL* h = curl_easy_init();
    if (!h) return false;
    strBody.clear();
    curl_easy_setopt(h, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &strBody);
    const bool bOk = curl_easy_perform(h) == CURLE_OK;
    curl_easy_cleanup(h);
    return bOk;
}

double MedianMicroseconds(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CLoopbackServer server;
    server.SetAnswer("/findNearbyPlaceNameJSON",
                     ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the loopback server\n");
        return 1;
    }
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    SetHttpConfig(ReadHttpConfigFromEnvironment());
    SetLogCallback(&IgnoreLog);

    CPlugInSettings settings;
    settings.m_nGeoType = 0;
    std::atomic<int32_t> stop{0};
    CGeoNames geonames(settings, stop);

    std::vector<double> lookups, queries, bare;
    const CParamList params{
        {L"lat", L"48.8448000"}, {L"lng", L"2.3471000"}, {L"style", L"full"}, {L"maxRows", L"3"}};
    std::string strBody;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kLookups / kRounds; ++i) {
            CLocationRecord record;
            const auto start = CClock::now();
            const int nResult = geonames.FindLocation(L"48.8448000", L"2.3471000", record);
            lookups.push_back(
                std::chrono::duration<double, std::micro>(CClock::now() - start).count());
            if (nResult != 1) {
                std::fprintf(stderr, "lookup failed: %s\n",
                             WideToUtf8(geonames.m_strError).c_str());
                return 1;
            }
        }
        for (int i = 0; i < kLookups / kRounds; ++i) {
            const auto start = CClock::now();
            geonames.QueryServer(L"http://api.geonames.org/findNearbyPlaceNameJSON", params,
                                 strBody);
            queries.push_back(
                std::chrono::duration<double, std::micro>(CClock::now() - start).count());
        }
        const std::string strUrl = WideToUtf8(geonames.m_strUrl);
        for (int i = 0; i < kLookups / kRounds; ++i) {
            const auto start = CClock::now();
            if (!BareGet(strUrl, strBody)) {
                std::fprintf(stderr, "bare GET failed\n");
                return 1;
            }
            bare.push_back(
                std::chrono::duration<double, std::micro>(CClock::now() - start).count());
        }
    }
    SetLogCallback(nullptr);
    const double dLookup = MedianMicroseconds(lookups);
    const double dBare = MedianMicroseconds(bare);
    std::printf("GeoNames lookups: %d against 127.0.0.1, answer of %zu bytes\n", kLookups,
                strBody.size());
    std::printf("  FindLocation (query + JSON + record): median %.1f us per lookup\n", dLookup);
    std::printf("  QueryServer alone (no JSON):         median %.1f us per request\n",
                MedianMicroseconds(queries));
    std::printf("  bare libcurl GET, new handle each:   median %.1f us per request\n", dBare);
    std::printf("  ratio QueryServer / bare GET: %.2f\n", MedianMicroseconds(queries) / dBare);
    std::printf("  ratio lookup / bare GET: %.2f (target at most 1.3)\n", dLookup / dBare);
    server.Stop();
    curl_global_cleanup();
    return 0;
}
