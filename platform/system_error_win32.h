// The system's texts for Windows error codes, shared by the Windows platform files. Included by
// *_win32.cpp files only.
#pragma once

#include <string>

// The system's text for a GetLastError code, without the line end and full stop FormatMessage
// appends; empty when the system has no text for it.
std::wstring SystemErrorText(unsigned long dwError);

// "context: text", or "context: error N" when the system has no text for the code.
std::wstring Win32Error(const std::wstring& strContext, unsigned long dwError);
