// GeoNames through a real loopback server: the request it sends, and how it reads real-shaped
// and malformed answers.
#include "services/geonames.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"
#include "tests/support/loopback_server.h"

namespace {

// The cases below name only the texts a lookup fills; the rest stay empty.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
struct SRecord {
    int nResult = -1;
    std::wstring strLocation, strCity, strState, strCountry, strCode, strFull;
};

const SRecord kFailed{0, {}, {}, {}, {}, {}, {}};

// The full address is never GeoNames' to fill.
void ExpectRecord(const SRecord& expected, const SRecord& actual) {
    EXPECT_EQ(expected.nResult, actual.nResult);
    EXPECT_EQ(expected.strLocation, actual.strLocation);
    EXPECT_EQ(expected.strCity, actual.strCity);
    EXPECT_EQ(expected.strState, actual.strState);
    EXPECT_EQ(expected.strCountry, actual.strCountry);
    EXPECT_EQ(expected.strCode, actual.strCode);
    EXPECT_EQ(L"", actual.strFull);
}

class GeoNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        SHttpConfig config;
        config.strServiceUrl = Utf8ToWide(m_server.BaseUrl());
        SetHttpConfig(config);
    }
    void TearDown() override { SetHttpConfig(SHttpConfig{}); }

    SRecord Find(const std::wstring& strLat = L"48.8448000",
                 const std::wstring& strLon = L"2.3471000") {
        CLocationRecord rec;
        const int nResult = m_service.FindLocation(strLat, strLon, rec);
        return {nResult,          rec.m_strLocation,    rec.m_strCity,       rec.m_strState,
                rec.m_strCountry, rec.m_strCountryCode, rec.m_strFullAddress};
    }
    // Serves the body for both search paths.
    void Serve(const SLoopbackAnswer& answer) {
        m_server.SetAnswer("/findNearbyPlaceNameJSON", answer);
        m_server.SetAnswer("/findNearbyJSON", answer);
    }

    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CGeoNames m_service{m_settings, m_stop};
    CLoopbackServer m_server;
};

TEST_F(GeoNamesTest, RequestFollowsSearchTypeAndLanguage) {
    Serve(ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    struct SCase {
        int nGeoType;
        const wchar_t* pszLang;
        const char* pszPath;
        const char* pszQuery;
    } cases[] = {
        {0, L"", "/findNearbyPlaceNameJSON",
         "lat=-33.8688000&lng=151.2093000&style=full&maxRows=3&username=samplepics"},
        {1, L"DE", "/findNearbyJSON",
         "lat=-33.8688000&lng=151.2093000&lang=DE&style=full&radius=10&maxRows=10&"
         "username=samplepics"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszQuery);
        m_server.ClearRequests();
        m_settings.m_nGeoType = c.nGeoType;
        m_settings.m_strLang = c.pszLang;
        EXPECT_EQ(1, Find(L"-33.8688000", L"151.2093000").nResult);
        const auto requests = m_server.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.pszPath, requests[0].strPath);
        EXPECT_EQ(c.pszQuery, requests[0].strQuery);
    }
    m_service.m_strApiKey = L"J\u00fcrgen M";
    Find();
    EXPECT_EQ("J%C3%BCrgen%20M", m_server.Requests().back().QueryValue("username"));
}

TEST_F(GeoNamesTest, RealShapedAnswersFillTheRecord) {
    struct SCase {
        const char* pszFixture;
        SRecord expected;
    } cases[] = {
        {"result_nonlatin_ru_lang",
         {1, L"\u041c\u043e\u0441\u043a\u0432\u0430", L"", L"\u041c\u043e\u0441\u043a\u0432\u0430",
          L"\u0420\u043e\u0441\u0441\u0438\u044f", L"RU", L""}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszFixture);
        Serve(ServiceFixture("geonames", c.pszFixture));
        ExpectRecord(c.expected, Find());
        EXPECT_EQ(L"", m_service.m_strError);
    }
}

