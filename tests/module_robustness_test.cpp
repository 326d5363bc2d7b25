// Message 19 under hosts that misbehave and networks that are gone: a host that re-enters from
// its log callback, an exception while the caption is made, a stop from another thread, and a
// show without network.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <new>
#include <thread>

#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

const std::string kPlaceNamePath = "/findNearbyPlaceNameJSON";

class ModuleRobustness : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        m_server.SetAnswer(
            kPlaceNamePath,
            ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
        setenv("LOCANYM_SERVICE_URL", m_server.BaseUrl().c_str(), 1);
        m_host.m_settings[L"iProv"].nValue = 2;
        m_host.m_settings[L"GeoType"].nValue = 0;
    }
    void TearDown() override { unsetenv("LOCANYM_SERVICE_URL"); }

    std::filesystem::path Photo(int i) {
        const auto path = m_dir.Path() / ("photo" + std::to_string(i) + ".jpg");
        if (!std::filesystem::exists(path)) WriteGpsJpeg(path, 10.0 + i * 0.01, 20.0);
        return path;
    }

    CLoopbackServer m_server;
    CTempDir m_dir;
    CTestHost m_host;
};

TEST_F(ModuleRobustness, HostMaySendMessagesFromItsLogCallback) {
    m_host.Start();
    std::wstring strCaption;
    ASSERT_TRUE(m_host.Caption(Photo(1).wstring(), strCaption));  // cached from now on
    ASSERT_EQ(0u, strCaption.find(L"Paris"));

    struct SCase {
        uintptr_t nMessage, wParam, lParam;
    } cases[] = {{kMsgHostEvent, 1, 0}, {kMsgHostEvent2, 4, 0}, {kMsgStop, 0, 1}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nMessage);
        m_host.Send(kMsgStart, 0, 1);
        // Every line re-enters, also those written while the photo's file or the cache is used.
        bool bInside = false;
        int nReentries = 0;
        m_host.m_onLog = [&](const std::wstring&) {
            if (bInside) return;
            bInside = true;
            ++nReentries;
            m_host.Send(c.nMessage, c.wParam, c.lParam);
            m_host.Send(kMsgStart, 0, 0);
            bInside = false;
        };
        // A deadlock would never come back: the test process ends instead of hanging.
        auto done = std::async(std::launch::async, [&] {
            std::wstring strText;
            m_host.Caption(Photo(1).wstring(), strText);  // from the cache, under the lock
            m_host.Caption(Photo(2).wstring(), strText);  // a lookup
        });
        if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "message 19 deadlocked";
            std::_Exit(1);
        }
        m_host.m_onLog = nullptr;
        EXPECT_GE(nReentries, 3);
    }
}

TEST_F(ModuleRobustness, AnExceptionWhileTheCaptionIsMadeIsAFailedLookup) {
    m_host.Start();
    // Out of memory while the lookup runs; a host reads an answer of 0 as "no GPS position".
    m_host.m_onLog = [](const std::wstring& strText) {
        if (strText.rfind(L"gps location", 0) == 0) throw std::bad_alloc();
    };
    std::wstring strCaption;
    EXPECT_TRUE(m_host.Caption(Photo(1).wstring(), strCaption));
    EXPECT_EQ(L"Locnm: Out of memory", strCaption);
    m_host.m_onLog = nullptr;
    // Nothing was cached: the next try asks the service.
    EXPECT_TRUE(m_host.Caption(Photo(1).wstring(), strCaption));
    EXPECT_EQ(0u, strCaption.find(L"Paris"));
}

TEST_F(ModuleRobustness, StopFromAnotherThreadWhilePhotosAreCaptioned) {
    m_host.Start();
    std::thread photos([&] {
        std::wstring strCaption;
        for (int i = 0; i < 20; ++i) m_host.Caption(Photo(i).wstring(), strCaption);
    });
    for (int i = 0; i < 10; ++i) {
        m_host.Send(kMsgStop, 0, i % 2);
        m_host.Send(kMsgStart, 0, i % 2);
    }
    photos.join();
}

TEST_F(ModuleRobustness, WithoutNetworkThePhotosAreAnsweredAtOnceForAMinute) {
    const int nPort = m_server.Port();
    m_server.Stop();  // connections to its port are refused now
    m_host.Start();
    std::wstring strFirstError, strCaption;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_host.Caption(Photo(i).wstring(), strCaption));
        EXPECT_EQ(0u, strCaption.rfind(L"Locnm: Error 7, ", 0));
        strFirstError = strCaption;
    }
    // The server is back, but the pause lasts: no request, the same text, nothing cached.
    CLoopbackServer back;
    ASSERT_TRUE(back.Start(nPort));
    back.SetAnswer(kPlaceNamePath,
                   ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(m_host.Caption(Photo(i).wstring(), strCaption));
        EXPECT_EQ(strFirstError, strCaption);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(back.Requests().empty());

    // The pause is the web services': the offline finder, chosen now, answers at once (these
    // photos lie in the Sahel, far from any town: its own answer says so).
    if (!std::filesystem::exists(m_host.m_moduleCopy.parent_path() / "Locanym-places.dat"))
        GTEST_SKIP() << "no place data beside the module";
    m_host.m_settings[L"iProv"].nValue = 6;
    m_host.m_settings[L"Enabled"].nValue = 1;
    m_host.Send(kMsgLoadSettings);
    ASSERT_TRUE(m_host.Caption(Photo(0).wstring(), strCaption));
    EXPECT_EQ(0u, strCaption.rfind(L"Locnm: No place known within 50 km", 0)) << strCaption;
}

}  // namespace
