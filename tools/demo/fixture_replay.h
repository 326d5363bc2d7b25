// Answers service requests from a folder of fixtures (tests/fixtures/services): the service is
// told by the request's path, and among that service's result fixtures the one whose place
// lies nearest to the requested coordinates is served, so a photo taken at a real place gets
// a real-shaped answer. Used by the demo's replay server and the services benchmark.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

class CFixtureReplay {
  public:
    // Loads every <service>/<case>.json below the folder. False (with the reason) when the
    // folder holds none.
    bool Load(const std::filesystem::path& folder, std::string& strError);
    // The answer for a request; 404 for a path of no known service, or when no recorded place
    // lies within 2 degrees of the requested coordinates.
    // strChosen names the fixture served ("geonames/result_city_paris...").
    SLoopbackAnswer Answer(const SLoopbackRequest& request, std::string& strChosen) const;
    size_t Count() const { return m_fixtures.size(); }

  private:
    struct SFixture {
        std::string strService, strName;
        bool bResult = false;  // a result, not an error answer
        bool bHasPlace = false;
        double dLat = 0.0, dLon = 0.0;
        SLoopbackAnswer answer;
    };
    std::vector<SFixture> m_fixtures;
};

// The service folder name for a request path ("/findNearbyJSON" is "geonames"), or empty.
std::string ServiceForPath(const std::string& strPath);
