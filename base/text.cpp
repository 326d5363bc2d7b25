#include "base/text.h"

#include <cstdint>

#include "base/utf.h"

std::wstring Utf8ToWide(std::string_view in) {
    std::wstring out;
    Utf8ToWideTo(in, out);
    return out;
}

void Utf8ToWideTo(std::string_view in, std::wstring& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    // The ASCII head, most often the whole text, is widened into room made at once.
    out.resize(n);
    wchar_t* const pOut = out.data();
    size_t i = 0;
    for (; i < n && p[i] < 0x80; ++i) pOut[i] = static_cast<wchar_t>(p[i]);
    if (i == n) return;
    out.resize(i);
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        char32_t cp;
        const size_t len = DecodeUtf8(p + i, n - i, cp);
        if (len == 0) {
            // Skip only the lead byte so that a following valid sequence is not lost.
            out += static_cast<wchar_t>(kReplacementChar);
            ++i;
            continue;
        }
        AppendWideCodePoint(out, cp);
        i += len;
    }
}

std::string WideToUtf8(std::wstring_view in) {
    // The ASCII head, most often the whole text, is narrowed into room made at once; the rest
    // is encoded character by character.
    std::string out(in.size(), '\0');
    char* const pOut = out.data();
    size_t nAscii = 0;
    for (; nAscii < in.size(); ++nAscii) {
        const auto u = static_cast<uint32_t>(in[nAscii]);
        if (u >= 0x80) break;
        pOut[nAscii] = static_cast<char>(u);
    }
    if (nAscii == in.size()) return out;
    out.resize(nAscii);
    out.reserve(in.size() + (in.size() - nAscii) * 2);
    for (size_t i = nAscii; i < in.size(); ++i) {
        char32_t cp = static_cast<char32_t>(in[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
                char32_t lo = static_cast<char32_t>(in[i + 1]);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementChar;
        AppendUtf8CodePoint(out, cp);
    }
    return out;
}

std::wstring ToLowerAscii(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

bool EqualsNoCaseAscii(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
}

bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

std::wstring TrimWhiteSpace(std::wstring_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsWhiteSpace(text[b])) ++b;
    while (e > b && IsWhiteSpace(text[e - 1])) --e;
    return std::wstring(text.substr(b, e - b));
}

void EscapeText(std::wstring& text, bool bQuote) {
    if (text.empty()) return;
    std::wstring out;
    out.reserve(text.size() + 8);
    if (bQuote) out += L'"';
    for (wchar_t c : text) {
        if (c == L'\\')
            out += L"\\\\";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else
            out += c;
    }
    if (bQuote) out += L'"';
    text.swap(out);
}

void UnescapeText(std::wstring& text) {
    bool bQuoteRemoved = false;
    size_t i = 0;
    if (!text.empty() && text[0] == L'"') {
        bQuoteRemoved = true;
        i = 1;
    }
    std::wstring out;
    out.reserve(text.size());
    for (; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c != L'\\') {
            out += c;
            continue;
        }
        if (i + 1 >= text.size()) break;  // a backslash at the very end is dropped
        wchar_t e = text[++i];
        if (e == L'n' || e == L'N')
            out += L'\n';
        else if (e == L'r' || e == L'R')
            out += L'\r';
        else
            out += e;
    }
    if (bQuoteRemoved && !out.empty() && out.back() == L'"') out.pop_back();
    text.swap(out);
}
