// The query on libcurl: the transport tests' peer in this process, a redirect loop, and a
// libcurl that cannot be loaded failing the lookup with its name instead of the process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "base/text.h"
#include "http/query.h"
#include "tests/support/loopback_server.h"
#include "tests/support/plugin_host.h"
#include "tests/support/transport_peer.h"

namespace {

struct SPeer {
    SPeer() {
        plain.SetHandler(&TransportPeerAnswer);
        if (!plain.Start()) return;
        strHttp = Utf8ToWide(plain.BaseUrl());
        if (!MakeTestCertificates(dir.Path(), tls)) return;
        pSecure = std::make_unique<CLoopbackServer>(tls);
        pSecure->SetHandler(&TransportPeerAnswer);
        if (pSecure->Start()) strHttps = Utf8ToWide(pSecure->BaseUrl());
    }
    CTempDir dir;
    STestTls tls;
    CLoopbackServer plain;
    std::unique_ptr<CLoopbackServer> pSecure;
    std::wstring strHttp, strHttps;
};

SPeer& Peer() {
    static SPeer peer;
    return peer;
}

// A server that answers, if uselessly, was reached.
TEST(HttpQuery, ARedirectLoopFailsAsAnAnsweringServer) {
    SHttpQuery query;
    query.strUrl = Peer().strHttp + L"/redirect-loop";
    const SHttpQueryResult result = HttpQuery(query);
    EXPECT_EQ(result.nResult, kQueryException);
    EXPECT_EQ(result.strError.rfind(L"Locnm: Error 47, ", 0), 0u) << WideToUtf8(result.strError);
    EXPECT_FALSE(result.bUnreachable);
}

// Runs in a process of its own: libcurl is loaded once per process.
TEST(HttpGetDeathTest, MissingLibcurlIsTheLookupsErrorText) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("LOCANYM_CURL_LIBRARY", "/nonexistent/libcurl.so.4", 1);
            SHttpQuery query;
            query.strUrl = L"http://127.0.0.1:9/findNearbyJSON";
            const SHttpQueryResult result = HttpQuery(query);
            std::fprintf(stderr, "%s\n", WideToUtf8(result.strError).c_str());
            std::exit(result.nResult == kQueryFailed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "Locnm: OpenRequest failed, cannot load.*/nonexistent/libcurl");
}

}  // namespace

std::wstring TransportPeerUrl() {
    return Peer().strHttp;
}
std::wstring TransportPeerHttpsUrl() {
    return Peer().strHttps;
}

// The CA comes as the file a user names in LOCANYM_CA_FILE.
bool TrustTransportPeer() {
    SHttpConfig config;
    config.strCaFile = Peer().tls.caFile.string();
    SetHttpConfig(config);
    return true;
}

// The CA of one request is not kept for the next one on the same thread.
std::wstring UntrustedTransportPeerUrl() {
    SetHttpConfig(SHttpConfig());
    return Peer().strHttps;
}
