#include "http/url.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"

namespace {

TEST(ParseUrl, SplitsWhatAConnectionNeeds) {
    struct SCase {
        const wchar_t* pszUrl;
        bool bOk;
        int nType;
        const wchar_t* pszHost;
        int nPort;
        const wchar_t* pszObject;
    } cases[] = {
        {L"http://api.geonames.org/findNearbyJSON?lat=1", true, kInetServiceHttp,
         L"api.geonames.org", 80, L"/findNearbyJSON?lat=1"},
        {L"HTTPS://127.0.0.1:8443", true, kInetServiceHttps, L"127.0.0.1", 8443, L"/"},
        {L"http://[::1]:81/x", true, kInetServiceHttp, L"[::1]", 81, L"/x"},
        {L"http://user:pw@host/x", true, kInetServiceHttp, L"host", 80, L"/x"},
        {L"http://host?q=1", true, kInetServiceHttp, L"host", 80, L"/?q=1"},
        {L"http://host:0/", false, 0, L"", 0, L""},
        {L"http://host:8x/", false, 0, L"", 0, L""},
        {L"http://ho st/", false, 0, L"", 0, L""},
        {L"api.geonames.org/x", false, 0, L"", 0, L""},
    };
    for (const SCase& c : cases) {
        SUrlParts parts;
        SCOPED_TRACE(std::string(c.pszUrl, c.pszUrl + wcslen(c.pszUrl)));
        ASSERT_EQ(c.bOk, ParseUrl(c.pszUrl, parts));
        if (!c.bOk) continue;
        EXPECT_EQ(c.nType, parts.nServiceType);
        EXPECT_EQ(c.pszHost, parts.strHost);
        EXPECT_EQ(c.nPort, parts.nPort);
        EXPECT_EQ(c.pszObject, parts.strObject);
    }
}

TEST(EndpointOverride, ReplacesSchemeHostAndPortKeepingThePathAndTheLogMasksTheKey) {
    const std::wstring kUrl = L"https://api.geoapify.com/v1/geocode/reverse";
    struct SCase {
        const char* pszOverride;  // null: unset
        const wchar_t* pszExpected;
    } cases[] = {
        {nullptr, L"https://api.geoapify.com/v1/geocode/reverse"},
        {"http://127.0.0.1:8080/", L"http://127.0.0.1:8080/v1/geocode/reverse"},
        {"https://mirror.example/geo/", L"https://mirror.example/geo/v1/geocode/reverse"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszOverride ? c.pszOverride : "(unset)");
        SHttpConfig config;
        if (c.pszOverride) config.strServiceUrl = Utf8ToWide(c.pszOverride);
        SetHttpConfig(config);
        std::wstring strResult, strError;
        EXPECT_TRUE(ApplyEndpointOverride(kUrl, strResult, strError));
        EXPECT_EQ(c.pszExpected, strResult);
        EXPECT_EQ(L"", strError);
    }
    SetHttpConfig(SHttpConfig{});

    // The log masks only the named parameter, and nothing when none is named.
    EXPECT_EQ(L"http://h/p?key=***&lat=1&key=***#f",
              MaskQueryValue(L"http://h/p?key=a&lat=1&key=b#f", L"key"));
    EXPECT_EQ(L"http://h/p?key=x", MaskQueryValue(L"http://h/p?key=x", L""));
}

}  // namespace
