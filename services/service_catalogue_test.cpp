// The six web services through a real loopback server: how each reads real-shaped, error and
// odd answers, and the requests no end-to-end test makes. Each service's request, main recorded
// answer and error answer go through the module in services_e2e_test.
#include "services/service_catalogue.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"

namespace {

// Location, city, state, country, country code, full address.
using CParts = std::array<std::wstring, 6>;

class ServiceLookups : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        SHttpConfig config;
        config.strServiceUrl = Utf8ToWide(m_server.BaseUrl());
        SetHttpConfig(config);
    }
    void TearDown() override { SetHttpConfig(SHttpConfig{}); }

    int Find(int nService, const SLoopbackAnswer& answer, CParts& parts) {
        // Every path: each service's own is pinned through the module in services_e2e_test.
        m_server.SetHandler([answer](const SLoopbackRequest&) { return answer; });
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
    CLogCapture m_logs;
};

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

// An answer that is no usable list gives 0, members of other types read as empty. That nothing
// a server sends makes a lookup throw, and that a refused answer leaves the record empty, is the
// service_answer fuzz target's check; malformed JSON as such is the parser's tests' matter.
TEST_F(ServiceLookups, AnswersFillTheRecordOrGiveTheServersText) {
    const std::wstring kAngarskFull =
        L"улица Ленина, 63-й квартал, Ангарск, Ангарский городской округ, Иркутская область, "
        L"Сибирский федеральный округ, 665830, Россия";
    const SAnswerCase cases[] = {
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

        Found(kGeoNames, "each text from the first place that has it", JsonAnswer(R"({"geonames":[
        {"name":"Bellagio","countryName":"Italia","countryCode":" IT ","adminName1":"Lombardia"},
        {"name":"Other","countryName":"Other","countryCode":"XX","adminName1":"Other",
         "adminName3":"Como"},
        {"name":"Third","adminName3":"Never"}]})"),
              {L"Bellagio", L"Como", L"Lombardia", L"Italia", L"IT"}),
        Refused(kGeoNames, "error with status 200",
                ServiceFixture("geonames", "error_hourly_limit"),
                L"the hourly limit of 1000 credits for gclh has been exceeded. Please throttle "
                L"your requests or use the commercial service."),
        Refused(kGeoNames, "status without message", JsonAnswer(R"({"status":{"value":10}})", 401),
                L"Locnm: HTTP Error 401\r\n"),
        Refused(kGeoNames, "geonames null", JsonAnswer(R"({"geonames":null})"), L""),
        Found(kGeoNames, "places and members of other types",
              JsonAnswer(R"({"geonames":[1,"a",null,[],true,{"name":5,"countryName":{"a":1},
                 "countryCode":true,"adminName1":[],"adminName3":null}]})"),
              {}),
        Found(kGeoNames, "no place has a name",
              JsonAnswer(R"({"geonames":[{"countryName":"Italia","adminName3":"Como"}]})"),
              {L"", L"Como", L"", L"Italia"}),

        Refused(kBigDataCloud, "message when description is empty",
                JsonAnswer(R"({"status":1,"description":"","message":"m"})"), L"m"),
        Refused(kBigDataCloud, "root a number", JsonAnswer("7"), L""),

        Found(kMapsCo, "ru", ServiceFixture("mapsco", "result_nonlatin_ru_jsonv2_real"),
              {L"63-й квартал", L"Ангарск", L"Иркутская область", L"Россия", L"ru", kAngarskFull}),
        Refused(kMapsCo, "error object", JsonAnswer(R"({"error":{"message":"Bad key"}})", 401),
                L"Locnm: HTTP Error 401\r\nBad key"),
        Refused(kMapsCo, "error text", JsonAnswer(R"({"error":"Unable to geocode"})"),
                L"Unable to geocode"),
        Found(kMapsCo, "village before suburb, county as state",
              JsonAnswer(R"({"address":{"suburb":"S","village":"V","county":"K"}})"),
              {L"V", L"V", L"K"}),
        Found(kMapsCo, "amenity and town",
              JsonAnswer(R"({"address":{"town":"T","residential":"R","amenity":"A"}})"),
              {L"A", L"T"}),
        Found(kMapsCo, "residential area only", JsonAnswer(R"({"address":{"residential":"R"}})"),
              {L"R", L"R"}),

        Found(kOpenWeather, "non-Latin, only the first place",
              JsonAnswer(R"([{"name":"東京","country":"JP"},{"name":"x"}])"),
              {L"東京", L"東京", L"", L"JP", L"JP", L"東京, JP"}),
        Found(kOpenWeather, "empty name", JsonAnswer(R"([{"name":"","state":"S","country":"Y"}])"),
              {L"", L"", L"S", L"Y", L"Y", L"S, Y"}),
        Refused(kOpenWeather, "cod without message", JsonAnswer(R"({"cod":"404"})"), L""),
        Refused(kOpenWeather, "place without name", JsonAnswer(R"([{"country":"Y"}])"), L""),
    };
    for (const SAnswerCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(m_services[c.nService]->GetServiceName()) + ": " + c.pszName);
        CParts parts;
        EXPECT_EQ(c.nResult, Find(c.nService, c.answer, parts));
        EXPECT_EQ(c.parts, parts);
        EXPECT_EQ(c.strError, m_services[c.nService]->m_strError);
        // Logs are pasted into bug reports: no line may carry the key.
        EXPECT_FALSE(m_logs.Holds(m_services[c.nService]->GetApiKey()));
    }
}

TEST_F(ServiceLookups, GeoNamesCountryListsPickTheLevelsAndNearbyFeaturesAreAsked) {
    // Off, the first level is the state and the third the city (the table's rows above); a
    // country in the first list (blanks and case aside) takes the second level as the state,
    // one in the second list the fourth level as the city.
    const struct {
        const wchar_t *pszCC1, *pszCC2;
        CParts parts;
    } cases[] = {
        {L"it , fr", L" Fr", {L"N", L"A4", L"A2", L"France", L"FR"}},
        {L"DE", L"IT,,FR", {L"N", L"A4", L"A1", L"France", L"FR"}},
    };
    m_settings.m_bGeo1 = m_settings.m_bGeo2 = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.pszCC2));
        m_settings.m_strGeoCC1 = c.pszCC1;
        m_settings.m_strGeoCC2 = c.pszCC2;
        CParts parts;
        EXPECT_EQ(1, Find(kGeoNames, JsonAnswer(R"({"geonames":[{"name":"N","countryName":"France",
            "countryCode":"FR","adminName1":"A1","adminName2":"A2","adminName3":"A3",
            "adminName4":"A4"}]})"),
                          parts));
        EXPECT_EQ(c.parts, parts);
    }

    // The other search, that of nearby features; each service's request for the first search,
    // with the user's key and language, is pinned through the module in services_e2e_test.
    m_settings.m_nGeoType = 1;
    m_settings.m_strLang = L"DE";
    CLocationRecord record;
    m_services[kGeoNames]->FindLocation(L"-33.8688000", L"151.2093000", record);
    const auto requests = m_server.Requests();
    ASSERT_EQ(std::size(cases) + 1, requests.size());
    EXPECT_EQ("/findNearbyJSON", requests.back().strPath);
    EXPECT_EQ(
        "lat=-33.8688000&lng=151.2093000&lang=DE&style=full&radius=10&maxRows=10&"
        "username=samplepics",
        requests.back().strQuery);
}

}  // namespace
