// The offline place finder through the real module (message 19): captions with iProv 6 from the
// data file beside the module, a damaged or missing data file, and the fallback of a web
// service that cannot be reached (setting "Offline").
#include <gtest/gtest.h>
#include <stdlib.h>

#include "base/text.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

namespace fs = std::filesystem;

const std::wstring kFormat = L"%L / %C / %S / %Y / %D / %F";

STestSetting Int(int32_t n) {
    return {false, n, {}};
}

STestSetting Text(const std::wstring& str) {
    return {true, 0, str};
}

class OfflineEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(LOCANYM_MODULE_PATH).parent_path() / "Locanym-places.dat"))
            GTEST_SKIP() << "the build made no place data file (run scripts/fetch-places.sh)";
    }

    fs::path Photo(const char* pszName, double dLat, double dLon) {
        fs::path photo = m_dir.Path() / pszName;
        EXPECT_TRUE(WriteGpsJpeg(photo, dLat, dLon));
        return photo;
    }

    static std::wstring Caption(CTestHost& host, const fs::path& photo) {
        std::wstring strCaption;
        EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
        return strCaption;
    }

    CTempDir m_dir;
};

TEST_F(OfflineEndToEnd, CaptionsComeFromThePlaceDataInTheChosenLanguage) {
    struct {
        const char* pszPhoto;
        double dLat, dLon;
        const wchar_t* pszLang;
        const wchar_t* pszCaption;
    } cases[] = {
        {"eiffel.jpg", 48.8584, 2.2945, L"",
         L"Paris / Paris / \u00cele-de-France / France / FR / Paris, \u00cele-de-France, France"},
        {"colosseum.jpg", 41.89021, 12.492231, L"fr",
         L"Rome / Rome / Lazio / Italie / IT / Rome, Lazio, Italie"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszPhoto);
        CTestHost host;
        host.m_settings[L"iProv"] = Int(6);
        host.m_settings[L"Format"] = Text(kFormat);
        host.m_settings[L"Lang"] = Text(c.pszLang);
        host.Start();
        const fs::path photo = Photo(c.pszPhoto, c.dLat, c.dLon);
        EXPECT_EQ(c.pszCaption, Caption(host, photo));
        // Cached as any service's caption.
        EXPECT_EQ(c.pszCaption, Caption(host, photo));
        EXPECT_TRUE(host.HasLog(L"Cached"));
    }
}

TEST_F(OfflineEndToEnd, NoPlaceNearAndAnUnusableDataFileGiveAnErrorTextAndNoCaption) {
    // A damaged data file is the reader's tests' matter; here the module must survive a
    // missing one.
    struct {
        const char* pszCase;
        double dLat, dLon;
        bool bRemoveData;
        const wchar_t* pszText;
    } cases[] = {
        {"open sea", 0.0, -30.0, false, L"Locnm: No place known within 50 km of "},
        {"missing file", 48.8584, 2.2945, true, L"Locnm: Offline place data unusable: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        CTestHost host;
        host.m_settings[L"iProv"] = Int(6);
        if (c.bRemoveData) fs::remove(host.m_moduleCopy.parent_path() / "Locanym-places.dat");
        host.Start();
        const fs::path photo = Photo("photo.jpg", c.dLat, c.dLon);
        for (int nTry = 0; nTry < 2; ++nTry) {
            const std::wstring strCaption = Caption(host, photo);
            EXPECT_EQ(0u, strCaption.rfind(c.pszText, 0)) << WideToUtf8(strCaption);
        }
        EXPECT_FALSE(host.HasLog(L"Cached"));
    }
}

TEST_F(OfflineEndToEnd, FallbackCaptionsOnlyAServiceThatCannotBeReachedAndCachesNothing) {
    // A port nobody listens on: the connection is refused.
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    const int nPort = server.Port();
    const std::string strUrl = server.BaseUrl();
    server.Stop();
    setenv("LOCANYM_SERVICE_URL", strUrl.c_str(), 1);
    const fs::path photo = Photo("eiffel.jpg", 48.8584, 2.2945);
    const std::wstring kOffline =
        L"Paris / Paris / \u00cele-de-France / France / FR / Paris, \u00cele-de-France, France";

    struct {
        int32_t bOffline;
        bool bRefused;
        const wchar_t* pszCaptionStart;
    } cases[] = {
        {1, true, kOffline.c_str()},
        {0, true, L"Locnm: Error "},
        {1, false, L"Locnm: HTTP Error 401\r\nuser does not exist."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bOffline << c.bRefused);
        CLoopbackServer refusing;
        if (!c.bRefused) {
            ASSERT_TRUE(refusing.Start(nPort));
            refusing.SetAnswer("/findNearbyPlaceNameJSON",
                               ServiceFixture("geonames", "error_user_does_not_exist"));
        }
        CTestHost host;
        host.m_settings[L"iProv"] = Int(2);
        host.m_settings[L"GeoType"] = Int(0);
        host.m_settings[L"Offline"] = Int(c.bOffline);
        host.m_settings[L"Format"] = Text(kFormat);
        host.Start();
        const std::wstring strCaption = Caption(host, photo);
        EXPECT_EQ(0u, strCaption.rfind(c.pszCaptionStart, 0)) << WideToUtf8(strCaption);

        // The next show asks the web service again, which now answers.
        CLoopbackServer answering;
        refusing.Stop();
        ASSERT_TRUE(answering.Start(nPort));
        answering.SetAnswer(
            "/findNearbyPlaceNameJSON",
            ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
        EXPECT_EQ(0u, Caption(host, photo).rfind(L"Paris 05 Panth\u00e9on / Paris / ", 0));
        EXPECT_EQ(1u, answering.Requests().size());
    }
    unsetenv("LOCANYM_SERVICE_URL");
}

}  // namespace
