// locanym-transport-server: the loopback peer of the HTTP transport tests that run in another
// process (the Windows build's tests under Wine). Serves fixed answers on 127.0.0.1 over HTTP
// and over HTTPS with a self-signed certificate for "localhost" (Wine's WinINet matches DNS names
// only, and fails a chain whose revocation it cannot check, which a self-signed root avoids);
// prints one line
//   <http base URL> <https base URL>
// then serves the paths of tests/support/transport_peer.h until it is interrupted.
//
//   locanym-transport-server CERT_PEM KEY_PEM
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/transport_peer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CERT_PEM KEY_PEM\n", argv[0]);
        return 2;
    }
    STestTls tls;
    tls.caFile = tls.certFile = argv[1];
    tls.keyFile = argv[2];
    // Blocked before the servers' threads start, so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CLoopbackServer plain;
    CLoopbackServer secure(tls);
    plain.SetHandler(&TransportPeerAnswer);
    secure.SetHandler(&TransportPeerAnswer);
    if (!plain.Start() || !secure.Start()) {
        std::fprintf(stderr, "locanym-transport-server: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("%s https://localhost:%d\n", plain.BaseUrl().c_str(), secure.Port());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    return 0;
}
