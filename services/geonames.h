// GeoNames (table index 2): the places near the coordinates, over plain http. The key is the
// user's GeoNames account name ("username"). Settings read: "Lang", "GeoType", "Geo1", "Geo2",
// "GeoCC1", "GeoCC2".
#pragma once

#include "services/service_catalogue.h"

class CGeoNames : public CCataloguedService {
  public:
    CGeoNames(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kGeoNames) {}

    // Fills location, city, state, country and country code from the first places that have
    // them; the full address is left untouched.
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override;

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
};
