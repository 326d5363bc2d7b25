// A show without network: after three lookups in a row that reached no server, no service is
// asked for a minute and every photo gets the last failure's text at once. Owned by the
// application object; used on the thread that runs message 19, one call at a time.
#pragma once

#include <cstdint>
#include <string>

constexpr int kFailuresBeforePause = 3;
constexpr uint64_t kNetworkPauseMs = 60000;

class CNetworkPause {
  public:
    // True while a pause lasts at nNowMs, with the text of the failure that began it in
    // strError. A pause whose time is over ends here (logged once).
    bool IsPaused(uint64_t nNowMs, std::wstring& strError);
    // A lookup reached no server; the third in a row begins a pause (logged once).
    void OnUnreachable(uint64_t nNowMs, const std::wstring& strError);
    // A lookup reached a server (with any answer): the count starts again.
    void OnReached();

  private:
    int m_nFailures = 0;
    bool m_bPaused = false;
    uint64_t m_nPauseEndMs = 0;
    std::wstring m_strError;
};
