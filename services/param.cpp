#include "services/param.h"

#include <json/value.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "base/format.h"
#include "base/text.h"
#include "services/json_answer.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

constexpr int kMaxDecimals = 20;
constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

void AppendEncodedByte(std::wstring& out, unsigned char c) {
    if (IsUnreserved(c)) {
        out += static_cast<wchar_t>(c);
    } else {
        out += L'%';
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0x0F];
    }
}

void AppendUrlEncoded(std::wstring& out, std::wstring_view strValue) {
    // Positions, keys and language codes are ASCII: they need no UTF-8 copy.
    if (std::all_of(strValue.begin(), strValue.end(),
                    [](wchar_t c) { return static_cast<uint32_t>(c) < 0x80; })) {
        for (wchar_t c : strValue) AppendEncodedByte(out, static_cast<unsigned char>(c));
        return;
    }
    for (char ch : WideToUtf8(strValue)) AppendEncodedByte(out, static_cast<unsigned char>(ch));
}

std::wstring FormatDecimals(double dValue, int nDecimals) {
    if (nDecimals < 0) nDecimals = 0;
    if (nDecimals > kMaxDecimals) nDecimals = kMaxDecimals;
    return FormatText(FormatText(L"%%.%df", nDecimals), dValue);
}

}  // namespace

std::wstring UrlEncode(std::wstring_view strValue) {
    std::wstring out;
    AppendUrlEncoded(out, strValue);
    return out;
}

std::wstring JoinRequestUrl(const std::wstring& strBaseUrl, const CParamList& params) {
    // Room for the usual request, whose values are ASCII and mostly unreserved.
    size_t nLength = strBaseUrl.size() + 1;
    for (const CParam& param : params)
        nLength += param.m_strName.size() + param.m_strValue.size() + 2;
    std::wstring strUrl;
    strUrl.reserve(nLength);
    strUrl = strBaseUrl;
    strUrl += L'?';
    for (size_t i = 0; i < params.size(); ++i) {
        if (i > 0) strUrl += L'&';
        strUrl += params[i].m_strName;
        strUrl += L'=';
        AppendUrlEncoded(strUrl, params[i].m_strValue);
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
