#include "http/url.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"

namespace {

TEST(ParseUrl, SplitsWhatAConnectionNeeds) {
    // Each address and its parts as "scheme host port object"; empty when it is refused.
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"http://api.geonames.org/findNearbyJSON?lat=1",
         L"http api.geonames.org 80 /findNearbyJSON?lat=1"},
        {L"HTTPS://127.0.0.1:8443", L"https 127.0.0.1 8443 /"},
        {L"http://[::1]:81/x", L"http [::1] 81 /x"},
        {L"http://user:pw@host/x", L"http host 80 /x"},
        {L"http://host?q=1", L"http host 80 /?q=1"},
        {L"http://host:0/", L""},
        {L"http://host:8x/", L""},
        {L"http://ho st/", L""},
        {L"api.geonames.org/x", L""},
    };
    for (const auto& [pszUrl, pszParts] : cases) {
        SUrlParts parts;
        std::wstring strSeen;
        if (ParseUrl(pszUrl, parts))
            strSeen = (parts.nServiceType == kInetServiceHttps  ? L"https "
                       : parts.nServiceType == kInetServiceHttp ? L"http "
                                                                : L"other ") +
                      parts.strHost + L" " + std::to_wstring(parts.nPort) + L" " + parts.strObject;
        EXPECT_EQ(strSeen, pszParts) << WideToUtf8(pszUrl);
    }
}

TEST(EndpointOverride, ReplacesSchemeHostAndPortKeepingThePathAndTheLogMasksTheKey) {
    const std::wstring kUrl = L"https://api.geoapify.com/v1/geocode/reverse";
    // Override (null: unset) and the address the query then goes to.
    const std::pair<const char*, const wchar_t*> cases[] = {
        {nullptr, L"https://api.geoapify.com/v1/geocode/reverse"},
        {"http://127.0.0.1:8080/", L"http://127.0.0.1:8080/v1/geocode/reverse"},
        {"https://mirror.example/geo/", L"https://mirror.example/geo/v1/geocode/reverse"},
    };
    for (const auto& [pszOverride, pszExpected] : cases) {
        SHttpConfig config;
        if (pszOverride) config.strServiceUrl = Utf8ToWide(pszOverride);
        SetHttpConfig(config);
        std::wstring strResult, strError = L"stale";
        EXPECT_TRUE(ApplyEndpointOverride(kUrl, strResult, strError));
        EXPECT_EQ(strResult + strError, pszExpected);
    }
    SetHttpConfig(SHttpConfig{});

    // The log masks only the named parameter, and nothing when none is named.
    EXPECT_EQ(L"http://h/p?key=***&lat=1&key=***#f",
              MaskQueryValue(L"http://h/p?key=a&lat=1&key=b#f", L"key"));
    EXPECT_EQ(L"http://h/p?key=x", MaskQueryValue(L"http://h/p?key=x", L""));
}

}  // namespace
