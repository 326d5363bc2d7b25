// locanym-replay-server: serves the project's service fixtures on 127.0.0.1 so that the module
// can caption photos offline. Prints the base URL to use as LOCANYM_SERVICE_URL, then serves
// until it is interrupted.
//
//   locanym-replay-server [--port N] [--fixtures DIR]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/loopback_server.h"
#include "tools/demo/fixture_replay.h"

int main(int argc, char** argv) {
    int nPort = 0;
    std::filesystem::path folder =
        std::filesystem::path(LOCANYM_SOURCE_DIR) / "tests" / "fixtures" / "services";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            nPort = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--fixtures") == 0 && i + 1 < argc) {
            folder = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--port N] [--fixtures DIR]\n", argv[0]);
            return 2;
        }
    }

    CFixtureReplay replay;
    std::string strError;
    if (!replay.Load(folder, strError)) {
        std::fprintf(stderr, "locanym-replay-server: %s\n", strError.c_str());
        return 1;
    }

    // Block the signals before the server's threads start, so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CLoopbackServer server;
    server.SetHandler([&replay](const SLoopbackRequest& request) {
        std::string strChosen;
        SLoopbackAnswer answer = replay.Answer(request, strChosen);
        std::fprintf(stderr, "GET %s?%s -> %d %s\n", request.strPath.c_str(),
                     request.strQuery.c_str(), answer.nStatus,
                     strChosen.empty() ? "(no fixture)" : strChosen.c_str());
        return answer;
    });
    if (!server.Start(nPort)) {
        std::fprintf(stderr, "locanym-replay-server: cannot listen on 127.0.0.1:%d\n", nPort);
        return 1;
    }
    std::printf("%s\n", server.BaseUrl().c_str());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    server.Stop();
    return 0;
}
