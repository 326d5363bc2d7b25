// Base class of the reverse-geocoding services.
//
// One object per service lives in the application's service table for the life of the module.
// Operations run on the host thread that delivers the photo message, one lookup at a time;
// only the stop flag may change under them (from the stop message).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

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
    // Looks up the place at the coordinates (texts sent unchanged). 1 when an answer was
    // understood (some outputs may stay empty); 0 otherwise, with the reason in m_strError.
    // The six outputs come in empty; on 0 they are left as they came.
    virtual int FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                             std::wstring& strLocation, std::wstring& strCity,
                             std::wstring& strState, std::wstring& strCountry,
                             std::wstring& strCountryCode, std::wstring& strFullAddress) = 0;
    // Builds the complete request URL: base, "?", the parameters, the key parameter last.
    virtual void BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl,
                                 CParamList& params, int nUnused) = 0;

    std::wstring m_strApiKey;    // the user's key; empty: the built-in default is used
    std::wstring m_strHostName;  // "Slidora"
    std::wstring m_strError;     // last-error text of this service
    std::wstring m_strUrl;       // URL of the latest request

protected:
    const CPlugInSettings& m_settings;
    const std::atomic<int32_t>& m_stopFlag;
};
