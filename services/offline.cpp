#include "services/offline.h"

#include "base/log.h"
#include "platform/module.h"
#include "services/place_finder.h"
#include "services/places_data.h"

const wchar_t kPlacesFileName[] = L"Locanym-places.dat";

namespace {
std::wstring DefaultDataPath() {
    const std::wstring strModule = GetOwnModulePath();
    const size_t nSlash = strModule.find_last_of(L"/\\");
    if (nSlash == std::wstring::npos) return kPlacesFileName;
    return strModule.substr(0, nSlash + 1) + kPlacesFileName;
}
}  // namespace

COffline::COffline(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
    : CCataloguedService(settings, stopFlag, kOffline), m_strDataPath(DefaultDataPath()) {}
COffline::~COffline() = default;

bool COffline::OpenData() {
    if (m_pFinder) return true;
    auto pData = std::make_unique<CPlacesData>();
    std::wstring strError;
    if (!pData->Load(m_strDataPath, strError)) {
        if (strError != m_strOpenError) {
            WriteLog(kLogError, L"FindLocation, Offline: %s", strError);
            m_strOpenError = strError;
        }
        m_strError = FormatText(L"Locnm: Offline place data unusable: %s", strError);
        return false;
    }
    WriteLog(kLogInfo, L"FindLocation, Offline: %s (%s)", m_strDataPath, pData->GetSources());
    m_strOpenError.clear();
    m_pData = std::move(pData);
    m_pFinder = std::make_unique<CPlaceFinder>(*m_pData);
    m_strLangFound.clear();
    m_nLanguage = m_pFinder->FindLanguage(m_strLangFound);
    return true;
}

int COffline::FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                           CLocationRecord& out) {
    m_bTransportError = false;
    m_strError.clear();
    m_strUrl.clear();
    m_strLogUrl.clear();
    if (!OpenData()) return 0;
    if (m_settings.m_strLang != m_strLangFound) {
        m_strLangFound = m_settings.m_strLang;
        m_nLanguage = m_pFinder->FindLanguage(m_strLangFound);
    }
    CPlaceNames names;
    if (!m_pFinder->Find(strLat, strLon, m_nLanguage, names)) {
        m_strError = FormatText(L"Locnm: No place known within %d km of %s,%s",
                                static_cast<int>(kMaxPlaceDistanceKm), strLat, strLon);
        WriteLog(kLogInfo, L"FindLocation, Offline: no place within %d km of %s,%s",
                 static_cast<int>(kMaxPlaceDistanceKm), strLat, strLon);
        return 0;
    }
    out.m_strLocation = std::move(names.m_strPlace);
    out.m_strCity = std::move(names.m_strCity);
    out.m_strState = std::move(names.m_strAdmin1);
    out.m_strCountry = std::move(names.m_strCountry);
    out.m_strCountryCode = std::move(names.m_strCountryCode);
    out.m_strFullAddress = std::move(names.m_strFull);
    WriteLog(kLogInfo, L"FindLocation, Offline: <%s> <%s> <%s> <%s>", out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    return 1;
}

int COffline::ReadAnswer(const std::string&, CLocationRecord&) {
    return 0;
}

void COffline::BuildQuery(const std::wstring&, const std::wstring&, std::wstring&, CParamList&) {}
