// Geoapify (table index 1): up to five results near the coordinates; key parameter "apiKey".
// Setting read: "Lang", sent in lower case.
#pragma once

#include "services/service_catalogue.h"

class CGeoApify : public CCataloguedService {
  public:
    CGeoApify(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kGeoApify) {}

    // Fills every part from the first result that has it; an empty location becomes the city.
    // An error answer carries "statusCode"; its text is "error", a line break and "message".
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override;

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
};
