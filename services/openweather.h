// OpenWeather (table index 5): the one place nearest to the coordinates, as an array of places;
// key parameter "appid". No language is sent.
#pragma once

#include "services/service_catalogue.h"

class COWeatherObj : public CCataloguedService {
  public:
    COWeatherObj(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
        : CCataloguedService(settings, stopFlag, kOpenWeather) {}

    // Reads the first place: location and city from "name", state from "state", country and
    // country code from "country", and the full address joined from the three. An error answer
    // is an object with "cod" and "message".
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override;

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring& strLon, std::wstring& strPath,
                    CParamList& params) override;
};
