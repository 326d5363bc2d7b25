// Wide-text helpers shared by every subsystem.
#pragma once

#include <string>
#include <string_view>

// UTF-8 bytes to wide text; a malformed sequence becomes U+FFFD, never an exception.
std::wstring Utf8ToWide(std::string_view utf8);
// The same into out, replacing what it held (its room is kept for the next text).
void Utf8ToWideTo(std::string_view utf8, std::wstring& out);
// Wide text to UTF-8; an unpaired surrogate or an out-of-range value becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// Letters A to Z only; every other character is left as it is.
std::wstring ToLowerAscii(std::wstring_view text);
bool EqualsNoCaseAscii(std::wstring_view a, std::wstring_view b);
// White space as the C library's iswspace sees it in the "C" locale (blank, tab, CR, LF, VT, FF).
bool IsWhiteSpace(wchar_t c);
std::wstring TrimWhiteSpace(std::wstring_view text);

// Escaping of backslash, line feed and carriage return, as stored for the separator setting
// (with enclosing quotes) and for cached captions (without). Both change the text in place.
// A quote inside the text is not escaped; an empty text stays empty, without quotes.
void EscapeText(std::wstring& text, bool bQuote);
// Decodes backslash escapes ("\n", "\N", "\r", "\R", any other "\x" gives x, a trailing
// backslash is dropped) and removes one enclosing pair of quotes: a leading quote always, the
// final quote only when a leading one was removed.
void UnescapeText(std::wstring& text);
