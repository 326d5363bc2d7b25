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

#include "http/query.h"
#include "services/location_record.h"
#include "services/param.h"

class CPlugInSettings;

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
    // False for a service that takes no key: no "AK-<name>" setting is kept for it.
    virtual bool UsesKey() const = 0;
    // Looks up the place at the coordinates (texts sent unchanged). 1 when an answer was
    // understood (some parts may stay empty); 0 otherwise, with the reason in m_strError.
    // out comes in empty; on 0 it is left as it came.
    virtual int FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                             CLocationRecord& out) = 0;
    // Builds the complete request URL: base, "?", the parameters, the key parameter last.
    // Appends the key parameter to params.
    virtual void BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl,
                                 CParamList& params, int nUnused) = 0;
    // The part of FindLocation after the query: reads an answer body (any bytes) into out.
    // 1 when understood; 0 with the reason in m_strError, and out possibly half written (the
    // lookup then drops it). Never throws.
    virtual int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) = 0;

    // One request to the service, at most two attempts (a second one only after an HTTP status
    // other than 200, 400, 401 and 403). strBaseUrl is scheme, host and path; the configured
    // endpoint override applies, and one that is set but unusable fails the request with
    // kQueryFailed before anything is sent. Log lines show the key parameter's value as "***".
    // Result: 0 for status 200, the HTTP status, or kQueryFailed, kQueryException, kQueryStopped.
    // The answer holds the body of the last attempt (without carriage returns), also with an HTTP
    // error status. m_strUrl and m_strError describe the last attempt. params is left as it came.
    int QueryServer(const std::wstring& strBaseUrl, const CParamList& params,
                    std::string& strAnswer);
    // One attempt for a complete URL (HttpQuery with this service's stop flag, stall time and
    // time limit); result and answer as for QueryServer. strLogUrl: the URL as logged (empty:
    // strUrl).
    int QueryServerLow(const std::wstring& strUrl, std::string& strAnswer,
                       const std::wstring& strLogUrl = std::wstring());

    std::wstring m_strApiKey;    // the user's key; empty: the built-in default is used
    std::wstring m_strHostName;  // "Slidora"
    std::wstring m_strError;     // last-error text of this service
    std::wstring m_strUrl;       // URL of the latest request
    std::wstring m_strLogUrl;    // the same with the key masked: the only one a log line may show
    // The latest FindLocation failed because the server could not be reached or the transfer
    // broke (kQueryFailed, kQueryException); not for an HTTP status, an error answer or a stop.
    bool m_bTransportError = false;
    // No byte for this long ends a request; tests shorten it.
    int32_t m_nStallTimeoutSeconds = kStallTimeoutSeconds;
    // An attempt ends after this long in all; tests shorten it.
    int32_t m_nAttemptTimeoutSeconds = kAttemptTimeoutSeconds;
    // The last request reached no server (name not resolved, connection refused, time-out).
    bool m_bUnreachable = false;

  protected:
    // Appends a text taken from an error answer to m_strError, after a line break when
    // m_strError already holds the transport's text.
    void AppendServerError(const std::wstring& strText);

    const CPlugInSettings& m_settings;
    const std::atomic<int32_t>& m_stopFlag;
};
