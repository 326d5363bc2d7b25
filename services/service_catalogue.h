// The table of the six services, in the order of the "iProv" setting.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/settings.h"
#include "services/locanym_obj.h"

using CServiceTable = std::array<std::unique_ptr<CLocanymObj>, kServiceCount>;

// Creates the six services in table order: 0 LocationIQ, 1 GeoApify, 2 GeoNames,
// 3 BigDataCloud, 4 MapsCo, 5 OpenWeather. The objects keep references to both arguments.
CServiceTable CreateServices(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag);
