// UrlEncode, EscapeText and UnescapeText on arbitrary text: percent-decoding the encoding
// gives the text's UTF-8 back, escaping with quotes and unescaping gives the text back, and
// without quotes too unless the text starts with a quote (which unescaping removes).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "services/param.h"

namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool IsUnreserved(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           c == L'-' || c == L'.' || c == L'_' || c == L'~';
}

std::string PercentDecode(const std::wstring& strEncoded) {
    std::string out;
    for (size_t i = 0; i < strEncoded.size(); ++i) {
        const wchar_t c = strEncoded[i];
        if (c == L'%') {
            if (strEncoded.size() - i < 3) std::abort();
            const int hi = HexValue(strEncoded[i + 1]), lo = HexValue(strEncoded[i + 2]);
            if (hi < 0 || lo < 0) std::abort();
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            if (!IsUnreserved(c)) std::abort();
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));

    if (PercentDecode(UrlEncode(text)) != WideToUtf8(text)) std::abort();

    std::wstring quoted = text;
    EscapeText(quoted, true);
    UnescapeText(quoted);
    if (quoted != text) std::abort();

    std::wstring plain = text;
    EscapeText(plain, false);
    UnescapeText(plain);
    if ((text.empty() || text[0] != L'"') && plain != text) std::abort();

    // Arbitrary stored text decodes without harm.
    std::wstring stored = text;
    UnescapeText(stored);
    return 0;
}
