#include "services/param.h"

#include <json/value.h>

#include <charconv>

#include "base/format.h"
#include "base/text.h"
#include "services/json_answer.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

constexpr int kMaxDecimals = 20;

std::wstring FormatDecimals(double dValue, int nDecimals) {
    if (nDecimals < 0) nDecimals = 0;
    if (nDecimals > kMaxDecimals) nDecimals = kMaxDecimals;
    return FormatText(FormatText(L"%%.%df", nDecimals), dValue);
}

}  // namespace

std::wstring UrlEncode(std::wstring_view strValue) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    const std::string utf8 = WideToUtf8(strValue);
    std::wstring out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += static_cast<wchar_t>(c);
        } else {
            out += L'%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::wstring JoinRequestUrl(const std::wstring& strBaseUrl, const CParamList& params) {
    std::wstring strUrl = strBaseUrl;
    strUrl += L'?';
    for (size_t i = 0; i < params.size(); ++i) {
        if (i > 0) strUrl += L'&';
        strUrl += params[i].m_strName;
        strUrl += L'=';
        strUrl += UrlEncode(params[i].m_strValue);
    }
    return strUrl;
}

bool IsNumericText(std::wstring_view strText) {
    if (strText.empty()) return false;
    for (wchar_t c : strText) {
        if (!((c >= L'0' && c <= L'9') || c == L'.')) return false;
    }
    return true;
}

std::wstring JsonMemberToText(const Json::Value& obj, std::string_view strName, int nDecimals) {
    const Json::Value& member = JsonMember(obj, strName);
    if (member.isNumeric()) return FormatDecimals(member.asDouble(), nDecimals);
    std::wstring strText = JsonText(obj, strName);
    if (!IsNumericText(strText)) return strText;
    // Like the C library's conversion: the longest decimal prefix counts ("1.2.3" is 1.2).
    const std::string narrow = WideToUtf8(strText);
    double dValue = 0.0;
    std::from_chars(narrow.data(), narrow.data() + narrow.size(), dValue, std::chars_format::fixed);
    return FormatDecimals(dValue, nDecimals);
}
