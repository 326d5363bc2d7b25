// Lookups of all six services (FindLocation: URL, request, pieces, JSON, record) against a
// loopback server that replays each service's recorded answers, the nearest one to the
// requested place. The peer does the same transfer: a plain libcurl GET of the very URL each
// lookup sent, with one kept handle, HTTP/1.0, the module's request headers and a new
// connection for every GET, as the module's query makes one. The module's transfer alone (no JSON)
// is timed too, to tell transfer from reading. Places are visited in a shuffled order; lookups and
// GETs alternate in rounds so that drift hits both alike. Prints, per service, the medians and the
// ratios.
#include <curl/curl.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "services/service_catalogue.h"
#include "tests/support/loopback_server.h"
#include "tools/demo/fixture_replay.h"

namespace {

// The target is judged by the worst of six ratios of medians. With 300 lookups in rounds of 30
// that worst one spread over 0.10 in four runs on a loaded machine, with 900 in rounds of 15
// over 0.03 in most series (a lone burst of load still moves one service); a run takes 3-4 s.
constexpr int kLookupsPerService = 900;
constexpr int kRounds = 60;
constexpr double kTargetRatio = 1.25;
constexpr unsigned kShuffleSeed = 20261206;

using CClock = std::chrono::steady_clock;

struct SPlace {
    const wchar_t *pszLat, *pszLon;
};

// The places of each service's recorded results, in table order.
const std::vector<SPlace> kPlaces[kServiceCount] = {
    {{L"40.7142200", L"-73.9613430"}, {L"52.5443209", L"103.8882077"}},
    {{L"52.5193349", L"13.4105786"}, {L"55.7539000", L"37.6206000"}},
    {{L"48.8529680", L"2.3499020"},
     {L"41.8902100", L"12.4922310"},
     {L"40.7828650", L"-73.9653550"},
     {L"-33.8567840", L"151.2152970"},
     {L"55.7539300", L"37.6207950"}},
    {{L"35.7000000", L"139.6875000"}},
    {{L"40.7033000", L"-74.0105000"}, {L"52.5443209", L"103.8882077"}},
    {{L"51.5085000", L"-0.1257000"}, {L"39.8865000", L"-83.4483000"}},
};

intptr_t IgnoreLog(int32_t, uintptr_t, uintptr_t) {
    return 0;
}

size_t Collect(char* p, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(p, size * count);
    return size * count;
}

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using CCurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct CurlListDeleter {
    void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};
using CCurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// The request headers the module sends (http/query.cpp), with its most frequent agent: the
// server reads as many bytes from the peer as from a lookup.
const char* const kRequestHeaders[] = {"Accept: text/*", "Pragma: no-cache",
                                       "Cache-Control: no-cache"};
const char* const kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/115.0.0.0 Safari/537.36";

// The peer: one handle kept for all its GETs, each on a new connection, as HTTP/1.0, with the
// module's request headers.
class CPeerGet {
  public:
    CPeerGet() : m_handle(curl_easy_init()) {
        CURL* h = m_handle.get();
        if (!h) return;
        for (const char* pszHeader : kRequestHeaders) {
            curl_slist* p = curl_slist_append(m_headers.get(), pszHeader);
            if (!p) return;
            m_headers.release();
            m_headers.reset(p);
        }
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, m_headers.get());
        curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &m_strBody);
    }
    bool Get(const std::string& strUrl) {
        if (!m_handle) return false;
        m_strBody.clear();
        curl_easy_setopt(m_handle.get(), CURLOPT_URL, strUrl.c_str());
        return curl_easy_perform(m_handle.get()) == CURLE_OK;
    }
    size_t BodySize() const { return m_strBody.size(); }

  private:
    CCurlList m_headers;
    CCurlHandle m_handle;
    std::string m_strBody;
};

double MedianMicroseconds(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double MicrosecondsSince(CClock::time_point start) {
    return std::chrono::duration<double, std::micro>(CClock::now() - start).count();
}

}  // namespace

