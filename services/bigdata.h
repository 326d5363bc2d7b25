// BigDataCloud (table index 3): one flat object; key parameter "key". Setting read: "Lang",
// sent in lower case as "localityLanguage".
#pragma once

#include "services/service_catalogue.h"

class CBigData : public CCataloguedService {
  public:
    CBigData(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kBigDataCloud) {}

    // Fills location, city, state, country and country code; the full address is left
    // untouched. An error answer carries "status"; its text is "description", else "message"
    // (appended to m_strError, no log line).
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override;

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
};
