#include "host/host_session.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <string_view>

#include "base/text.h"
#include "host/output_text.h"

namespace fs = std::filesystem;

namespace {

std::atomic<CHostSession*> g_pSession{nullptr};

// Log lines held back before they are written in one piece: a show from the cache writes two
// lines a photo, and a write each would cost more than the rest of the host's work.
constexpr size_t kPendingLogBytes = 32 * 1024;
// The module writes this line just before it sends a request, which may take seconds.
constexpr std::wstring_view kRequestLineHead = L"QueryServer: ";

intptr_t HostCallback(int32_t nCode, uintptr_t first, uintptr_t second) {
    CHostSession* pSession = g_pSession.load();
    return pSession ? pSession->OnCallback(nCode, first, second) : 0;
}

}  // namespace

void CConsole::Note(const std::string& strText) {
    Line("locanym-host: " + strText);
}

void CConsole::Line(const std::string& strText) {
    std::lock_guard<std::mutex> lock(m_mutex);
    WipeProgress();
    std::fputs((strText + "\n").c_str(), stderr);
    std::fflush(stderr);
}

bool CConsole::ShowsProgress() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nTerminal < 0) m_nTerminal = IsStderrTerminal() ? 1 : 0;
    return m_nTerminal != 0;
}

void CConsole::Progress(const std::string& strText) {
    if (!ShowsProgress()) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    WipeProgress();
    if (strText.empty()) return;
    std::fputs(strText.c_str(), stderr);
    std::fflush(stderr);
    m_bProgressShown = true;
}

void CConsole::WipeProgress() {
    if (!m_bProgressShown) return;
    std::fputs("\r\033[K", stderr);
    m_bProgressShown = false;
}

CHostSession::CHostSession(const SHostOptions& options, CHostSettings& settings, CConsole& console)
    : m_options(options), m_settings(settings), m_console(console) {}

CHostSession::~CHostSession() {
    Flush();
    CHostSession* pSelf = this;
    g_pSession.compare_exchange_strong(pSelf, nullptr);
}

bool CHostSession::Open(std::string& strError) {
    if (!m_options.logFile.empty() && !m_log.Open(m_options.logFile, strError)) return false;
    return m_module.Load(m_options.module, strError);
}

uintptr_t CHostSession::Send(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam) {
    g_pSession.store(this);
    // Other messages than the photo's are few, and one may open a dialog or save the cache.
    const bool bWriteThrough = nMessage != kMsgProcessPhoto;
    if (bWriteThrough) Flush();
    uintptr_t result = m_module.Handler()(nMessage, wParam, lParam);
    if (bWriteThrough) Flush();
    if (m_settings.IsDirty()) {
        std::string strError;
        if (!m_settings.Save(strError)) {
            m_strSaveError = strError;
            m_console.Note(strError);
        }
    }
    return result;
}

uintptr_t CHostSession::Initialise(uintptr_t nStartValue) {
    return Send(kMsgInitialise, reinterpret_cast<uintptr_t>(&HostCallback), nStartValue);
}

void CHostSession::SendStopFlag() {
    m_module.Handler()(kMsgStop, 0, 0);
}

intptr_t CHostSession::OnCallback(int32_t nCode, uintptr_t first, uintptr_t second) {
    switch (nCode) {
        case kCbDataFolder:
            AnswerPath(m_options.dataFolder, first, second, "data folder");
            return 0;
        case kCbCachePath:
            if (m_options.showPath.empty()) return 0;
            return AnswerPath(m_options.showPath, first, second, "show path") ? 1 : 0;
        case kCbLog:
            WriteLogLine(reinterpret_cast<const wchar_t*>(first),
                         reinterpret_cast<const wchar_t*>(second));
            return 0;
        case kCbReadSetting:
        case kCbWriteSetting:
            break;
        default:
            if (std::find(m_unknownCodes.begin(), m_unknownCodes.end(), nCode) ==
                m_unknownCodes.end()) {
                m_unknownCodes.push_back(nCode);
                m_console.Note("the plug-in used callback code " + std::to_string(nCode) +
                               ", which this host does not know; it was answered with 0");
            }
            return 0;
    }

    auto* pRecord = reinterpret_cast<SLD_PROFILE_RECORD*>(first);
    if (!pRecord) return 0;
    if (!m_settings.IsLoaded() && m_strSaveError.empty()) {
        std::string strError;
        if (!m_settings.Load(strError)) {
            m_strSaveError = strError;
            m_console.Note(strError);
        }
    }
    std::string strNote;
    if (nCode == kCbReadSetting) {
        SSettingRead read;
        read.strSection = WideToUtf8(WideTextAt(pRecord->section));
        read.strKey = WideToUtf8(WideTextAt(pRecord->key));
        m_settings.AnswerRead(*pRecord, read.bStored, strNote);
        read.bText = pRecord->type == kProfileText;
        if (read.bText) {
            read.strValue = WideTextAt(pRecord->value);
        } else {
            read.nValue = static_cast<int32_t>(static_cast<uint32_t>(pRecord->value));
        }
        m_reads.push_back(std::move(read));
    } else if (m_settings.IsLoaded()) {
        m_settings.TakeWrite(*pRecord, strNote);
    }
    if (!strNote.empty()) m_console.Note(strNote);
    return 0;
}

