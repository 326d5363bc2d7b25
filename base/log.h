// The plug-in's one log function. Every line goes to the host through callback code 7, with
// the prefix "[Locanym Plugin]" (level 0) or "[!Locanym Plugin]" (level 1), cut to 2047
// characters. Until the host has handed over its callback (message 3) nothing is written.
//
// Control characters in a line (line breaks, tabs, C0 and C1 codes, U+2028 and U+2029) are
// written escaped as \n, \r, \t, \xNN or \uNNNN, so one call always writes exactly one line
// whatever the values it holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/host_api.h"

constexpr int kLogInfo = 0;
constexpr int kLogError = 1;
constexpr size_t kLogBufferChars = 2048;

// Sets the callback that log lines go to; null turns logging off. Set by message 3.
void SetLogCallback(SldHostCallback pfnCallback);
bool IsLogEnabled();
// Writes one already formatted line (escaped, then cut to 2047 characters).
void WriteLogLine(int nLevel, const std::wstring& strText);
// The same, taking the text over: a held-back line keeps it without a copy.
void WriteLogLine(int nLevel, std::wstring&& strText);
// The line as it is handed to the host: control characters escaped, cut to 2047 characters
// without splitting an escape.
std::wstring EscapeLogText(const std::wstring& strText);

// Formats one line (as AppendFormatArgs) and writes it as WriteLogLine does.
void WriteLogArgs(int nLevel, std::wstring_view format, const CFormatArg* args, size_t count);

template <class... A>
void WriteLog(int nLevel, std::wstring_view format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        WriteLogArgs(nLevel, format, nullptr, 0);
    } else {
        const CFormatArg list[] = {CFormatArg(args)...};
        WriteLogArgs(nLevel, format, list, sizeof...(A));
    }
}

// While one lives on a thread, the lines that thread writes are kept and handed to the host
// when the outermost one ends, in order. Declared before a lock guard, it keeps every host
// call out of the locked section: a host may send the module a message from its log callback.
// Not copyable; lives on the stack of one thread.
class CDeferredLog {
  public:
    CDeferredLog();
    ~CDeferredLog();
    CDeferredLog(const CDeferredLog&) = delete;
    CDeferredLog& operator=(const CDeferredLog&) = delete;
};
