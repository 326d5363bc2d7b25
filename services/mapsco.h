// MapsCo (table index 4): one JSON object with "display_name" and an "address" object; key
// parameter "api_key".
// Its lookup arrives with its own change; until then it answers 0 (see CCataloguedService).
#pragma once

#include "services/service_catalogue.h"

class CMapsCo : public CCataloguedService {
  public:
    CMapsCo(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kMapsCo) {}
};
