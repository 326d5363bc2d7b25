#include "core/network_pause.h"

#include "base/log.h"

bool CNetworkPause::IsPaused(uint64_t nNowMs, std::wstring& strError) {
    if (!m_bPaused) return false;
    if (nNowMs < m_nPauseEndMs) {
        strError = m_strError;
        return true;
    }
    m_bPaused = false;
    m_nFailures = 0;
    WriteLog(kLogInfo, L"Network pause over, services are asked again");
    return false;
}

void CNetworkPause::OnUnreachable(uint64_t nNowMs, const std::wstring& strError) {
    if (++m_nFailures < kFailuresBeforePause) return;
    m_bPaused = true;
    m_nPauseEndMs = nNowMs + kNetworkPauseMs;
    m_strError = strError;
    WriteLog(kLogError, L"No server reached %d times in a row, no service is asked for %d s: %s",
             m_nFailures, static_cast<int>(kNetworkPauseMs / 1000), strError);
}

void CNetworkPause::OnReached() {
    m_nFailures = 0;
    if (!m_bPaused) return;
    m_bPaused = false;
    WriteLog(kLogInfo, L"Network pause over, services are asked again");
}
