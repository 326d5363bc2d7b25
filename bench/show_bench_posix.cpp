// A whole show answered from the cache, from outside: the reference host started, the module
// loaded, the cache read, every photo captioned, the host gone; against libexiv2 reading the
// same photos' GPS positions in this process (the files opened in the same order, the loop
// alone timed: no start-up of its own). The photos are generated, shaped like real ones, all
// with a position; the cache is filled once through a loopback server replaying recorded
// answers, and the timed shows send no request. Host and peer take turns, each figure is the
// median of the repeats. A second row runs the same show with libcurl and its TLS libraries
// linked at start (LD_PRELOAD), as the module was linked before it loaded libcurl on demand.
//
// Usage: show_bench [PHOTO_COUNT [WORK_DIR]]   (default 1000 photos in a temporary folder;
// a WORK_DIR given is kept, with the photos, the host's data and the plug-in's log)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/exiv2_peer.h"
#include "bench/photo_corpus.h"
#include "tests/support/loopback_server.h"
#include "tests/support/plugin_host.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kDefaultPhotos = 1000;
constexpr int kRepeats = 5;
constexpr double kTargetRatio = 0.12;
constexpr int kGeoNamesService = 2;  // iProv
constexpr const char* kRecordedAnswer = "result_city_paris_findNearbyPlaceName_full";

using CClock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs the program with its standard output to strOutput (a file; empty: /dev/null) and the
// variables of extraEnv added; the exit status, or -1 when it could not run.
int Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
        const std::string& strOutput) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** p = environ; *p; ++p) envStore.emplace_back(*p);
    for (const std::string& var : extraEnv) envStore.push_back(var);
    std::vector<char*> envp;
    for (std::string& var : envStore) envp.push_back(var.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string strOut = strOutput.empty() ? "/dev/null" : strOutput;
    posix_spawn_file_actions_addopen(&actions, 1, strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int nSpawn = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (nSpawn != 0) return -1;
    int nStatus = 0;
    if (waitpid(pid, &nStatus, 0) != pid) return -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

// Lines of the host's caption output that carry a place, not an empty caption or an error.
size_t CountCaptions(const fs::path& output) {
    std::ifstream in(output);
    size_t nCaptions = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t nTab = line.find('\t');
        if (nTab != std::string::npos && nTab + 1 < line.size() &&
            line.find("Locnm:", nTab) == std::string::npos)
            ++nCaptions;
    }
    return nCaptions;
}

std::string g_sink;

void ReadExiv2(const fs::path& photo) {
    g_sink = ReadGpsWithExiv2(photo);
}

double SecondsSince(CClock::time_point start) {
    return std::chrono::duration<double>(CClock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int nPhotos = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultPhotos;
    CTempDir temp;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : temp.Path();
    std::error_code ec;
    fs::remove_all(work / "data", ec);
    fs::create_directories(work, ec);
    const fs::path data = work / "data";
    std::vector<SCorpusPhoto> corpus = MakePhotoCorpus(work, nPhotos, 100);
    // A folder is shown in its own order, not the order the files were made in.
    std::shuffle(corpus.begin(), corpus.end(), std::mt19937(5));

    const std::vector<std::string> host = {
        LOCANYM_HOST_PATH, "--module", LOCANYM_MODULE_PATH,           "--data",
        data.string(),     "--log",    (work / "plugin.log").string()};
    auto hostCommand = [&](std::vector<std::string> args) {
        std::vector<std::string> command = host;
        command.insert(command.end(), args.begin(), args.end());
        return command;
    };
    std::vector<std::string> caption = hostCommand({"caption"});
    for (const SCorpusPhoto& photo : corpus) caption.push_back(photo.path.string());

    // Every place gets the recorded answer for Paris: each photo still has its own entry.
    CLoopbackServer server;
    const SLoopbackAnswer recorded = ServiceFixture("geonames", kRecordedAnswer);
    server.SetHandler([&recorded](const SLoopbackRequest&) { return recorded; });
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the loopback server\n");
        return 1;
    }
    // The timed shows are pointed at the loopback server too: a photo missing from the cache
    // shows as a request there, never as one that leaves the machine.
    const std::vector<std::string> env = {"LOCANYM_SERVICE_URL=" + server.BaseUrl()};
    if (Run(hostCommand({"set", "Enabled", "1"}), {}, "") != 0 ||
        Run(hostCommand({"set", "iProv", std::to_string(kGeoNamesService)}), {}, "") != 0) {
        std::fprintf(stderr, "the host could not store the settings\n");
        return 1;
    }
    const fs::path output = work / "captions.txt";
    const auto fillStart = CClock::now();
    const int nFill = Run(caption, env, output.string());
    const double dFill = SecondsSince(fillStart);
    const size_t nFilled = CountCaptions(output);
    const size_t nRequests = server.Requests().size();
    if (nFill != 0 || nFilled != corpus.size()) {
        std::fprintf(stderr, "filling the cache captioned %zu of %zu photos (exit %d)\n", nFilled,
                     corpus.size(), nFill);
        return 1;
    }

    MuteExiv2();
    std::vector<double> shows, preloaded, peers;
    size_t nCached = 0;
    for (int r = 0; r < kRepeats; ++r) {
        auto start = CClock::now();
        if (Run(caption, env, r == 0 ? output.string() : "") != 0) {
            std::fprintf(stderr, "the show from the cache failed\n");
            return 1;
        }
        shows.push_back(SecondsSince(start));
        if (r == 0) nCached = CountCaptions(output);

        start = CClock::now();
        std::vector<std::string> preloadEnv = env;
        preloadEnv.push_back("LD_PRELOAD=libcurl.so.4");
        if (Run(caption, preloadEnv, "") != 0) {
            std::fprintf(stderr, "the show with libcurl preloaded failed\n");
            return 1;
        }
        preloaded.push_back(SecondsSince(start));

        start = CClock::now();
        for (const SCorpusPhoto& photo : corpus) ReadExiv2(photo.path);
        peers.push_back(SecondsSince(start));
    }
    const size_t nShowRequests = server.Requests().size() - nRequests;
    server.Stop();

    const double dShow = Median(shows), dPreloaded = Median(preloaded), dPeer = Median(peers);
    std::printf(
        "Show of %zu generated photos, all in the cache (filled once in %.2f s, %zu requests);\n"
        "peer: libexiv2 %s reading the same files' GPS positions in one process; median of %d\n",
        corpus.size(), dFill, nRequests, Exiv2Version(), kRepeats);
    std::printf("  %-44s %9.1f ms %7.3f\n", "locanym-host caption (start to exit)", dShow * 1e3,
                dShow / dPeer);
    std::printf("  %-44s %9.1f ms %7.3f\n", "the same, libcurl linked at start (LD_PRELOAD)",
                dPreloaded * 1e3, dPreloaded / dPeer);
    std::printf("  %-44s %9.1f ms\n", "libexiv2, the reading loop alone", dPeer * 1e3);
    std::printf("  captions from the cache: %zu of %zu; requests during the shows: %zu\n", nCached,
                corpus.size(), nShowRequests);
    std::printf("  ratio show / libexiv2: %.3f (target at most %.2f): %s\n", dShow / dPeer,
                kTargetRatio, dShow / dPeer <= kTargetRatio ? "met" : "NOT MET");
    return nCached == corpus.size() && nShowRequests == 0 ? 0 : 1;
}
