// The offline service (table index 6): the place a photo was taken in from the place data file
// Locanym-places.dat beside the module, with no key and no request; nothing leaves the machine.
// Settings read: "Lang" (the language of the country names).
#pragma once

#include <memory>
#include <string>

#include "services/service_catalogue.h"

class CPlacesData;
class CPlaceFinder;

class COffline : public CCataloguedService {
  public:
    COffline(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag);
    ~COffline() override;

    // Fills every part of out from the data file. 0, with the reason in m_strError (headed
    // "Locnm: ") and a log line, when the data file cannot be used, or when no place lies
    // within kMaxPlaceDistanceKm of the position (or the texts are no position); out is then
    // left as it came. Never makes a request; m_bTransportError stays false.
    int FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                     CLocationRecord& out) override;
    // There is no server to ask: no request and no answer to read.
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override;

    // The data file; by default Locanym-places.dat in the module's folder. A caller may set
    // another before the first lookup.
    std::wstring m_strDataPath;

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;

  private:
    // True when the finder is ready. A failed open is tried again on the next lookup (the file
    // may be put in place while the host runs); its log line is written when the reason changes.
    bool OpenData();

    std::unique_ptr<CPlacesData> m_pData;
    std::unique_ptr<CPlaceFinder> m_pFinder;
    std::wstring m_strOpenError;
    // The "Lang" value the language index below was found for.
    std::wstring m_strLangFound;
    int m_nLanguage = -1;
};

// The data file's name; it lies beside the module.
extern const wchar_t kPlacesFileName[];  // "Locanym-places.dat"
