// Build step: writes Locanym-places.dat from the fetched GeoNames packages and the system's
// iso-codes. Usage:
//   places_convert --cities cities.pbf --admin1 admin1.json --countries iso_3166-1.json
//                  --locales /usr/share/locale --sources "TEXT" --out Locanym-places.dat
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "services/places_convert.h"

namespace {

int Run(int argc, char** argv) {
    SConvertPaths paths;
    std::string strOut;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string strName = argv[i];
        std::string strValue = argv[i + 1];
        if (strName == "--cities") {
            paths.strCitiesPbf = strValue;
        } else if (strName == "--admin1") {
            paths.strAdmin1Json = strValue;
        } else if (strName == "--countries") {
            paths.strIsoJson = strValue;
        } else if (strName == "--locales") {
            paths.strLocaleDir = strValue;
        } else if (strName == "--sources") {
            paths.strSources = strValue;
        } else if (strName == "--out") {
            strOut = strValue;
        } else {
            std::fprintf(stderr, "places_convert: unknown option %s\n", strName.c_str());
            return 2;
        }
    }
    if (strOut.empty() || paths.strCitiesPbf.empty() || paths.strAdmin1Json.empty() ||
        paths.strIsoJson.empty()) {
        std::fprintf(stderr,
                     "places_convert: --cities, --admin1, --countries and --out are needed\n");
        return 2;
    }
    std::vector<uint8_t> file;
    std::string strError;
    if (!ConvertPlaces(paths, file, strError)) {
        std::fprintf(stderr, "places_convert: %s\n", strError.c_str());
        return 1;
    }
    // Written beside the target and renamed, so that a failed run leaves no half file that a
    // later build would take as done.
    std::string strTemp = strOut + ".tmp";
    {
        std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "places_convert: cannot write %s\n", strTemp.c_str());
            std::remove(strTemp.c_str());
            return 1;
        }
    }
    if (std::rename(strTemp.c_str(), strOut.c_str()) != 0) {
        std::fprintf(stderr, "places_convert: cannot rename %s: %s\n", strTemp.c_str(),
                     std::strerror(errno));
        std::remove(strTemp.c_str());
        return 1;
    }
    std::printf("places_convert: %s, %zu bytes\n", strOut.c_str(), file.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The build step reports what went wrong in one line rather than an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "places_convert: %s\n", error.what());
        return 1;
    }
}
