// LocationIQ, Geoapify, BigDataCloud, MapsCo and OpenWeather through a real loopback server:
// the request each sends, and how each reads real-shaped, error and odd answers.
#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"
#include "services/service_catalogue.h"
#include "tests/support/loopback_server.h"

namespace {

const char* const kPaths[kServiceCount] = {
    "/v1/reverse", "/v1/geocode/reverse", "", "/data/reverse-geocode",
    "/reverse",    "/geo/1.0/reverse"};
const char* const kFolders[kServiceCount] = {"locationiq",   "geoapify", "",
                                             "bigdatacloud", "mapsco",   "openweather"};

// Location, city, state, country, country code, full address.
using CParts = std::array<std::wstring, 6>;

class FiveServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        SHttpConfig config;
        config.strServiceUrl = Utf8ToWide(m_server.BaseUrl());
        SetHttpConfig(config);
    }
    void TearDown() override { SetHttpConfig(SHttpConfig{}); }

    int Find(int nService, const SLoopbackAnswer& answer, CParts& parts) {
        m_server.SetAnswer(kPaths[nService], answer);
        CLocationRecord r;
        const int nResult = m_services[nService]->FindLocation(L"-33.8688000", L"151.2093000", r);
        parts = {r.m_strLocation, r.m_strCity,        r.m_strState,
                 r.m_strCountry,  r.m_strCountryCode, r.m_strFullAddress};
        return nResult;
    }

    CPlugInSettings m_settings;
    std::atomic<int32_t> m_stop{0};
    CServiceTable m_services = CreateServices(m_settings, m_stop);
    CLoopbackServer m_server;
};

TEST_F(FiveServicesTest, RequestPathAndParametersInOrderKeyLast) {
    const std::string kAt = "lat=-33.8688000&lon=151.2093000";
    struct SCase {
        int nService;
        const wchar_t* pszLang;
        std::string strQuery;
    } cases[] = {
        {kLocationIQ, L"",
         kAt + "&format=json&normalizeaddress=1&key=pk.5e0c7a19b2d84f36a1c09e7d4b2f8a63"},
        {kLocationIQ, L"DE",
         kAt + "&format=json&normalizeaddress=1&accept-language=de&key=my%20key"},
        {kGeoApify, L"", kAt + "&format=json&limit=5&apiKey=9f8e7d6c5b4a39281706f5e4d3c2b1a0"},
        {kGeoApify, L"PT-br", kAt + "&format=json&limit=5&lang=pt-br&apiKey=my%20key"},
        {kBigDataCloud, L"",
         "latitude=-33.8688000&longitude=151.2093000&key=bdc_7c1e9a40d3b25f68e0a4c7d19b3f2e56"},
        {kBigDataCloud, L"JA",
         "latitude=-33.8688000&longitude=151.2093000&localityLanguage=ja&key=my%20key"},
        {kMapsCo, L"FR", kAt + "&format=json&api_key=my%20key"},
        {kOpenWeather, L"FR", kAt + "&limit=1&appid=my%20key"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.strQuery);
        m_server.ClearRequests();
        m_settings.m_strLang = c.pszLang;
        m_services[c.nService]->m_strApiKey = *c.pszLang ? L"my key" : L"";
        CParts parts;
        Find(c.nService, JsonAnswer("{}"), parts);
        const auto requests = m_server.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(kPaths[c.nService], requests[0].strPath);
        EXPECT_EQ(c.strQuery, requests[0].strQuery);
    }
}

SLoopbackAnswer Fixture(int nService, const char* pszName) {
    return ServiceFixture(kFolders[nService], pszName);
}