void CHostSession::TracePhoto(CPhotoTrace* pTrace) {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_pTrace = pTrace;
}

void CHostSession::Flush() {
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        FlushLogLocked();
    }
    std::fflush(stdout);
}

void CHostSession::FlushLogLocked() {
    if (m_strPendingLog.empty()) return;
    if (m_log.IsOpen()) m_log.Append(m_strPendingLog);
    m_strPendingLog.clear();
}

void CHostSession::WriteLogLine(const wchar_t* pszPrefix, const wchar_t* pszText) {
    const std::wstring_view strPrefix = pszPrefix ? pszPrefix : L"";
    const std::wstring_view strText = pszText ? pszText : L"";
    const bool bError = strPrefix.find(L'!') != std::wstring_view::npos;
    // Before a request or after an error, what is held is written, so that the log and the
    // captions tell where the show stands while it waits, or why it fails.
    const bool bWriteThrough =
        bError || (strText.size() >= kRequestLineHead.size() &&
                   strText.compare(0, kRequestLineHead.size(), kRequestLineHead) == 0);
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        if (m_pTrace) m_pTrace->AddLine(bError, strText);
        if (m_log.IsOpen()) {
            // The stamp's text changes once a second; the clock is read for every line.
            const int64_t nNow = static_cast<int64_t>(std::time(nullptr));
            if (nNow != m_nStampSecond) {
                m_strStamp = LocalTimestamp();
                // The stamp was taken within the second read only when the clock still reads it.
                m_nStampSecond = static_cast<int64_t>(std::time(nullptr)) == nNow ? nNow : -1;
            }
            // A value inside a log line may hold a line break; the log keeps one line per call.
            m_strPendingLog.append(m_strStamp).append(1, ' ');
            // Every line has one of the plug-in's two prefixes: the last one is kept escaped.
            if (strPrefix != m_strLastPrefix) {
                m_strLastPrefix = strPrefix;
                m_strLastPrefixLine = EscapeForLine(strPrefix);
            }
            m_strPendingLog.append(m_strLastPrefixLine);
            m_strPendingLog.append(1, ' ');
            AppendEscapedForLine(m_strPendingLog, strText);
            m_strPendingLog.append(1, '\n');
            if (bWriteThrough || m_strPendingLog.size() >= kPendingLogBytes) FlushLogLocked();
        }
    }
    if (bWriteThrough) std::fflush(stdout);
    if (m_options.bLogToStderr)
        m_console.Line(EscapeForLine(strPrefix) + " " + EscapeForLine(strText));
}

bool CHostSession::AnswerPath(const fs::path& path, uintptr_t buffer, uintptr_t capacity,
                              const char* pszWhat) {
    auto* pBuffer = reinterpret_cast<wchar_t*>(buffer);
    if (!pBuffer || path.empty()) return false;
    const std::wstring strPath = Utf8ToWide(path.string());
    if (strPath.size() >= capacity) {
        m_console.Note(std::string("the ") + pszWhat + " " + path.string() + " is " +
                       std::to_string(strPath.size()) +
                       " characters long; the plug-in has room for " +
                       std::to_string(capacity > 0 ? capacity - 1 : 0) + " and got none");
        return false;
    }
    std::wmemcpy(pBuffer, strPath.c_str(), strPath.size() + 1);
    return true;
}
