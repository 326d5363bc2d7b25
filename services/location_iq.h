// LocationIQ (table index 0, the default service): one object with "display_name" and an
// "address" object; key parameter "key". Setting read: "Lang", sent in lower case as
// "accept-language".
#pragma once

#include "services/address_service.h"

class CLocationIQ : public CAddressService {
  public:
    CLocationIQ(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CAddressService(settings, stopFlag, kLocationIQ) {}

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
    CJsonNameSpan AnswerNames() const override;
    // "error" as text, or a number written without decimals.
    std::wstring ErrorText(const Json::Value& root) const override;
    // Location from "name", else "road", else the city.
    void ReadAddress(const Json::Value& address, CLocationRecord& out) const override;
};