TEST_F(FiveServicesTest, AnswersFillTheRecordOrGiveTheServersText) {
    const std::wstring kMoscow = L"\u041c\u043e\u0441\u043a\u0432\u0430";
    const std::wstring kRussia = L"\u0420\u043e\u0441\u0441\u0438\u044f";
    const std::wstring kAngarsk = L"\u0410\u043d\u0433\u0430\u0440\u0441\u043a";
    const std::wstring kIrkutsk =
        L"\u0418\u0440\u043a\u0443\u0442\u0441\u043a\u0430\u044f \u043e\u0431\u043b\u0430\u0441"
        L"\u0442\u044c";
    const std::wstring kLenina =
        L"\u0443\u043b\u0438\u0446\u0430 \u041b\u0435\u043d\u0438\u043d\u0430";
    const std::wstring kQuarter = L"63-\u0439 \u043a\u0432\u0430\u0440\u0442\u0430\u043b";
    const std::wstring kAngarskFull =
        kLenina + L", " + kQuarter + L", " + kAngarsk +
        L", \u0410\u043d\u0433\u0430\u0440\u0441\u043a\u0438\u0439 \u0433\u043e\u0440\u043e\u0434"
        L"\u0441\u043a\u043e\u0439 \u043e\u043a\u0440\u0443\u0433, " +
        kIrkutsk +
        L", \u0421\u0438\u0431\u0438\u0440\u0441\u043a\u0438\u0439 \u0444\u0435\u0434\u0435\u0440"
        L"\u0430\u043b\u044c\u043d\u044b\u0439 \u043e\u043a\u0440\u0443\u0433, 665830, " +
        kRussia;
    const std::wstring kTokyo = L"\u6771\u4eac\u90fd";
    struct SCase {
        const char* pszName;
        int nService;
        SLoopbackAnswer answer;
        int nResult;
        CParts parts;
        std::wstring strError;
    } cases[] = {
        // LocationIQ
        {"us",
         kLocationIQ,
         Fixture(kLocationIQ, "result_city_us"),
         1,
         {L"Bedford Avenue", L"New York", L"New York", L"United States of America", L"us",
          L"279, Bedford Avenue, Williamsburg, New York, Kings County, New York, 11211, USA"}},
        {"ru",
         kLocationIQ,
         Fixture(kLocationIQ, "result_nonlatin_ru"),
         1,
         {kLenina, kAngarsk, kIrkutsk, kRussia, L"ru", kAngarskFull}},
        {"invalid key",
         kLocationIQ,
         Fixture(kLocationIQ, "error_invalid_key"),
         0,
         {},
         L"Locnm: HTTP Error 401\r\nInvalid key"},
        {"no match",
         kLocationIQ,
         Fixture(kLocationIQ, "error_unable_to_geocode"),
         0,
         {},
         L"Locnm: HTTP Error 404\r\nUnable to geocode"},
        {"numeric error", kLocationIQ, JsonAnswer(R"({"error":12.75})"), 0, {}, L"13"},
        {"no name, no road",
         kLocationIQ,
         JsonAnswer(R"({"address":{"city":"C","name":7}})"),
         1,
         {L"C", L"C"}},
        {"no address",
         kLocationIQ,
         JsonAnswer(R"({"display_name":"D","address":null})"),
         1,
         {L"", L"", L"", L"", L"", L"D"}},
        {"root an array", kLocationIQ, JsonAnswer(R"([{"display_name":"D"}])"), 0, {}, L""},
        // Geoapify
        {"berlin",
         kGeoApify,
         Fixture(kGeoApify, "result_city_berlin_json"),
         1,
         {L"RathausPassagen", L"Berlin", L"", L"Germany", L"de",
          L"RathausPassagen, Rathausstra\u00dfe 1-14, 10178 Berlin, Germany"}},
        {"ru",
         kGeoApify,
         Fixture(kGeoApify, "result_nonlatin_ru_json"),
         1,
         {L"\u041a\u0440\u0430\u0441\u043d\u0430\u044f \u043f\u043b\u043e\u0449\u0430\u0434\u044c",
          kMoscow, kMoscow, kRussia, L"ru",
          L"\u041a\u0440\u0430\u0441\u043d\u0430\u044f "
          L"\u043f\u043b\u043e\u0449\u0430\u0434\u044c, " +
              kMoscow + L", 109012, " + kRussia}},
        {"invalid key",
         kGeoApify,
         Fixture(kGeoApify, "error_invalid_key"),
         0,
         {},
         L"Locnm: HTTP Error 401\r\nUnauthorized\r\nInvalid apiKey"},
        {"message only",
         kGeoApify,
         JsonAnswer(R"({"statusCode":400,"message":"m"})"),
         0,
         {},
         L"\r\nm"},
        {"later result fills the city, no name",
         kGeoApify,
         JsonAnswer(R"({"results":[{"formatted":"F","country":"Y"},{"city":"C","country":"Z"}]})"),
         1,
         {L"C", L"C", L"", L"Y", L"", L"F"}},
        {"no results", kGeoApify, JsonAnswer(R"({"results":[]})"), 0, {}, L""},
        // BigDataCloud
        {"tokyo",
         kBigDataCloud,
         Fixture(kBigDataCloud, "result_city_tokyo_en"),
         1,
         {L"Nakano", L"Tokyo", L"Tokyo", L"Japan", L"JP", L""}},
        {"ja",
         kBigDataCloud,
         Fixture(kBigDataCloud, "result_nonlatin_tokyo_ja"),
         1,
         {L"\u4e2d\u91ce\u533a", kTokyo, kTokyo, L"\u65e5\u672c", L"JP", L""}},
        {"quota",
         kBigDataCloud,
         Fixture(kBigDataCloud, "error_access_denied_or_quota"),
         0,
         {},
         L"Locnm: HTTP Error 403\r\naccess denied or your quota limit has been exceeded"},
        {"message when description is empty",
         kBigDataCloud,
         JsonAnswer(R"({"status":1,"description":"","message":"m"})"),
         0,
         {},
         L"m"},
        {"root a number", kBigDataCloud, JsonAnswer("7"), 0, {}, L""},
        // MapsCo
        {"docs",
         kMapsCo,
         Fixture(kMapsCo, "result_city_docs_example"),
         1,
         {L"Manhattan", L"Manhattan", L"New York", L"United States", L"us",
          L"Manhattan, New York, United States"}},
        {"ru",
         kMapsCo,
         Fixture(kMapsCo, "result_nonlatin_ru_jsonv2_real"),
         1,
         {kQuarter, kAngarsk, kIrkutsk, kRussia, L"ru", kAngarskFull}},
        {"rate limit with empty body",
         kMapsCo,
         Fixture(kMapsCo, "error_rate_limit"),
         0,
         {},
         L"Locnm: HTTP Error 429"},
        {"error object",
         kMapsCo,
         JsonAnswer(R"({"error":{"message":"Invalid key"}})", 401),
         0,
         {},
         L"Locnm: HTTP Error 401\r\nInvalid key"},
        {"error text",
         kMapsCo,
         JsonAnswer(R"({"error":"Unable to geocode"})"),
         0,
         {},
         L"Unable to geocode"},
        {"error number", kMapsCo, JsonAnswer(R"({"error":5})"), 0, {}, L""},
        {"village before suburb, county as state",
         kMapsCo,
         JsonAnswer(R"({"address":{"suburb":"S","village":"V","county":"K"}})"),
         1,
         {L"V", L"V", L"K"}},
        {"amenity and town",
         kMapsCo,
         JsonAnswer(R"({"address":{"town":"T","residential":"R","amenity":"A"}})"),
         1,
         {L"A", L"T"}},
        {"residential area only",
         kMapsCo,
         JsonAnswer(R"({"address":{"residential":"R"}})"),
         1,
         {L"R", L"R"}},
        // OpenWeather
        {"london",
         kOpenWeather,
         Fixture(kOpenWeather, "result_city_london_limit1"),
         1,
         {L"London", L"London", L"", L"GB", L"GB", L"London, GB"}},
        {"us",
         kOpenWeather,
         Fixture(kOpenWeather, "result_us_with_state"),
         1,
         {L"London", L"London", L"OH", L"US", L"US", L"London, OH, US"}},
        {"non-Latin, only the first place",
         kOpenWeather,
         JsonAnswer(
             "[{\"name\":\"\xe6\x9d\xb1\xe4\xba\xac\",\"country\":\"JP\"},{\"name\":\"x\"}]"),
         1,
         {L"\u6771\u4eac", L"\u6771\u4eac", L"", L"JP", L"JP", L"\u6771\u4eac, JP"}},
        {"empty name",
         kOpenWeather,
         JsonAnswer(R"([{"name":"","state":"S","country":"Y"}])"),
         1,
         {L"", L"", L"S", L"Y", L"Y", L"S, Y"}},
        {"invalid key",
         kOpenWeather,
         Fixture(kOpenWeather, "error_invalid_key"),
         0,
         {},
         L"Locnm: HTTP Error 401\r\nInvalid API key. Please see "
         L"https://openweathermap.org/faq#error401 for more info."},
        {"wrong latitude",
         kOpenWeather,
         Fixture(kOpenWeather, "error_wrong_latitude"),
         0,
         {},
         L"Locnm: HTTP Error 400\r\nwrong latitude"},
        {"cod without message", kOpenWeather, JsonAnswer(R"({"cod":"404"})"), 0, {}, L""},
        {"place without name", kOpenWeather, JsonAnswer(R"([{"country":"Y"}])"), 0, {}, L""},
        {"empty array", kOpenWeather, JsonAnswer("[]"), 0, {}, L""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(kFolders[c.nService]) + ": " + c.pszName);
        CParts parts;
        EXPECT_EQ(c.nResult, Find(c.nService, c.answer, parts));
        EXPECT_EQ(c.parts, parts);
        EXPECT_EQ(c.strError, m_services[c.nService]->m_strError);
    }
}

}  // namespace
