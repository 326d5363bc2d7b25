// The location cache through the real module: two hosts on one data folder, and a show answered
// wholly from the file the last one saved on the host's save events.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

constexpr char kCacheName[] = "LocanymPlg_SS.lst";

// A GeoNames-shaped service on 127.0.0.1 answering every photo with Paris.
struct SParisService {
    SParisService() {
        bStarted = server.Start();
        server.SetAnswer("/findNearbyPlaceNameJSON",
                         ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
        setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    }
    ~SParisService() { unsetenv("LOCANYM_SERVICE_URL"); }
    CLoopbackServer server;
    bool bStarted = false;
};

// Captions every photo through the host; false when one fails or differs from strExpected.
bool CaptionAll(CTestHost& host, const std::vector<fs::path>& photos,
                const std::wstring& strExpected) {
    std::wstring strCaption;
    for (const fs::path& photo : photos)
        if (!host.Caption(photo.wstring(), strCaption) || strCaption != strExpected) return false;
    return true;
}

// The paths of the entry lines; false when the file is not whole: no header, a count that
// differs from its lines, or a line that is not an entry.
bool ReadCacheFile(const fs::path& file, std::set<std::string>& paths) {
    std::istringstream in(ReadFileBytes(file));
    std::string line;
    long long nCount = -1, nLines = 0;
    for (int i = 0; std::getline(in, line); ++i) {
        if (i == 2) nCount = std::atoll(line.c_str());
        if (i < 3) continue;
        if (line.size() < 2 || line.compare(line.size() - 2, 2, "|\r") != 0) return false;
        paths.insert(line.substr(0, line.find('|')));
        ++nLines;
    }
    return nCount == nLines;
}

// One host: rounds of start, a lookup for two photos of its own, stop. 0 when every file
// it left behind was whole.
int RunHost(const fs::path& dataFolder, const fs::path& photos, int nHost, int nRounds) {
    SParisService service;
    if (!service.bStarted) return 2;
    CTestHost host;
    host.m_dataFolder = dataFolder;
    host.m_settings[L"iProv"].nValue = 2;
    host.m_settings[L"GeoType"].nValue = 0;
    host.Start();
    for (int nRound = 0; nRound < nRounds; ++nRound) {
        if (nRound > 0) host.Send(kMsgStart, 0, 1);
        for (int i = 0; i < 2; ++i) {
            const fs::path photo =
                photos / ("h" + std::to_string(nHost) + "_" + std::to_string(nRound) + "_" +
                          std::to_string(i) + ".jpg");
            std::wstring strCaption;
            if (!WriteGpsJpeg(photo, 10 + nHost, nRound + i / 10.0) ||
                !host.Caption(photo.wstring(), strCaption))
                return 3;
        }
        host.Send(kMsgStop, 0, 1);
        std::set<std::string> paths;
        if (!ReadCacheFile(dataFolder / kCacheName, paths)) return 4;
    }
    return 0;
}

TEST(CacheSessions, TwoHostsOnOneDataFolderLoseNoEntryAndNeverTearTheFile) {
    CTempDir dir;
    constexpr int kRounds = 25;
    pid_t children[2];
    for (int nHost = 0; nHost < 2; ++nHost) {
        children[nHost] = fork();
        ASSERT_GE(children[nHost], 0);
        if (children[nHost] == 0) _exit(RunHost(dir.Path(), dir.Path(), nHost, kRounds));
    }
    for (pid_t child : children) {
        int nStatus = 0;
        ASSERT_EQ(waitpid(child, &nStatus, 0), child);
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    }
    std::set<std::string> paths;
    ASSERT_TRUE(ReadCacheFile(dir.Path() / kCacheName, paths));
    size_t nPhotos = 0;
    for (const auto& item : fs::directory_iterator(dir.Path())) {
        EXPECT_NE(item.path().extension(), ".tmp") << "a temporary file was left behind";
        if (item.path().extension() != ".jpg") continue;
        ++nPhotos;
        EXPECT_EQ(paths.count(item.path().string()), 1u) << item.path();
    }
    EXPECT_EQ(nPhotos, 2u * 2 * kRounds);
    EXPECT_EQ(paths.size(), nPhotos);
}

// A burst of photos at one position asks the service once and caches every photo; a missing
// file is no reason not to start. The next session answers them all from the file exactly as
// they were composed (a caption with a line feed, a backslash, quotes at both ends and non-ASCII
// letters) and, having changed nothing, leaves the file untouched, as do save events after a
// stop.
TEST(CacheSessions, ABurstAsksOnceAndTheNextShowIsAnsweredFromTheUntouchedFile) {
    SParisService service;
    ASSERT_TRUE(service.bStarted);
    CTempDir photos;
    std::vector<fs::path> paths;
    for (int i = 0; i < 300; ++i) {
        paths.push_back(photos.Path() / ("burst_" + std::to_string(i) + ".jpg"));
        ASSERT_TRUE(WriteGpsJpeg(paths.back(), 48.8448, 2.3471));
    }
    paths.push_back(photos.Path() / "elsewhere.jpg");
    ASSERT_TRUE(WriteGpsJpeg(paths.back(), 40.5, 9.5));
    CTestHost first;
    first.m_settings[L"iProv"].nValue = 2;
    first.m_settings[L"GeoType"].nValue = 0;
    first.m_settings[L"Format"] = {true, 0, L"\"%L\"\n\\ %C\r"};
    first.Start();
    const std::wstring strExpected = L"\"Paris 05 Panth\u00e9on\"\n\\ Paris\r";
    EXPECT_TRUE(CaptionAll(first, paths, strExpected));
    EXPECT_EQ(service.server.Requests().size(), 2u);
    // The host's save events write the file, but only with their codes and only while started.
    const fs::path file = first.m_dataFolder / kCacheName;
    const struct {
        uintptr_t nMessage, wParam;
        bool bSaves;
    } events[] = {{25, 1, true}, {25, 2, true}, {46, 4, true}, {25, 3, false}, {46, 1, false}};
    for (const auto& e : events) {
        fs::remove(file);
        first.Send(e.nMessage, e.wParam);
        EXPECT_EQ(fs::exists(file), e.bSaves) << e.nMessage << " " << e.wParam;
    }
    first.Send(kMsgStop, 0, 1);
    std::set<std::string> cached;
    ASSERT_TRUE(ReadCacheFile(file, cached));
    EXPECT_EQ(cached.size(), paths.size());
    const std::string bytes = ReadFileBytes(file);
    const auto past = fs::last_write_time(file) - std::chrono::hours(1);
    fs::last_write_time(file, past);
    first.Send(25, 1);
    first.Send(46, 4);

    CTestHost next;
    next.m_dataFolder = first.m_dataFolder;
    next.m_settings = first.m_settings;
    next.Start();
    EXPECT_TRUE(CaptionAll(next, paths, strExpected));
    next.Send(kMsgHostEvent, 1);
    next.Send(kMsgHostEvent2, 4);
    next.Send(kMsgStop, 0, 1);
    EXPECT_EQ(service.server.Requests().size(), 2u);
    EXPECT_EQ(fs::last_write_time(file), past);
    EXPECT_EQ(ReadFileBytes(file), bytes);
}

}  // namespace