TEST_F(GeoNamesTest, ErrorAnswersGiveZeroWithTheServersText) {
    struct SCase {
        const char* pszName;
        SLoopbackAnswer answer;
        std::wstring strError;
    } cases[] = {
        {"error with status 200", ServiceFixture("geonames", "error_hourly_limit"),
         L"the hourly limit of 1000 credits for gclh has been exceeded. Please throttle your "
         L"requests or use the commercial service."},
        {"status without message", JsonAnswer(R"({"status":{"value":10}})", 401),
         L"Locnm: HTTP Error 401\r\n"},
        {"message of another type", JsonAnswer(R"({"status":{"message":12}})"), L""},
        {"status of another type", JsonAnswer(R"({"status":"busy"})"), L""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        Serve(c.answer);
        const SRecord r = Find();
        EXPECT_EQ(0, r.nResult);
        EXPECT_EQ(L"", r.strLocation);
        EXPECT_EQ(c.strError, m_service.m_strError);
    }
}

// Nothing a server sends makes the lookup throw or read past what it got: an answer that is no
// usable list gives 0, members of other types read as empty.
TEST_F(GeoNamesTest, MalformedAnswersAndMembersOfUnexpectedTypes) {
    struct SCase {
        const char* pszName;
        std::string strBody;
        SRecord expected;
    } cases[] = {
        {"not JSON", "<html>Service Unavailable</html>", kFailed},
        {"nested past the reader's limit", std::string(100000, '[') + std::string(100000, ']'),
         kFailed},
        {"root is an array", "[]", kFailed},
        {"geonames null", R"({"geonames":null})", kFailed},
        {"geonames empty", R"({"geonames":[]})", kFailed},
        {"places of other types", R"({"geonames":[1,"a",null,[],true]})", SRecord{1}},
        {"members of other types",
         R"({"geonames":[{"name":5,"countryName":{"a":1},"countryCode":true,
             "adminName1":[],"adminName3":null}]})",
         SRecord{1}},
        {"zero character ends a text", R"({"geonames":[{"name":"A\u0000B"}]})", SRecord{1, L"A"}},
        {"malformed UTF-8",
         "{\"geonames\":[{\"name\":\"a\xff"
         "b\"}]}",
         SRecord{1, L"a\ufffdb"}},
        {"no place has a name", R"({"geonames":[{"countryName":"Italia","adminName3":"Como"}]})",
         SRecord{1, L"", L"Como", L"", L"Italia"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        Serve(JsonAnswer(c.strBody));
        ExpectRecord(c.expected, Find());
        EXPECT_EQ(L"", m_service.m_strError);
    }
}

TEST_F(GeoNamesTest, EachTextComesFromTheFirstPlaceThatHasIt) {
    Serve(JsonAnswer(R"({"geonames":[
        {"name":"Bellagio","countryName":"Italia","countryCode":" IT ","adminName1":"Lombardia"},
        {"name":"Other","countryName":"Other","countryCode":"XX","adminName1":"Other",
         "adminName3":"Como"},
        {"name":"Third","adminName3":"Never"}]})"));
    const SRecord r = Find();
    EXPECT_EQ(1, r.nResult);
    EXPECT_EQ(L"Bellagio", r.strLocation);
    EXPECT_EQ(L"Como", r.strCity);
    EXPECT_EQ(L"Lombardia", r.strState);
    EXPECT_EQ(L"Italia", r.strCountry);
    EXPECT_EQ(L"IT", r.strCode);  // trimmed
}

TEST_F(GeoNamesTest, CountryListsPickTheAdministrativeLevels) {
    const std::string kFr =
        R"({"geonames":[{"name":"N","countryName":"France","countryCode":"FR",
        "adminName1":"A1","adminName2":"A2","adminName3":"A3","adminName4":"A4"}]})";
    const std::string kNoCode =
        R"({"geonames":[{"name":"N","adminName1":"A1","adminName2":"A2","adminName3":"A3"}]})";
    const std::string kFrNoLevel2 =
        R"({"geonames":[{"name":"N","countryCode":"FR","adminName1":"A1","adminName3":"A3"}]})";
    struct SCase {
        const char* pszName;
        const std::string& strBody;
        int bGeo1, bGeo2;
        const wchar_t *pszCC1, *pszCC2;
        const wchar_t *pszState, *pszCity;
    } cases[] = {
        {"both off", kFr, 0, 0, L"FR", L"FR", L"A1", L"A3"},
        {"both on, listed with blanks", kFr, 1, 1, L"it , fr", L" Fr", L"A2", L"A4"},
        {"on, other countries", kFr, 1, 1, L"DE", L"IT,,ES", L"A1", L"A3"},
        {"on, place without code", kNoCode, 1, 1, L"DE", L"DE", L"A2", L"A3"},
        {"on, the preferred level empty", kFrNoLevel2, 1, 1, L"FR", L"FR", L"A1", L"A3"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_settings.m_bGeo1 = c.bGeo1;
        m_settings.m_bGeo2 = c.bGeo2;
        m_settings.m_strGeoCC1 = c.pszCC1;
        m_settings.m_strGeoCC2 = c.pszCC2;
        Serve(JsonAnswer(c.strBody));
        const SRecord r = Find();
        EXPECT_EQ(1, r.nResult);
        EXPECT_EQ(c.pszState, r.strState);
        EXPECT_EQ(c.pszCity, r.strCity);
    }
}

TEST_F(GeoNamesTest, TransportFailureKeepsTheTransportsText) {
    m_server.Stop();
    const SRecord r = Find();
    EXPECT_EQ(0, r.nResult);
    EXPECT_EQ(0u, m_service.m_strError.rfind(L"Locnm: Error 7, ", 0));
}

}  // namespace
