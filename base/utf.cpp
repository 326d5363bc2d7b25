#include "base/utf.h"

#include <cstring>

void AppendWideCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

void AppendUtf8CodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t DecodeUtf8(const unsigned char* p, size_t n, char32_t& cp) {
    const unsigned char b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (len > n) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool IsValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: the common case by far.
        if (n - i >= 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        char32_t cp;
        const size_t len = DecodeUtf8(p + i, n - i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

void CUtf16LeDecoder::Feed(const char* p, size_t n, std::wstring& out) {
    for (size_t i = 0; i < n; ++i) {
        if (m_nOddByte < 0) {
            m_nOddByte = static_cast<unsigned char>(p[i]);
            continue;
        }
        const uint32_t unit = static_cast<uint32_t>(m_nOddByte) |
                              static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << 8;
        m_nOddByte = -1;
        const bool bLow = unit >= 0xDC00 && unit <= 0xDFFF;
        if (m_nHighSurrogate) {
            if (bLow) {
                AppendWideCodePoint(
                    out, 0x10000 + ((m_nHighSurrogate - 0xD800) << 10) + (unit - 0xDC00));
                m_nHighSurrogate = 0;
                continue;
            }
            out += static_cast<wchar_t>(kReplacementChar);
            m_nHighSurrogate = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            m_nHighSurrogate = unit;
        else if (bLow)
            out += static_cast<wchar_t>(kReplacementChar);
        else
            out += static_cast<wchar_t>(unit);
    }
}

void CUtf16LeDecoder::Finish(std::wstring& out) {
    if (m_nHighSurrogate) out += static_cast<wchar_t>(kReplacementChar);
    m_nHighSurrogate = 0;
    m_nOddByte = -1;
}

void AppendLosslessUtf8(std::string& out, uint32_t u) {
    auto cont = [&out](uint32_t bits) { out += static_cast<char>(0x80 | (bits & 0x3F)); };
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        cont(u);
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        cont(u >> 6);
        cont(u);
    } else if (u < 0x200000) {
        out += static_cast<char>(0xF0 | (u >> 18));
        cont(u >> 12);
        cont(u >> 6);
        cont(u);
    } else if (u < 0x4000000) {
        out += static_cast<char>(0xF8 | (u >> 24));
        for (int shift = 18; shift >= 0; shift -= 6) cont(u >> shift);
    } else if (u < 0x80000000u) {
        out += static_cast<char>(0xFC | (u >> 30));
        for (int shift = 24; shift >= 0; shift -= 6) cont(u >> shift);
    } else {
        // Values with the top bit set (a negative wchar_t) need the 36 bits of a seven-byte form.
        out += static_cast<char>(0xFE);
        for (int shift = 30; shift >= 0; shift -= 6) cont(u >> shift);
    }
}

size_t DecodeLosslessUtf8(const unsigned char* p, size_t n, uint32_t& u) {
    const unsigned char b = p[0];
    if (b < 0x80) {
        u = b;
        return 1;
    }
    size_t len;
    uint64_t v;
    if (b < 0xC0) {
        u = b;
        return 1;
    }  // a stray continuation byte stands for itself
    if (b < 0xE0) {
        len = 2;
        v = b & 0x1F;
    } else if (b < 0xF0) {
        len = 3;
        v = b & 0x0F;
    } else if (b < 0xF8) {
        len = 4;
        v = b & 0x07;
    } else if (b < 0xFC) {
        len = 5;
        v = b & 0x03;
    } else if (b < 0xFE) {
        len = 6;
        v = b & 0x01;
    } else {
        len = 7;
        v = 0;
    }
    if (len > n) len = n;
    for (size_t i = 1; i < len; ++i) v = (v << 6) | (p[i] & 0x3F);
    u = static_cast<uint32_t>(v);
    return len;
}
