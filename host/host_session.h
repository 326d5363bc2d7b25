// One run of the reference host with a loaded module: sends messages and answers the module's
// callbacks (data folder, settings, log lines, the show path).
//
// The module calls back through a plain function pointer, so one session at a time may talk to
// a module; messages are sent from the main thread, except message 10 from the interrupt
// watcher while a photo is being processed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "base/host_api.h"
#include "host/host_platform.h"
#include "host/host_settings.h"
#include "host/photo_status.h"

// Standard error shared by the host's notes, the module's log lines and the progress line,
// which is wiped before anything else is written so that lines never mix.
class CConsole {
  public:
    // The host's own remark, headed by the program's name.
    void Note(const std::string& strText);
    void Line(const std::string& strText);
    // Progress is shown only on a terminal; an empty text wipes it.
    void Progress(const std::string& strText);
    // True when Progress shows anything, so that its text need not be made otherwise.
    bool ShowsProgress();

  private:
    void WipeProgress();
    std::mutex m_mutex;
    bool m_bProgressShown = false;
    int m_nTerminal = -1;  // unknown until first needed
};

// One setting the module read (callback code 6), as answered.
struct SSettingRead {
    std::string strSection, strKey;
    bool bText = false;
    bool bStored = false;  // false: the record's default was answered
    int32_t nValue = 0;
    std::wstring strValue;
};

struct SHostOptions {
    std::filesystem::path module;
    std::filesystem::path dataFolder;  // empty: code 3 answers nothing
    std::filesystem::path logFile;     // empty: no log file
    bool bLogToStderr = false;         // log lines (also) to standard error
    std::filesystem::path showPath;    // empty: code 11 answers 0
};

class CHostSession {
  public:
    CHostSession(const SHostOptions& options, CHostSettings& settings, CConsole& console);
    ~CHostSession();
    CHostSession(const CHostSession&) = delete;
    CHostSession& operator=(const CHostSession&) = delete;

    // Loads the module and opens the log file. False with the reason in strError.
    bool Open(std::string& strError);

    // Sends one message; settings the module wrote are saved to the file when it returns.
    uintptr_t Send(uintptr_t nMessage, uintptr_t wParam = 0, uintptr_t lParam = 0);
    // Message 3 with this host's callback.
    uintptr_t Initialise(uintptr_t nStartValue = 0);
    // Message 10 with lparam 0 from another thread, while message 19 may be running.
    void SendStopFlag();

    // False once settings could not be saved; the reason is in SaveError.
    bool SettingsSaved() const { return m_strSaveError.empty(); }
    const std::string& SaveError() const { return m_strSaveError; }

    // While set, every log line is also fed to the trace (the caller's; it must outlive the
    // setting). Null stops it.
    void TracePhoto(CPhotoTrace* pTrace);

    // Writes the log lines held back so far to the log file, and the captions standard output
    // holds. The session does so itself before and after every message but message 19, at
    // each error line and each request line of the module (a request can take seconds), when
    // a few dozen kilobytes are held, and on destruction; a crash loses at most what is held.
    // Any thread.
    void Flush();

    // Every setting the module read, in order.
    const std::vector<SSettingRead>& Reads() const { return m_reads; }

    intptr_t OnCallback(int32_t nCode, uintptr_t first, uintptr_t second);

  private:
    void WriteLogLine(const wchar_t* pszPrefix, const wchar_t* pszText);
    void FlushLogLocked();
    bool AnswerPath(const std::filesystem::path& path, uintptr_t buffer, uintptr_t capacity,
                    const char* pszWhat);

    SHostOptions m_options;
    CHostSettings& m_settings;
    CConsole& m_console;
    CModuleHandle m_module;
    CAppendFile m_log;
    std::mutex m_logMutex;
    std::string m_strPendingLog;  // lines not yet in the log file; under m_logMutex
    std::string m_strStamp;       // LocalTimestamp() of m_nStampSecond
    int64_t m_nStampSecond = -1;
    std::wstring m_strLastPrefix;     // the last line's prefix as the plug-in gave it
    std::string m_strLastPrefixLine;  // and as the log writes it
    CPhotoTrace* m_pTrace = nullptr;
    std::vector<SSettingRead> m_reads;
    std::vector<int32_t> m_unknownCodes;
    std::string m_strSaveError;
};
