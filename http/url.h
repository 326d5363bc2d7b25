// Splitting a request URL into the parts a connection needs, and the endpoint override that
// points every service at a test server or a self-hosted mirror.
#pragma once

#include <string>
#include <string_view>

// Service-type codes of a URL scheme, as the Windows internet classes number them.
constexpr int kInetServiceFtp = 1;
constexpr int kInetServiceGopher = 2;
constexpr int kInetServiceHttp = 3;
constexpr int kInetServiceUnknown = 0x1000;
constexpr int kInetServiceFile = 0x1001;
constexpr int kInetServiceHttps = 0x100B;

struct SUrlParts {
    int nServiceType = kInetServiceUnknown;
    std::wstring strScheme;     // lower case
    std::wstring strAuthority;  // as written: user info, host and port
    std::wstring strHost;
    int nPort = 0;           // the scheme's default when the URL names none
    std::wstring strObject;  // path and query, at least "/"
};

// False when the text is no absolute URL ("scheme://..."), or when an http or https URL has
// no host or a port outside 1 to 65535. Any other scheme parses, with its service type.
bool ParseUrl(std::wstring_view strUrl, SUrlParts& parts);

// The configured endpoint override (SHttpConfig::strServiceUrl) applied to strUrl into
// strResult: when unset, strUrl itself; when it holds an http or https URL with a host, its
// scheme, host and port (and a path prefix, if it has one) with the path and query of strUrl.
// False when it is set but is no such URL: nothing may then be sent anywhere, and strError
// holds the user-facing reason.
bool ApplyEndpointOverride(const std::wstring& strUrl, std::wstring& strResult,
                           std::wstring& strError);

// The URL with the value of every query parameter named strName written as "***", for log
// lines; the URL itself when it has no such parameter or strName is empty.
std::wstring MaskQueryValue(const std::wstring& strUrl, std::wstring_view strName);
