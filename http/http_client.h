// One HTTP(S) GET through the platform's HTTP stack (libcurl on POSIX, http_curl.cpp). The
// server query above it sees only this interface, never the stack's types or error codes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct SHttpGetRequest {
    std::string strUrl;        // absolute http or https URL
    std::string strUserAgent;  // sent as the one User-Agent header
    // Further "Name: value" lines, owned by the caller; null: none. Requests that send the
    // same lines again make no new header list.
    const std::vector<std::string>* pHeaders = nullptr;
    std::string strCaFile;  // an extra CA bundle to trust; empty: the system's only
    long nConnectTimeoutMs = 10000;
    long nStallTimeoutSeconds = 30;  // no byte for this long ends the transfer
};

// Receives the answer while it arrives. Called on the thread that runs HttpGet.
class IHttpAnswerSink {
  public:
    virtual ~IHttpAnswerSink() = default;
    // The status of the final answer (after redirects), once, as soon as its headers are in.
    virtual void OnStatus(int nStatus) = 0;
    // The next bytes of the body as they came; false ends the transfer.
    virtual bool OnBody(const char* pData, size_t nSize) = 0;
    // Asked repeatedly while the transfer waits for the network; false ends the transfer.
    virtual bool ShouldContinue() = 0;
};

enum class EHttpOutcome {
    kCompleted,       // a whole answer arrived
    kNoRequest,       // the stack could not make a request object
    kNotSent,         // the stack refused the request before sending it
    kEndedBySink,     // OnBody or ShouldContinue said stop
    kSinkException,   // the sink threw (out of memory, say); the transfer was ended
    kTransportError,  // connection, name lookup, TLS, time-out or a broken answer
};

struct SHttpGetResult {
    EHttpOutcome eOutcome = EHttpOutcome::kCompleted;
    int nStatus = 0;           // the final status, 0 when none arrived
    int nErrorCode = 0;        // the stack's own error number
    std::string strErrorText;  // its message, UTF-8
    // No server answered: the name was not resolved, the connection was refused or it timed
    // out.
    bool bUnreachable = false;
};

// Performs the request with HTTP/1.0, following redirects (http and https only), verifying
// TLS certificates, with no cache on this side and asking for none on the way. Never throws;
// an exception from the sink ends the transfer as kSinkException.
SHttpGetResult HttpGet(const SHttpGetRequest& request, IHttpAnswerSink& sink);
