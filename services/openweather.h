// OpenWeather (table index 5): an array of places, the first one read; key parameter "appid".
// Its lookup arrives with its own change; until then it answers 0 (see CCataloguedService).
#pragma once

#include "services/service_catalogue.h"

class COWeatherObj : public CCataloguedService {
  public:
    COWeatherObj(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kOpenWeather) {}
};
