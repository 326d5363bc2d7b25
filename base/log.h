// The plug-in's one log function. Every line goes to the host through callback code 7, with
// the prefix "[Locanym Plugin]" (level 0) or "[!Locanym Plugin]" (level 1), cut to 2047
// characters. Until the host has handed over its callback (message 3) nothing is written.
#pragma once

#include <cstddef>
#include <string>

#include "base/format.h"
#include "base/host_api.h"

constexpr int kLogInfo = 0;
constexpr int kLogError = 1;
constexpr size_t kLogBufferChars = 2048;

// Sets the callback that log lines go to; null turns logging off. Set by message 3.
void SetLogCallback(SldHostCallback pfnCallback);
bool IsLogEnabled();
// Writes one already formatted line (cut to 2047 characters).
void WriteLogLine(int nLevel, const std::wstring& strText);

template <class... A>
void WriteLog(int nLevel, std::wstring_view format, const A&... args) {
    if (!IsLogEnabled()) return;
    WriteLogLine(nLevel, FormatText(format, args...));
}
