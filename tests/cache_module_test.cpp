// The location cache's moments through the real module: saved on the host's save events, and a
// caption that comes back from the file in the next session (the start's load and the stop's
// save of a whole show are in cache_sessions_test).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

class CacheModuleTest : public ::testing::Test {
  protected:
    fs::path CacheFile() { return m_host.m_dataFolder / "LocanymPlg_SS.lst"; }
    CTestHost m_host;
};

// A missing file is no reason not to start; the host's save events then write one.
TEST_F(CacheModuleTest, HostEventsSaveOnlyWithTheirCodesWhileStarted) {
    m_host.Start();
    EXPECT_TRUE(m_host.HasLog(L"LoadCache: Unable to open file " + CacheFile().wstring()));
    EXPECT_TRUE(m_host.HasLog(L"Started"));
    struct Case {
        uintptr_t nMessage, wParam;
        bool bSaves;
    } cases[] = {{25, 1, true}, {25, 2, true}, {46, 4, true}, {25, 3, false}, {46, 1, false}};
    for (const Case& c : cases) {
        fs::remove(CacheFile());
        m_host.Send(c.nMessage, c.wParam);
        EXPECT_EQ(fs::exists(CacheFile()), c.bSaves) << c.nMessage << " " << c.wParam;
    }
    m_host.Send(kMsgStop, 0, 0);  // stopped: the events save nothing
    fs::remove(CacheFile());
    m_host.Send(25, 1);
    m_host.Send(46, 4);
    EXPECT_FALSE(fs::exists(CacheFile()));
}

// A caption with a line feed, a backslash, quotes at both ends and non-ASCII letters, made by a
// real lookup, is answered from the file in the next session exactly as it was composed.
TEST(CacheModuleSessions, AnAwkwardCaptionComesBackFromTheFileUnchanged) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    struct SServiceUrl {
        explicit SServiceUrl(const std::string& url) {
            setenv("LOCANYM_SERVICE_URL", url.c_str(), 1);
        }
        ~SServiceUrl() { unsetenv("LOCANYM_SERVICE_URL"); }
    } serviceUrl(server.BaseUrl());
    server.SetAnswer("/findNearbyPlaceNameJSON",
                     ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    CTempDir dir;
    const fs::path photo = dir.Path() / "pantheon.jpg";
    ASSERT_TRUE(WriteGpsJpeg(photo, 48.8448, 2.3471));

    CTestHost first;
    first.m_settings[L"iProv"].nValue = 2;
    first.m_settings[L"GeoType"].nValue = 0;
    first.m_settings[L"Format"].bText = true;
    first.m_settings[L"Format"].strValue = L"\"%L\"\n\\ %C\r";
    first.Start();
    std::wstring strCaption;
    ASSERT_TRUE(first.Caption(photo.wstring(), strCaption));
    EXPECT_EQ(strCaption, L"\"Paris 05 Panth\u00e9on\"\n\\ Paris\r");
    first.Send(kMsgStop, 0, 1);

    CTestHost next;
    next.m_dataFolder = first.m_dataFolder;
    next.m_settings = first.m_settings;
    next.Start();
    EXPECT_TRUE(next.HasLog(L"LoadCache: n. files 1"));
    std::wstring strAgain;
    ASSERT_TRUE(next.Caption(photo.wstring(), strAgain));
    EXPECT_EQ(strAgain, strCaption);
    EXPECT_TRUE(next.HasLog(L"Cached"));
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
