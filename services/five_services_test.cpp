// LocationIQ, Geoapify, BigDataCloud, MapsCo and OpenWeather through a real loopback server:
// the request each sends, and how each reads real-shaped, error and odd answers. Each service's
// main recorded answer and error answer go through the module in services_each_e2e_test.
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
        {kGeoApify, L"PT-br", kAt + "&format=json&limit=5&lang=pt-br&apiKey=my%20key"},
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

struct SAnswerCase {
    int nService;
    const char* pszName;
    SLoopbackAnswer answer;
    int nResult;
    CParts parts;
    std::wstring strError;
};

SAnswerCase Found(int nService, const char* pszName, SLoopbackAnswer answer, CParts parts) {
    return {nService, pszName, std::move(answer), 1, std::move(parts), L""};
}

SAnswerCase Refused(int nService, const char* pszName, SLoopbackAnswer answer,
                    std::wstring strError) {
    return {nService, pszName, std::move(answer), 0, CParts{}, std::move(strError)};
}

TEST_F(FiveServicesTest, AnswersFillTheRecordOrGiveTheServersText) {
    const std::wstring kAngarskFull =
        L"улица Ленина, 63-й квартал, Ангарск, Ангарский городской округ, Иркутская область, "
        L"Сибирский федеральный округ, 665830, Россия";
    const SAnswerCase cases[] = {
        Refused(kLocationIQ, "no match", Fixture(kLocationIQ, "error_unable_to_geocode"),
                L"Locnm: HTTP Error 404\r\nUnable to geocode"),
        Refused(kLocationIQ, "numeric error", JsonAnswer(R"({"error":12.75})"), L"13"),
        Found(kLocationIQ, "no name, no road", JsonAnswer(R"({"address":{"city":"C","name":7}})"),
              {L"C", L"C"}),
        Found(kLocationIQ, "no address", JsonAnswer(R"({"display_name":"D","address":null})"),
              {L"", L"", L"", L"", L"", L"D"}),
        Refused(kLocationIQ, "root an array", JsonAnswer(R"([{"display_name":"D"}])"), L""),

        Refused(kGeoApify, "message only", JsonAnswer(R"({"statusCode":400,"message":"m"})"),
                L"\r\nm"),
        Found(kGeoApify, "later result fills the city, no name",
              JsonAnswer(R"({"results":[{"formatted":"F","country":"Y"},{"city":"C"}]})"),
              {L"C", L"C", L"", L"Y", L"", L"F"}),
        Refused(kGeoApify, "no results", JsonAnswer(R"({"results":[]})"), L""),

        Refused(kBigDataCloud, "message when description is empty",
                JsonAnswer(R"({"status":1,"description":"","message":"m"})"), L"m"),
        Refused(kBigDataCloud, "root a number", JsonAnswer("7"), L""),

        Found(kMapsCo, "ru", Fixture(kMapsCo, "result_nonlatin_ru_jsonv2_real"),
              {L"63-й квартал", L"Ангарск", L"Иркутская область", L"Россия", L"ru", kAngarskFull}),
        Refused(kMapsCo, "error object", JsonAnswer(R"({"error":{"message":"Bad key"}})", 401),
                L"Locnm: HTTP Error 401\r\nBad key"),
        Refused(kMapsCo, "error text", JsonAnswer(R"({"error":"Unable to geocode"})"),
                L"Unable to geocode"),
        Refused(kMapsCo, "error number", JsonAnswer(R"({"error":5})"), L""),
        Found(kMapsCo, "village before suburb, county as state",
              JsonAnswer(R"({"address":{"suburb":"S","village":"V","county":"K"}})"),
              {L"V", L"V", L"K"}),
        Found(kMapsCo, "amenity and town",
              JsonAnswer(R"({"address":{"town":"T","residential":"R","amenity":"A"}})"),
              {L"A", L"T"}),
        Found(kMapsCo, "residential area only", JsonAnswer(R"({"address":{"residential":"R"}})"),
              {L"R", L"R"}),

        Found(kOpenWeather, "london", Fixture(kOpenWeather, "result_city_london_limit1"),
              {L"London", L"London", L"", L"GB", L"GB", L"London, GB"}),
        Found(kOpenWeather, "non-Latin, only the first place",
              JsonAnswer(R"([{"name":"東京","country":"JP"},{"name":"x"}])"),
              {L"東京", L"東京", L"", L"JP", L"JP", L"東京, JP"}),
        Found(kOpenWeather, "empty name", JsonAnswer(R"([{"name":"","state":"S","country":"Y"}])"),
              {L"", L"", L"S", L"Y", L"Y", L"S, Y"}),
        Refused(kOpenWeather, "cod without message", JsonAnswer(R"({"cod":"404"})"), L""),
        Refused(kOpenWeather, "place without name", JsonAnswer(R"([{"country":"Y"}])"), L""),
    };
    for (const SAnswerCase& c : cases) {
        SCOPED_TRACE(std::string(kFolders[c.nService]) + ": " + c.pszName);
        CParts parts;
        EXPECT_EQ(c.nResult, Find(c.nService, c.answer, parts));
        EXPECT_EQ(c.parts, parts);
        EXPECT_EQ(c.strError, m_services[c.nService]->m_strError);
    }
}

}  // namespace
