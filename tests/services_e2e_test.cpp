// A photo with a GPS position through the real module (message 19): GeoNames on a loopback
// server, the caption from the user's template, the cache, error texts and the stop message.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

const std::string kPlaceNamePath = "/findNearbyPlaceNameJSON";

STestSetting Int(int32_t n) {
    STestSetting s;
    s.nValue = n;
    return s;
}

STestSetting Text(const std::wstring& str) {
    STestSetting s;
    s.bText = true;
    s.strValue = str;
    return s;
}

class ServicesEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        setenv("LOCANYM_SERVICE_URL", m_server.BaseUrl().c_str(), 1);
        m_photo = m_dir.Path() / "pantheon.jpg";
        ASSERT_TRUE(WriteGpsJpeg(m_photo, 48.8448, 2.3471));
        m_host.m_settings[L"iProv"] = Int(2);
        m_host.m_settings[L"GeoType"] = Int(0);
        m_host.m_settings[L"Format"] = Text(L"%L / %C / %S / %Y / %D / %F");
    }
    void TearDown() override { unsetenv("LOCANYM_SERVICE_URL"); }

    std::wstring Caption() {
        std::wstring strCaption;
        EXPECT_TRUE(m_host.Caption(m_photo.wstring(), strCaption));
        return strCaption;
    }

    CLoopbackServer m_server;
    CTempDir m_dir;
    std::filesystem::path m_photo;
    CTestHost m_host;
};

TEST_F(ServicesEndToEnd, PhotoGetsTheCaptionComposedFromGeoNamesAndIsCached) {
    m_server.SetAnswer(kPlaceNamePath,
                       ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    m_host.m_settings[L"AK-GeoNames"] = Text(L"demo user");
    m_host.Start();

    const std::wstring kCaption =
        L"Paris 05 Panth\u00e9on / Paris / \u00cele-de-France / France / FR / "
        L"Paris 05 Panth\u00e9on, Paris, \u00cele-de-France, France";
    EXPECT_EQ(kCaption, Caption());
    auto requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(kPlaceNamePath, requests[0].strPath);
    EXPECT_EQ("lat=48.8448000&lng=2.3471000&style=full&maxRows=3&username=demo%20user",
              requests[0].strQuery);
    EXPECT_TRUE(m_host.HasLog(L"gps location: 48.8448000,2.3471000"));

    // The same photo again: from the cache, without a request.
    EXPECT_EQ(kCaption, Caption());
    EXPECT_EQ(1u, m_server.Requests().size());
    EXPECT_TRUE(m_host.HasLog(L"Cached"));
}

TEST_F(ServicesEndToEnd, FailureAnswersTheErrorTextAndCachesNothing) {
    m_server.SetAnswer(kPlaceNamePath, ServiceFixture("geonames", "error_user_does_not_exist"));
    m_host.Start();
    EXPECT_EQ(L"Locnm: HTTP Error 401\r\nuser does not exist.", Caption());
    EXPECT_EQ(L"Locnm: HTTP Error 401\r\nuser does not exist.", Caption());
    EXPECT_EQ(2u, m_server.Requests().size());

    m_host.m_settings[L"ErrMsg"] = Int(0);
    m_host.m_settings[L"Enabled"] = Int(1);
    m_host.Send(kMsgLoadSettings);
    EXPECT_EQ(L"", Caption());
}

TEST_F(ServicesEndToEnd, StopMessageEndsAWaitingRequestAtOnce) {
    SLoopbackAnswer stall;
    stall.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
    m_server.SetAnswer(kPlaceNamePath, stall);
    m_host.Start();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_host.Send(kMsgStop, 0, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    const std::wstring strCaption = Caption();
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(L"", strCaption);
}

}  // namespace
