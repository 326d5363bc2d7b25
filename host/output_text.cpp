#include "host/output_text.h"

#include <json/json.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace {

bool IsPlainAscii(wchar_t c) {
    return static_cast<uint32_t>(c) - 0x20u < 0x5Fu && c != L'\\';
}

// Eight bytes at once: none below 0x20, none 0x7F, no backslash (the bit tricks find a byte
// below a bound, or a zero byte after an exclusive or, in a whole word at once; bytes of 0x80
// and above pass).
bool IsPlainWord(uint64_t x) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    auto hasZero = [](uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    return ((x - kOnes * 0x20) & ~x & kHighs) == 0 && !hasZero(x ^ (kOnes * 0x7F)) &&
           !hasZero(x ^ (kOnes * '\\'));
}

constexpr size_t kPlainStep = 8;

// Writes the kPlainStep characters at pIn to p as bytes when all are plain ASCII; false, with
// nothing written, otherwise. With four-byte wide characters on a little-endian machine the
// eight are tested and narrowed a word at a time.
bool NarrowPlain(const wchar_t* pIn, char* p) {
    if constexpr (sizeof(wchar_t) == 4 && std::endian::native == std::endian::little) {
        // Written out, not looped: the build does not unroll loops.
        uint64_t w0, w1, w2, w3;
        std::memcpy(&w0, pIn, sizeof w0);
        std::memcpy(&w1, pIn + 2, sizeof w1);
        std::memcpy(&w2, pIn + 4, sizeof w2);
        std::memcpy(&w3, pIn + 6, sizeof w3);
        // Every character below 0x80: each is then the low byte of its half of a word.
        if (((w0 | w1 | w2 | w3) & 0xFFFFFF80FFFFFF80u) != 0) return false;
        const uint64_t packed = (w0 & 0xFFu) | ((w0 >> 24) & 0xFF00u) | ((w1 & 0xFFu) << 16) |
                                ((w1 >> 8) & 0xFF000000u) | ((w2 & 0xFFu) << 32) |
                                ((w2 << 8) & 0xFF0000000000u) | ((w3 & 0xFFu) << 48) |
                                ((w3 << 24) & 0xFF00000000000000u);
        if (!IsPlainWord(packed)) return false;
        std::memcpy(p, &packed, sizeof packed);
        return true;
    } else {
        for (size_t k = 0; k < kPlainStep; ++k)
            if (!IsPlainAscii(pIn[k])) return false;
        for (size_t k = 0; k < kPlainStep; ++k) p[k] = static_cast<char>(pIn[k]);
        return true;
    }
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

// The text from its first character that the one-pass loop does not write, with a run of
// plain characters gathered on the stack between escapes.
void AppendEscapedTail(std::string& strOut, std::wstring_view strText) {
    char szRun[256];
    size_t nRun = 0;
    auto appendRun = [&]() {
        strOut.append(szRun, nRun);
        nRun = 0;
    };
    for (const wchar_t c : strText) {
        if (IsPlainAscii(c)) {
            szRun[nRun++] = static_cast<char>(c);
            if (nRun == sizeof szRun) appendRun();
            continue;
        }
        const auto cp = static_cast<uint32_t>(c);
        if constexpr (sizeof(wchar_t) == 4) {
            if (cp >= 0x80 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                if (nRun + 4 > sizeof szRun) appendRun();
                nRun += EncodeUtf8(cp, szRun + nRun);
                continue;
            }
        }
        appendRun();
        char szEscape[16];
        if (c == L'\\')
            strOut += "\\\\";
        else if (c == L'\n')
            strOut += "\\n";
        else if (c == L'\r')
            strOut += "\\r";
        else if (c == L'\t')
            strOut += "\\t";
        else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(szEscape, sizeof(szEscape), "\\x%02X", cp);
            strOut += szEscape;
        } else if (sizeof(wchar_t) == 4 && (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            std::snprintf(szEscape, sizeof(szEscape), "\\u{%X}", cp);
            strOut += szEscape;
        } else {
            strOut += WideToUtf8(std::wstring_view(&c, 1));
        }
    }
    appendRun();
}

}  // namespace

std::string EscapeForLine(std::wstring_view strText) {
    std::string strOut;
    strOut.reserve(strText.size());
    AppendEscapedForLine(strOut, strText);
    return strOut;
}

bool IsPlainForLine(std::string_view strUtf8) {
    // Eight bytes at a time; bytes of 0x80 and above, the rest of a character's UTF-8, pass.
    size_t i = 0;
    for (; strUtf8.size() - i >= sizeof(uint64_t); i += sizeof(uint64_t)) {
        uint64_t x;
        std::memcpy(&x, strUtf8.data() + i, sizeof x);
        if (!IsPlainWord(x)) return false;
    }
    for (const char c : strUtf8.substr(i)) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '\\') return false;
    }
    return true;
}

void AppendEscapedForLine(std::string& strOut, std::wstring_view strText) {
    // Two log lines and a caption a photo pass through here, nearly all plain ASCII and the
    // rest accented letters of place names: room for the longest UTF-8 form is made at once,
    // and both kinds are written into it in one pass. Only an escape leaves the pass.
    constexpr size_t kMaxUtf8 = sizeof(wchar_t) == 4 ? 4 : 3;
    const size_t nText = strText.size();
    const size_t nOld = strOut.size();
    strOut.resize(nOld + nText * kMaxUtf8);
    char* p = strOut.data() + nOld;
    const wchar_t* pIn = strText.data();
    const wchar_t* const pEnd = pIn + nText;
    while (pIn != pEnd) {
        const size_t nLeft = static_cast<size_t>(pEnd - pIn);
        if (nLeft >= kPlainStep && NarrowPlain(pIn, p)) {
            p += kPlainStep;
            pIn += kPlainStep;
            continue;
        }
        // The step held something else: its characters are taken one by one, so that a step
        // is tried again only past them.
        const wchar_t* const pStepEnd = pIn + (nLeft < kPlainStep ? nLeft : kPlainStep);
        for (; pIn != pStepEnd; ++pIn) {
            const wchar_t c = *pIn;
            if (IsPlainAscii(c)) {
                *p++ = static_cast<char>(c);
                continue;
            }
            const auto cp = static_cast<uint32_t>(c);
            if constexpr (sizeof(wchar_t) == 4) {
                if (cp >= 0x80 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                    p += EncodeUtf8(cp, p);
                    continue;
                }
            }
            // An escape, or (with two-byte wide characters) text beyond ASCII: the rest of the
            // text goes the long way, after what is written so far.
            strOut.resize(static_cast<size_t>(p - strOut.data()));
            AppendEscapedTail(strOut, std::wstring_view(pIn, static_cast<size_t>(pEnd - pIn)));
            return;
        }
    }
    strOut.resize(static_cast<size_t>(p - strOut.data()));
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
