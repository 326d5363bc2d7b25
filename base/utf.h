// The one codec between UTF-8, UTF-16 and wchar_t text (16 bits on Windows, 32 elsewhere).
// Strict forms hold Unicode scalar values only; the lossless form keeps any wchar_t value,
// for stores that must give back exactly what they were given. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr char32_t kReplacementChar = 0xFFFD;

// A scalar value as wchar_t units: a surrogate pair where wchar_t has 16 bits.
void AppendWideCodePoint(std::wstring& out, char32_t cp);
// A scalar value as strict UTF-8 (cp must be below 0x110000 and no surrogate).
void AppendUtf8CodePoint(std::string& out, char32_t cp);
// Decodes the strict UTF-8 character at p (n > 0 bytes left) into cp and answers the bytes it
// took; 0 for a byte that starts no valid character (overlong, surrogate, past U+10FFFF, a
// sequence cut short or broken).
size_t DecodeUtf8(const unsigned char* p, size_t n, char32_t& cp);
// True when the bytes are strict UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Decodes UTF-16 little-endian bytes that arrive in pieces of any size (a unit or a surrogate
// pair may be split between pieces). An unpaired surrogate becomes U+FFFD.
class CUtf16LeDecoder {
  public:
    void Feed(const char* pData, size_t nSize, std::wstring& out);
    // The end of the input: a high surrogate still waiting becomes U+FFFD; a lone last byte
    // is no character and is dropped.
    void Finish(std::wstring& out);

  private:
    int m_nOddByte = -1;
    uint32_t m_nHighSurrogate = 0;
};

// The lossless form: UTF-8's pattern extended to any 32-bit value (up to seven bytes).
void AppendLosslessUtf8(std::string& out, uint32_t u);
// Decodes the character at p (n > 0 bytes left) into u; answers the bytes it took. A stray
// continuation byte stands for itself; a sequence cut short by the end is taken as far as it
// goes.
size_t DecodeLosslessUtf8(const unsigned char* p, size_t n, uint32_t& u);
