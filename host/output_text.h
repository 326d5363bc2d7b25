// The forms in which the host writes texts: one line of plain output, JSON, CSV.
#pragma once

#include <string>
#include <string_view>

// Control characters and backslashes as escapes (\n, \t, \\, \xNN), so nothing in a value can
// break a line or the tab between fields. UTF-8 out.
std::string EscapeForLine(std::wstring_view strText);
// The same, appended to strOut.
void AppendEscapedForLine(std::string& strOut, std::wstring_view strText);
// True when valid UTF-8 text holds nothing that EscapeForLine changes (no ASCII control
// character, no backslash): its escaped form is the text itself.
bool IsPlainForLine(std::string_view strUtf8);

// A JSON string with its quotes.
std::string JsonQuote(const std::wstring& strText);

// A CSV field as exiftool reads it: quoted (with quotes doubled) when it holds a comma, a
// quote, a line break or blanks at either end; as it is otherwise.
std::string CsvField(const std::string& strText);
