// One GET of an http or https URL, as the services need it: the body taken in pieces as a line
// reader would, a size cap, a stall time-out and a stop flag. It knows nothing of services.
// Runs on the calling thread; the stop flag may be set from another thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Results of a query besides 0 (status 200) and an HTTP status.
constexpr int kQueryFailed = -1;     // bad URL or scheme, or the request could not be sent
constexpr int kQueryException = -2;  // the transfer broke (network, TLS, time-out, size cap)
constexpr int kQueryStopped = -3;    // the stop flag was set while the answer was awaited

constexpr int kMaxQueryAttempts = 2;
constexpr long kConnectTimeoutMs = 10000;
constexpr int32_t kStallTimeoutSeconds = 30;
// An attempt ends after this long in all, however its answer trickles in.
constexpr int32_t kAttemptTimeoutSeconds = 60;
constexpr size_t kMaxAnswerBytes = 8u * 1024u * 1024u;
// The body is taken in pieces: up to a line feed, or this many bytes without carriage returns.
constexpr size_t kAnswerPieceBytes = 2044;

struct SHttpQuery {
    std::wstring strUrl;
    // The URL as log lines show it (its key masked); empty: strUrl.
    std::wstring strLogUrl;
    long nConnectTimeoutMs = kConnectTimeoutMs;
    int32_t nStallTimeoutSeconds = kStallTimeoutSeconds;      // below 1 counts as 1
    int32_t nAttemptTimeoutSeconds = kAttemptTimeoutSeconds;  // below 1 counts as 1
    size_t nMaxAnswerBytes = kMaxAnswerBytes;
    const std::atomic<int32_t>* pStopFlag = nullptr;  // not owned; null: never stopped
};

struct SHttpQueryResult {
    // 0 for status 200, the HTTP status, or kQueryFailed, kQueryException, kQueryStopped.
    int nResult = kQueryFailed;
    // The body without carriage returns, also with an HTTP error status; what came before a
    // broken transfer.
    std::string strBody;
    std::wstring strError;  // the user-facing reason; empty on status 200
    std::wstring strUrl;    // the URL fetched
    // No server answered: the name was not resolved, the connection was refused, or the
    // attempt timed out (stall or time limit).
    bool bUnreachable = false;
};

// Never throws. Logs each failure.
SHttpQueryResult HttpQuery(const SHttpQuery& query);

// Settings of the HTTP layer that come from outside the host's storage. They are read once when
// the module starts (ReadHttpConfigFromEnvironment) and handed in with SetHttpConfig.
struct SHttpConfig {
    // LOCANYM_SERVICE_URL: an http or https URL whose scheme, host, port and path prefix replace
    // those of every request; empty: requests go where the services send them.
    std::wstring strServiceUrl;
    // LOCANYM_CA_FILE: an extra CA bundle to trust for https; empty: the system's only.
    std::string strCaFile;
};

SHttpConfig ReadHttpConfigFromEnvironment();
// Thread-safe; takes effect for the requests that start afterwards.
void SetHttpConfig(const SHttpConfig& config);
SHttpConfig GetHttpConfig();
