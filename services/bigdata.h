// BigDataCloud (table index 3): one flat JSON object; key parameter "key".
// Its lookup arrives with its own change; until then it answers 0 (see CCataloguedService).
#pragma once

#include "services/service_catalogue.h"

class CBigData : public CCataloguedService {
  public:
    CBigData(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kBigDataCloud) {}
};
