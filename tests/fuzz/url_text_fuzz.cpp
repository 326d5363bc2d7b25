// UrlEncode, EscapeText and UnescapeText on arbitrary text: percent-decoding the encoding
// gives the text's UTF-8 back, escaping with quotes and unescaping gives the text back, and
// without quotes too unless the text starts with a quote (which unescaping removes).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"
#include "services/param.h"

namespace {

// The bytes an encoding stands for; aborts on anything but unreserved ASCII characters and
// escapes of two upper-case hex digits.
std::string PercentDecode(const std::wstring& strEncoded) {
    const std::wstring_view kHex = L"0123456789ABCDEF", kMarks = L"-._~";
    std::string out;
    for (size_t i = 0; i < strEncoded.size(); ++i) {
        const wchar_t c = strEncoded[i];
        if (c == L'%') {
            const std::wstring hex = strEncoded.substr(i + 1, 2);
            if (hex.size() < 2 || kHex.find(hex[0]) > 15 || kHex.find(hex[1]) > 15) std::abort();
            out += static_cast<char>(kHex.find(hex[0]) * 16 + kHex.find(hex[1]));
            i += 2;
        } else {
            const bool bMark = kMarks.find(c) < kMarks.size();
            if (static_cast<uint32_t>(c) > 127 || !(std::isalnum(static_cast<int>(c)) || bMark))
                std::abort();
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
