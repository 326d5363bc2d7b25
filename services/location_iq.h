// LocationIQ (table index 0): one JSON object with "display_name" and an "address" object; key
// parameter "key".
// Its lookup arrives with its own change; until then it answers 0 (see CCataloguedService).
#pragma once

#include "services/service_catalogue.h"

class CLocationIQ : public CCataloguedService {
  public:
    CLocationIQ(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kLocationIQ) {}
};
