// locanym-transport-server: the loopback peer of the HTTP transport tests that run in another
// process (the Windows build's tests under Wine). Serves fixed answers on 127.0.0.1 over HTTP
// and over HTTPS with a self-signed certificate for "localhost" (Wine's WinINet matches DNS names
// only, and fails a chain whose revocation it cannot check, which a self-signed root avoids);
// prints one line
//   <http base URL> <https base URL>
// then serves until it is interrupted. Paths:
//   /crlf             two lines ended by CR LF
//   /long             5000 bytes without a line end
//   /empty            status 200, no body
//   /status/NNN       status NNN with a short JSON body
//   /echo             the request line's version and headers, one per line
//   /stall-mid        a first line, then nothing
//   /stall-before     nothing at all
//
//   locanym-transport-server CERT_PEM KEY_PEM
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/loopback_server.h"

namespace {

SLoopbackAnswer Answer(const SLoopbackRequest& request) {
    const std::string& strPath = request.strPath;
    if (strPath == "/crlf") return JsonAnswer("line one\r\nline two\r\n");
    if (strPath == "/long") return JsonAnswer(std::string(5000, 'x'));
    if (strPath == "/empty") return JsonAnswer("");
    if (strPath.rfind("/status/", 0) == 0) {
        const int nStatus = std::atoi(strPath.c_str() + 8);
        return JsonAnswer("{\"status\": " + std::to_string(nStatus) + "}", nStatus);
    }
    if (strPath == "/echo") {
        std::string strBody = request.strVersion + "\n";
        for (const auto& [strName, strValue] : request.headers)
            strBody += strName + ": " + strValue + "\n";
        return JsonAnswer(strBody);
    }
    SLoopbackAnswer answer = JsonAnswer("first line\n" + std::string(3000, 'y'));
    if (strPath == "/stall-mid") {
        answer.eTrouble = ELoopbackTrouble::kStallMidBody;
        answer.nBytesBeforeTrouble = 11;
        return answer;
    }
    if (strPath == "/stall-before") {
        answer.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
        return answer;
    }
    return JsonAnswer("", 404);
}

}  // namespace

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
    plain.SetHandler(&Answer);
    secure.SetHandler(&Answer);
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
