// Query parameters of a service request, kept in the order in which they were added, and the
// text conversions a request and its answer need.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Json {
class Value;
}

class CParam {
  public:
    CParam() = default;
    // A null text gives an empty one.
    CParam(const wchar_t* pszName, const wchar_t* pszValue)
        : m_strName(pszName ? pszName : L""), m_strValue(pszValue ? pszValue : L"") {}
    CParam(std::wstring strName, std::wstring strValue)
        : m_strName(std::move(strName)), m_strValue(std::move(strValue)) {}

    std::wstring m_strName;
    std::wstring m_strValue;
};

// Appended at the end only, never sorted; names are not checked for duplicates.
using CParamList = std::vector<CParam>;

// Percent-encoding of a query value: A-Z a-z 0-9 - . _ ~ stay, every other character becomes
// the %XX (upper-case hex) of each byte of its UTF-8 form.
std::wstring UrlEncode(std::wstring_view strValue);

// The request URL: base, "?", then name=UrlEncode(value) pairs joined by "&" in list order
// (names are not encoded).
std::wstring JoinRequestUrl(const std::wstring& strBaseUrl, const CParamList& params);

// True when the text is not empty and holds only decimal digits and points.
bool IsNumericText(std::wstring_view strText);

// A member of a JSON object as text with nDecimals decimals when it is a number or a numeric
// text; any other text as it is (UTF-8 decoded). Empty when the member is absent, null, of
// another type, or when obj is no object. Never throws.
std::wstring JsonMemberToText(const Json::Value& obj, std::string_view strName, int nDecimals);
