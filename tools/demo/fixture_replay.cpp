#include "tools/demo/fixture_replay.h"

#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace fs = std::filesystem;

namespace {

struct SPathService {
    const char* pszPath;
    const char* pszService;
};

const SPathService kPaths[] = {
    {"/findNearbyPlaceNameJSON", "geonames"},
    {"/findNearbyJSON", "geonames"},
    {"/geo/1.0/reverse", "openweather"},
    {"/v1/geocode/reverse", "geoapify"},
    {"/v1/reverse", "locationiq"},
    {"/reverse", "mapsco"},
    {"/data/reverse-geocode", "bigdatacloud"},
};

const char* const kLatNames[] = {"lat", "latitude"};
// A recorded answer serves requests up to this far (in degrees) from its place; farther away a
// replayed answer would name the wrong city.
constexpr double kMaxDegreesAway = 2.0;
const char* const kLonNames[] = {"lng", "lon", "longitude"};

bool ToDouble(const std::string& text, double& dValue) {
    const char* end = text.data() + text.size();
    auto res = std::from_chars(text.data(), end, dValue);
    return res.ec == std::errc() && res.ptr == end;
}

bool MemberNumber(const Json::Value& obj, const char* pszName, double& dValue) {
    const Json::Value* p = obj.find(pszName, pszName + std::char_traits<char>::length(pszName));
    if (!p) return false;
    if (p->isNumeric()) {
        dValue = p->asDouble();
        return true;
    }
    return p->isString() && ToDouble(p->asString(), dValue);
}

// The first object, depth first, that carries both a latitude and a longitude member.
bool FindPlace(const Json::Value& v, double& dLat, double& dLon, int nDepth = 0) {
    if (nDepth > 8) return false;
    if (v.isObject()) {
        bool bLat = false, bLon = false;
        for (const char* name : kLatNames) bLat = bLat || MemberNumber(v, name, dLat);
        for (const char* name : kLonNames) bLon = bLon || MemberNumber(v, name, dLon);
        if (bLat && bLon) return true;
        for (const auto& name : v.getMemberNames()) {
            if (FindPlace(v[name], dLat, dLon, nDepth + 1)) return true;
        }
    } else if (v.isArray()) {
        for (const auto& item : v) {
            if (FindPlace(item, dLat, dLon, nDepth + 1)) return true;
        }
    }
    return false;
}

bool RequestedPlace(const SLoopbackRequest& request, double& dLat, double& dLon) {
    bool bLat = false, bLon = false;
    for (const char* name : kLatNames) bLat = bLat || ToDouble(request.QueryValue(name), dLat);
    for (const char* name : kLonNames) bLon = bLon || ToDouble(request.QueryValue(name), dLon);
    return bLat && bLon;
}

}  // namespace

std::string ServiceForPath(const std::string& strPath) {
    for (const SPathService& entry : kPaths) {
        if (strPath == entry.pszPath) return entry.pszService;
    }
    return std::string();
}

bool CFixtureReplay::Load(const fs::path& folder, std::string& strError) {
    m_fixtures.clear();
    std::error_code ec;
    for (const auto& serviceDir : fs::directory_iterator(folder, ec)) {
        if (!serviceDir.is_directory()) continue;
        for (const auto& file : fs::directory_iterator(serviceDir.path(), ec)) {
            if (file.path().extension() != ".json") continue;
            SFixture fixture;
            if (!LoadFixture(file.path(), fixture.answer)) continue;
            fixture.strService = serviceDir.path().filename().string();
            fixture.strName = file.path().stem().string();
            fixture.bResult = fixture.strName.rfind("result", 0) == 0;
            Json::Value root;
            Json::Reader reader;
            const std::string& body = fixture.answer.strBody;
            if (reader.parse(body.data(), body.data() + body.size(), root, false))
                fixture.bHasPlace = FindPlace(root, fixture.dLat, fixture.dLon);
            m_fixtures.push_back(std::move(fixture));
        }
    }
    std::sort(m_fixtures.begin(), m_fixtures.end(), [](const SFixture& a, const SFixture& b) {
        return a.strService != b.strService ? a.strService < b.strService : a.strName < b.strName;
    });
    if (m_fixtures.empty()) {
        strError = "no fixtures in " + folder.string();
        return false;
    }
    return true;
}

SLoopbackAnswer CFixtureReplay::Answer(const SLoopbackRequest& request,
                                       std::string& strChosen) const {
    const std::string strService = ServiceForPath(request.strPath);
    double dLat = 0.0, dLon = 0.0;
    const bool bPlace = RequestedPlace(request, dLat, dLon);
    const SFixture* pBest = nullptr;
    double dBest = std::numeric_limits<double>::max();
    for (const SFixture& fixture : m_fixtures) {
        if (fixture.strService != strService || !fixture.bResult) continue;
        double dDistance = dBest;
        if (bPlace && fixture.bHasPlace) {
            // Good enough to tell cities apart: squared degrees, longitude not scaled.
            dDistance = (fixture.dLat - dLat) * (fixture.dLat - dLat) +
                        (fixture.dLon - dLon) * (fixture.dLon - dLon);
        }
        if (!pBest || dDistance < dBest) {
            pBest = &fixture;
            dBest = dDistance;
        }
    }
    if (!pBest || (bPlace && pBest->bHasPlace && dBest > kMaxDegreesAway * kMaxDegreesAway)) {
        strChosen.clear();
        SLoopbackAnswer none;
        none.nStatus = 404;
        none.strBody = "{\"error\":\"no recorded answer near this place\"}";
        return none;
    }
    strChosen = pBest->strService + "/" + pBest->strName;
    return pBest->answer;
}