int main() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CFixtureReplay replay;
    std::string strError;
    if (!replay.Load(ServiceFixturePath("geonames", "x").parent_path().parent_path(), strError)) {
        std::fprintf(stderr, "%s\n", strError.c_str());
        return 1;
    }
    CLoopbackServer server;
    server.SetHandler([&replay](const SLoopbackRequest& request) {
        std::string strChosen;
        return replay.Answer(request, strChosen);
    });
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
    CServiceTable services = CreateServices(settings, stop);
    CPeerGet peer;
    std::mt19937 random(kShuffleSeed);

    std::printf(
        "Lookups against 127.0.0.1, %d per service over its recorded places, shuffled;\n"
        "peer: libcurl GET of the same URL, one kept handle, HTTP/1.0, new connection,\n"
        "the module's request headers\n",
        kLookupsPerService);
    std::printf("  %-13s %12s %12s %12s %7s %7s %9s\n", "service", "lookup (us)", "query (us)",
                "peer (us)", "ratio", "query", "answer");
    std::vector<double> allLookups, allPeers;
    double dWorstRatio = 0.0;
    for (int nService = 0; nService < kServiceCount; ++nService) {
        // The offline finder sends no request: it has no peer and no recorded places.
        if (kPlaces[nService].empty()) continue;
        CLocanymObj& service = *services[nService];
        std::vector<size_t> order;
        for (int i = 0; i < kLookupsPerService; ++i) order.push_back(i % kPlaces[nService].size());
        std::shuffle(order.begin(), order.end(), random);

        std::vector<double> lookups, queries, peers;
        std::vector<std::string> urls;
        size_t nAnswerBytes = 0;
        const int nPerRound = kLookupsPerService / kRounds;
        for (int round = 0; round < kRounds; ++round) {
            urls.clear();
            for (int i = round * nPerRound; i < (round + 1) * nPerRound; ++i) {
                const SPlace& place = kPlaces[nService][order[i]];
                CLocationRecord record;
                const auto start = CClock::now();
                const int nResult = service.FindLocation(place.pszLat, place.pszLon, record);
                lookups.push_back(MicrosecondsSince(start));
                if (nResult != 1) {
                    std::fprintf(stderr, "%s lookup failed: %s\n",
                                 WideToUtf8(service.GetServiceName()).c_str(),
                                 WideToUtf8(service.m_strError).c_str());
                    return 1;
                }
                urls.push_back(WideToUtf8(service.m_strUrl));
            }
            for (const std::string& strUrl : urls) {
                std::string strAnswer;
                const std::wstring strWideUrl = Utf8ToWide(strUrl);
                const auto startQuery = CClock::now();
                service.QueryServerLow(strWideUrl, strAnswer);
                queries.push_back(MicrosecondsSince(startQuery));
                const auto start = CClock::now();
                if (!peer.Get(strUrl)) {
                    std::fprintf(stderr, "peer GET failed: %s\n", strUrl.c_str());
                    return 1;
                }
                peers.push_back(MicrosecondsSince(start));
                nAnswerBytes = std::max(nAnswerBytes, peer.BodySize());
            }
        }
        const double dLookup = MedianMicroseconds(lookups);
        const double dPeer = MedianMicroseconds(peers);
        const double dQuery = MedianMicroseconds(queries);
        std::printf("  %-13s %12.1f %12.1f %12.1f %7.2f %7.2f %7zu B\n",
                    WideToUtf8(service.GetServiceName()).c_str(), dLookup, dQuery, dPeer,
                    dLookup / dPeer, dQuery / dPeer, nAnswerBytes);
        dWorstRatio = std::max(dWorstRatio, dLookup / dPeer);
        allLookups.insert(allLookups.end(), lookups.begin(), lookups.end());
        allPeers.insert(allPeers.end(), peers.begin(), peers.end());
    }
    const double dLookup = MedianMicroseconds(allLookups);
    const double dPeer = MedianMicroseconds(allPeers);
    std::printf("  %-13s %12.1f %12s %12.1f %7.2f\n", "all six", dLookup, "", dPeer,
                dLookup / dPeer);
    std::printf(
        "  ratio: lookup / peer GET; query: the module's transfer alone (QueryServerLow, no\n"
        "  JSON) / peer GET\n"
        "  worst service: %.2f (target at most %.2f): %s\n",
        dWorstRatio, kTargetRatio, dWorstRatio <= kTargetRatio ? "met" : "NOT MET");
    SetLogCallback(nullptr);
    server.Stop();
    curl_global_cleanup();
    return 0;
}
