// MapsCo (table index 4): one object with "display_name" and an "address" object; key parameter
// "api_key". No language is sent.
#pragma once

#include "services/address_service.h"

class CMapsCo : public CAddressService {
  public:
    CMapsCo(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CAddressService(settings, stopFlag, kMapsCo) {}

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
    CJsonNameSpan AnswerNames() const override;
    // The "message" of an "error" object; an "error" that is itself a text is the text; any
    // other type gives an empty text.
    std::wstring ErrorText(const Json::Value& root) const override;
    // City, state and location each from the first non-empty member of its list; an empty
    // location becomes the city and an empty city the location.
    void ReadAddress(const Json::Value& address, CLocationRecord& out) const override;
};
