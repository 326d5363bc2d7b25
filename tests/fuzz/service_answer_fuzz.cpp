// Arbitrary bytes as the answer body of every service: the reading after the query must never
// crash or throw, and a refused answer leaves the location record empty. The first byte picks
// the GeoNames options, so that both ways of choosing the administrative levels are reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/log.h"
#include "services/service_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CPlugInSettings settings;
    static std::atomic<int32_t> stop{0};
    static CServiceTable services = [] {
        // Log lines are formatted, as in the module, and dropped.
        SetLogCallback([](int32_t, uintptr_t, uintptr_t) -> intptr_t { return 0; });
        return CreateServices(settings, stop);
    }();
    if (size == 0) return 0;
    const uint8_t options = data[0];
    settings.m_bGeo1 = options & 1;
    settings.m_bGeo2 = (options >> 1) & 1;
    settings.m_strGeoCC1 = (options & 4) ? L"fr, IT" : L"";
    settings.m_strGeoCC2 = (options & 8) ? L"RU,ru , de" : L"";
    const std::string strAnswer(reinterpret_cast<const char*>(data) + 1, size - 1);

    for (auto& pService : services) {
        pService->m_strError = (options & 16) ? L"Locnm: HTTP Error 401" : L"";
        CLocationRecord record;
        const int nResult = pService->ReadAnswer(strAnswer, record);
        if (nResult != 0 && nResult != 1) std::abort();
    }
    return 0;
}
