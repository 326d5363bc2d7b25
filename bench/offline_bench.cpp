// A show without network: 300 photos at different positions through the real module (message
// 19) against a loopback server that accepts every connection and never answers, with the
// module's real time-outs. Peer in the same run: the same photos against a server that answers
// each lookup at once. Prints both totals, the ratio, and the target (under 120 s).
//
// Runs for about a minute and a half; not part of the test suite.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

constexpr int kPhotos = 300;
constexpr double kTargetSeconds = 120.0;
const std::string kPath = "/findNearbyPlaceNameJSON";

// Seconds to caption every photo with a fresh host (empty cache) against the server.
double CaptionAll(CLoopbackServer& server, const std::vector<std::filesystem::path>& photos,
                  int& nCaptioned) {
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    CTestHost host;
    STestSetting service;
    service.nValue = 2;  // GeoNames
    host.m_settings[L"iProv"] = service;
    host.m_settings[L"GeoType"] = STestSetting{};  // the place-name lookup
    host.Start();
    nCaptioned = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& photo : photos) {
        std::wstring strCaption;
        if (host.Caption(photo.wstring(), strCaption) && strCaption.rfind(L"Locnm:", 0) != 0)
            ++nCaptioned;
    }
    const double fSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.Send(kMsgStop, 0, 0);
    return fSeconds;
}

}  // namespace

int main() {
    CTempDir dir;
    std::vector<std::filesystem::path> photos;
    for (int i = 0; i < kPhotos; ++i) {
        photos.push_back(dir.Path() / ("photo" + std::to_string(i) + ".jpg"));
        if (!WriteGpsJpeg(photos.back(), -60.0 + i * 0.4, -170.0 + i * 1.1)) return 2;
    }

    CLoopbackServer answering;
    CLoopbackServer silent;
    if (!answering.Start() || !silent.Start()) return 2;
    answering.SetAnswer(kPath,
                        ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    SLoopbackAnswer never;
    never.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
    silent.SetAnswer(kPath, never);

    int nPeerCaptioned = 0, nCaptioned = 0;
    const double fPeer = CaptionAll(answering, photos, nPeerCaptioned);
    const double fSilent = CaptionAll(silent, photos, nCaptioned);
    silent.Stop();
    std::printf("%d photos, server answering at once (peer): %.2f s, %d captioned\n", kPhotos,
                fPeer, nPeerCaptioned);
    std::printf("%d photos, server never answering:        %.2f s, %zu requests sent\n", kPhotos,
                fSilent, silent.Requests().size());
    std::printf("ratio to the peer: %.1f; target under %.0f s: %s\n", fSilent / fPeer,
                kTargetSeconds, fSilent < kTargetSeconds ? "met" : "MISSED");
    unsetenv("LOCANYM_SERVICE_URL");
    return fSilent < kTargetSeconds ? 0 : 1;
}
