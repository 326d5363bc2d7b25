// Base class of the reverse-geocoding services.
//
// One object per service lives in the application's service table for the life of the module.
// Operations run on the host thread that delivers the photo message, one lookup at a time;
// only the stop flag may change under them (from the stop message, on another thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "services/param.h"

class CPlugInSettings;

// Results of QueryServer and QueryServerLow besides 0 (status 200) and an HTTP status.
constexpr int kQueryFailed = -1;     // bad URL or scheme, or the request could not be sent
constexpr int kQueryException = -2;  // the transfer broke (network, TLS, time-out, size cap)
constexpr int kQueryStopped = -3;    // the stop flag was set while the answer was awaited

constexpr int kMaxQueryAttempts = 2;
constexpr long kConnectTimeoutMs = 10000;
constexpr int32_t kStallTimeoutSeconds = 30;
constexpr size_t kMaxAnswerBytes = 8u * 1024u * 1024u;
// The body is taken in pieces: up to a line feed, or this many bytes without carriage returns.
constexpr size_t kAnswerPieceBytes = 2044;

class CLocanymObj {
  public:
    CLocanymObj(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag);
    virtual ~CLocanymObj();
    CLocanymObj(const CLocanymObj&) = delete;
    CLocanymObj& operator=(const CLocanymObj&) = delete;

    // The user's key when set, else the service's built-in default key.
    virtual std::wstring GetApiKey() const = 0;
    virtual std::wstring GetHomePageUrl() const = 0;
    virtual std::wstring GetServiceName() const = 0;
    virtual std::wstring GetSignUpUrl() const = 0;
    // Looks up the place at the coordinates (texts sent unchanged). 1 when an answer was
    // understood (some outputs may stay empty); 0 otherwise, with the reason in m_strError.
    // The six outputs come in empty; on 0 they are left as they came.
    virtual int FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                             std::wstring& strLocation, std::wstring& strCity,
                             std::wstring& strState, std::wstring& strCountry,
                             std::wstring& strCountryCode, std::wstring& strFullAddress) = 0;
    // Builds the complete request URL: base, "?", the parameters, the key parameter last.
    // Appends the key parameter to params.
    virtual void BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl,
                                 CParamList& params, int nUnused) = 0;
    // The part of FindLocation after the query: reads an answer body (any bytes) into the six
    // outputs. Same result and outputs as FindLocation; never throws.
    virtual int ReadAnswer(const std::string& strAnswer, std::wstring& strLocation,
                           std::wstring& strCity, std::wstring& strState, std::wstring& strCountry,
                           std::wstring& strCountryCode, std::wstring& strFullAddress) = 0;

    // One request to the service, at most two attempts (a second one only after an HTTP status
    // other than 200, 400, 401 and 403). strBaseUrl is scheme, host and path; the endpoint
    // override of the environment applies. Result: 0 for status 200, the HTTP status, or
    // kQueryFailed, kQueryException, kQueryStopped. The answer holds the body of the last
    // attempt (without carriage returns), also with an HTTP error status. m_strUrl and
    // m_strError describe the last attempt. params is left as it came.
    int QueryServer(const std::wstring& strBaseUrl, const CParamList& params,
                    std::string& strAnswer);
    // One attempt for a complete URL; result and answer as for QueryServer.
    int QueryServerLow(const std::wstring& strUrl, std::string& strAnswer);

    std::wstring m_strApiKey;    // the user's key; empty: the built-in default is used
    std::wstring m_strHostName;  // "Slidora"
    std::wstring m_strError;     // last-error text of this service
    std::wstring m_strUrl;       // URL of the latest request
    // No byte for this long ends a request; tests shorten it.
    int32_t m_nStallTimeoutSeconds = kStallTimeoutSeconds;

  protected:
    // Appends a text taken from an error answer to m_strError, after a line break when
    // m_strError already holds the transport's text.
    void AppendServerError(const std::wstring& strText);

    const CPlugInSettings& m_settings;
    const std::atomic<int32_t>& m_stopFlag;
};
