#include "host/output_text.h"

#include <json/json.h>

#include <cstdint>
#include <cstdio>

#include "base/text.h"

namespace {

// Bytes of the longest form of one character: \u{FFFFFFFF}, a value beyond Unicode.
constexpr size_t kMaxEscapedBytes = 12;

bool IsPlainAscii(wchar_t c) {
    return c >= 0x20 && c < 0x7F && c != L'\\';
}

// Writes the UTF-8 form of a character at least U+0080 (no surrogate) at p; the bytes written.
[[maybe_unused]] size_t EncodeUtf8(uint32_t cp, char* p) {
    if (cp < 0x800) {
        p[0] = static_cast<char>(0xC0 | (cp >> 6));
        p[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        p[0] = static_cast<char>(0xE0 | (cp >> 12));
        p[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        p[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    p[0] = static_cast<char>(0xF0 | (cp >> 18));
    p[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    p[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    p[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace

std::string EscapeForLine(std::wstring_view strText) {
    std::string strOut;
    strOut.reserve(strText.size());
    AppendEscapedForLine(strOut, strText);
    return strOut;
}

void AppendEscapedForLine(std::string& strOut, std::wstring_view strText) {
    // Two log lines and a caption a photo pass through here, nearly all plain ASCII: room for
    // the longest form of every character is made at once, written through, and the unused
    // tail cut off.
    const size_t nOld = strOut.size();
    strOut.resize(nOld + strText.size() * kMaxEscapedBytes);
    char* const pStart = strOut.data() + nOld;
    char* p = pStart;
    auto put = [&p](const char* pszText) {
        while (*pszText) *p++ = *pszText++;
    };
    for (const wchar_t c : strText) {
        if (IsPlainAscii(c)) {
            *p++ = static_cast<char>(c);
            continue;
        }
        const auto cp = static_cast<uint32_t>(c);
        char szEscape[16];
        if (c == L'\\') {
            put("\\\\");
        } else if (c == L'\n') {
            put("\\n");
        } else if (c == L'\r') {
            put("\\r");
        } else if (c == L'\t') {
            put("\\t");
        } else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(szEscape, sizeof(szEscape), "\\x%02X", cp);
            put(szEscape);
        } else if (sizeof(wchar_t) == 4 && (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            std::snprintf(szEscape, sizeof(szEscape), "\\u{%X}", cp);
            put(szEscape);
        } else if constexpr (sizeof(wchar_t) == 4) {
            p += EncodeUtf8(cp, p);
        } else {
            const std::string strUtf8 = WideToUtf8(std::wstring_view(&c, 1));
            put(strUtf8.c_str());
        }
    }
    strOut.resize(nOld + static_cast<size_t>(p - pStart));
}

std::string JsonQuote(const std::wstring& strText) {
    return Json::valueToQuotedString(WideToUtf8(strText).c_str());
}

std::string CsvField(const std::string& strText) {
    const bool bQuote = strText.find_first_of(",\"\r\n") != std::string::npos ||
                        (!strText.empty() && (strText.front() == ' ' || strText.back() == ' '));
    if (!bQuote) return strText;
    std::string strOut = "\"";
    for (char c : strText) {
        if (c == '"') strOut += '"';
        strOut += c;
    }
    return strOut + "\"";
}
