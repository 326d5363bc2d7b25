// Geoapify (table index 1): up to five results near the coordinates; key parameter "apiKey".
// Its lookup arrives with its own change; until then it answers 0 (see CCataloguedService).
#pragma once

#include "services/service_catalogue.h"

class CGeoApify : public CCataloguedService {
  public:
    CGeoApify(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kGeoApify) {}
};
