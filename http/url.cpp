#include "http/url.h"

#include <algorithm>
#include <cstdlib>

#include "base/format.h"
#include "base/text.h"
#include "http/error_texts.h"
#include "http/query.h"

namespace {

struct SSchemeCode {
    const wchar_t* pszScheme;
    int nType;
    int nDefaultPort;
};

const SSchemeCode kSchemes[] = {
    {L"http", kInetServiceHttp, 80},
    {L"https", kInetServiceHttps, 443},
    {L"ftp", kInetServiceFtp, 21},
    {L"gopher", kInetServiceGopher, 70},
    {L"file", kInetServiceFile, 0},
    {L"mailto", kInetServiceUnknown + 2, 0},
    {L"news", kInetServiceUnknown + 5, 119},
    {L"nntp", kInetServiceUnknown + 6, 119},
    {L"telnet", kInetServiceUnknown + 8, 23},
    {L"wais", kInetServiceUnknown + 9, 210},
};

bool IsSchemeChar(wchar_t c, bool bFirst) {
    const bool bAlpha = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    if (bFirst) return bAlpha;
    return bAlpha || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
}

// Host and port of an authority ("user:pw@host:port", "[::1]:8080"); false when malformed.
bool SplitAuthority(std::wstring_view authority, std::wstring& strHost, int& nPort) {
    size_t at = authority.rfind(L'@');
    if (at != std::wstring_view::npos) authority.remove_prefix(at + 1);
    std::wstring_view host = authority, port;
    if (!authority.empty() && authority.front() == L'[') {
        size_t close = authority.find(L']');
        if (close == std::wstring_view::npos) return false;
        host = authority.substr(0, close + 1);
        std::wstring_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != L':') return false;
            port = rest.substr(1);
        }
    } else {
        size_t colon = authority.rfind(L':');
        if (colon != std::wstring_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
    }
    if (host.empty()) return false;
    strHost.assign(host);
    if (port.empty()) return true;
    if (port.size() > 5) return false;
    int value = 0;
    for (wchar_t c : port) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1 || value > 65535) return false;
    nPort = value;
    return true;
}

}  // namespace

bool ParseUrl(std::wstring_view strUrl, SUrlParts& parts) {
    parts = SUrlParts();
    size_t sep = strUrl.find(L"://");
    if (sep == std::wstring_view::npos || sep == 0) return false;
    for (size_t i = 0; i < sep; ++i) {
        if (!IsSchemeChar(strUrl[i], i == 0)) return false;
    }
    parts.strScheme = ToLowerAscii(strUrl.substr(0, sep));
    int nDefaultPort = 0;
    for (const SSchemeCode& code : kSchemes) {
        if (parts.strScheme == code.pszScheme) {
            parts.nServiceType = code.nType;
            nDefaultPort = code.nDefaultPort;
        }
    }
    std::wstring_view rest = strUrl.substr(sep + 3);
    size_t end = rest.find_first_of(L"/?#");
    std::wstring_view authority = rest.substr(0, end);
    parts.strAuthority.assign(authority);
    parts.strObject = end == std::wstring_view::npos ? L"/" : std::wstring(rest.substr(end));
    if (!parts.strObject.empty() && parts.strObject.front() != L'/')
        parts.strObject.insert(0, 1, L'/');
    parts.nPort = nDefaultPort;
    if (parts.nServiceType != kInetServiceHttp && parts.nServiceType != kInetServiceHttps)
        return true;
    for (wchar_t c : authority) {
        if (c <= L' ' || c == 0x7F) return false;
    }
    return SplitAuthority(authority, parts.strHost, parts.nPort);
}

bool ApplyEndpointOverride(const std::wstring& strUrl, std::wstring& strResult,
                           std::wstring& strError) {
    strError.clear();
    strResult = strUrl;
    const std::wstring strOverride = GetHttpConfig().strServiceUrl;
    if (strOverride.empty()) return true;
    SUrlParts target, original;
    if (!ParseUrl(strOverride, target) ||
        (target.nServiceType != kInetServiceHttp && target.nServiceType != kInetServiceHttps)) {
        // Falling back to the service's own address would send the key and the position to a
        // server the user meant to avoid.
        strError = FormatText(LoadStringText(kIdsBadServiceUrl), strOverride);
        return false;
    }
    if (!ParseUrl(strUrl, original)) return true;
    std::wstring strPrefix = target.strObject;
    size_t query = strPrefix.find_first_of(L"?#");
    if (query != std::wstring::npos) strPrefix.erase(query);
    while (!strPrefix.empty() && strPrefix.back() == L'/') strPrefix.pop_back();
    strResult = target.strScheme + L"://" + target.strAuthority + strPrefix + original.strObject;
    return true;
}

std::wstring MaskQueryValue(const std::wstring& strUrl, std::wstring_view strName) {
    const size_t nQuery = strUrl.find(L'?');
    if (strName.empty() || nQuery == std::wstring::npos) return strUrl;
    const size_t nEnd = std::min(strUrl.find(L'#', nQuery), strUrl.size());
    std::wstring out = strUrl.substr(0, nQuery + 1);
    size_t pos = nQuery + 1;
    while (pos <= nEnd) {
        size_t next = strUrl.find(L'&', pos);
        if (next == std::wstring::npos || next > nEnd) next = nEnd;
        const std::wstring_view pair(strUrl.data() + pos, next - pos);
        const size_t eq = pair.find(L'=');
        if (eq != std::wstring_view::npos && pair.substr(0, eq) == strName) {
            out.append(pair.substr(0, eq + 1));
            out += L"***";
        } else {
            out.append(pair);
        }
        if (next < nEnd) out += L'&';
        pos = next + 1;
    }
    out.append(strUrl, nEnd, std::wstring::npos);
    return out;
}
