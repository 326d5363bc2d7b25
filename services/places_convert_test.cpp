// The converter on handmade sources written to real files, read back through the reader and
// the finder: languages, divisions without a name, dropped features, the edges of the map; and
// the reader on that file damaged in every section.
#include "services/places_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "base/text.h"
#include "services/place_finder.h"
#include "tests/support/file_bytes.h"
#include "tests/support/plugin_host.h"

namespace {

struct SHandmadePlace {
    const char *pszName, *pszCountry, *pszFeature, *pszAdmin1;
    uint32_t nPopulation;
    double dLat, dLon;
};

const SHandmadePlace kPlaces[] = {
    {"Grandville", "FR", "PPLC", "11", 2000000, 48.85, 2.35},
    {"Le Quartier", "FR", "PPLX", "11", 5000, 48.86, 2.30},
    {"Banlieue", "FR", "PPL", "11", 50000, 48.92, 2.20},
    {"Ruine", "FR", "PPLQ", "11", 9000000, 48.851, 2.351},
    {"Dateline East", "FJ", "PPL", "03", 3000, -16.5, -179.99},
    {"Nullton", "ZZ", "PPL", "", 0, 0.01, 0.01},
    {"South Base", "AQ", "PPL", "", 1000, -89.95, 0},
    {"Coastal", "PT", "PPL", "", 2000, 10, 20},
    {"Taipei", "TW", "PPLC", "", 2600000, 25.05, 121.53},
};

void AppendVarint(std::string& out, uint64_t n) {
    for (; n >= 0x80; n >>= 7) out += static_cast<char>(n | 0x80);
    out += static_cast<char>(n);
}

void AppendText(std::string& out, int nTag, const char* psz) {
    AppendVarint(out, nTag << 3 | 2);
    AppendVarint(out, std::strlen(psz));
    out += psz;
}

std::string CitiesPbf() {
    std::string out;
    int64_t nLat = 0, nLon = 0;
    for (const SHandmadePlace& place : kPlaces) {
        std::string message;
        AppendVarint(message, 1 << 3);  // an id, as the real file has: read and ignored
        AppendVarint(message, 77);
        AppendText(message, 2, place.pszName);
        AppendText(message, 3, place.pszCountry);
        AppendText(message, 7, place.pszFeature);
        AppendText(message, 8, place.pszAdmin1);
        if (place.nPopulation) {
            AppendVarint(message, 9 << 3);
            AppendVarint(message, place.nPopulation);
        }
        int64_t nNewLat = std::llround(place.dLat * 1e5), nNewLon = std::llround(place.dLon * 1e5);
        int64_t deltas[] = {nNewLon - nLon, nNewLat - nLat};
        for (int i = 0; i < 2; ++i) {
            AppendVarint(message, (10 + i) << 3);
            AppendVarint(message,
                         static_cast<uint64_t>(deltas[i] * 2) ^ (deltas[i] < 0 ? ~0ull : 0));
        }
        nLat = nNewLat;
        nLon = nNewLon;
        AppendVarint(out, message.size());
        out += message;
    }
    return out;
}

void AppendU32(std::string& out, uint32_t n) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(n >> (8 * i));
}

void PutU32(std::vector<uint8_t>& file, size_t nAt, uint32_t nValue) {
    for (int i = 0; i < 4; ++i) file[nAt + i] = static_cast<uint8_t>(nValue >> (8 * i));
}

// A GNU .mo file with a header entry, as msgfmt writes it.
std::string MoCatalogue(std::vector<std::pair<std::string, std::string>> messages) {
    messages.insert(messages.begin(), {"", "Content-Type: text/plain; charset=UTF-8\n"});
    uint32_t nCount = static_cast<uint32_t>(messages.size());
    std::string out, strings;
    uint32_t nStrings = 28 + 16 * nCount;
    AppendU32(out, 0x950412de);
    for (uint32_t n : {0u, nCount, 28u, 28 + 8 * nCount, 0u, nStrings}) AppendU32(out, n);
    for (int nSide = 0; nSide < 2; ++nSide) {
        for (const auto& [strId, strText] : messages) {
            const std::string& s = nSide ? strText : strId;
            AppendU32(out, static_cast<uint32_t>(s.size()));
            AppendU32(out, nStrings + static_cast<uint32_t>(strings.size()));
            strings += s + '\0';
        }
    }
    return out + strings;
}

class PlacesConverter : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::filesystem::path& dir = m_temp.Path();
        WriteFileBytes(dir / "cities.pbf", CitiesPbf());
        WriteFileBytes(
            dir / "admin1.json",
            R"([{"code":"FR.11","name":"Île-de-France"},{"code":"FJ.01","name":"Central"}])");
        WriteFileBytes(dir / "iso.json", R"({"3166-1":[
            {"alpha_2":"FR","name":"France"},{"alpha_2":"FJ","name":"Fiji"},
            {"alpha_2":"AQ","name":"Antarctica"},{"alpha_2":"PT","name":"Portugal"},
            {"alpha_2":"TW","name":"Taiwan, Province of China","common_name":"Taiwan"}]})");
        std::filesystem::create_directories(dir / "locale/fr/LC_MESSAGES");
        std::filesystem::create_directories(dir / "locale/de/LC_MESSAGES");
        WriteFileBytes(dir / "locale/fr/LC_MESSAGES/iso_3166-1.mo",
                       MoCatalogue({{"Fiji", "Fidji"}, {"Taiwan", "Taïwan"}}));
        WriteFileBytes(dir / "locale/de/LC_MESSAGES/iso_3166-1.mo",
                       MoCatalogue({{"France", "Frankreich"},
                                    {"Taiwan, Province of China", "Taiwan, Provinz Chinas"}}));
        SConvertPaths paths{(dir / "cities.pbf").string(), (dir / "admin1.json").string(),
                            (dir / "iso.json").string(), (dir / "locale").string(), "handmade 1"};
        std::string strError;
        ASSERT_TRUE(ConvertPlaces(paths, m_file, strError)) << strError;
        std::wstring strOpenError;
        ASSERT_TRUE(m_data.Open(m_file.data(), m_file.size(), strOpenError))
            << WideToUtf8(strOpenError);
    }

    CTempDir m_temp;
    std::vector<uint8_t> m_file;
    CPlacesData m_data;
};

TEST_F(PlacesConverter, WritesWhatTheFinderReadsBack) {
    EXPECT_EQ(m_data.GetPlaceCount(), std::size(kPlaces) - 1);  // the abandoned place is left out
    EXPECT_EQ(m_data.GetSources(), "handmade 1");

    // Coordinate texts as photos give them.
    CPlaceFinder finder(m_data);
    struct {
        const wchar_t *pszLat, *pszLon, *pszLang;
        const wchar_t* pszFull;  // null: no place
        const wchar_t* pszCode;
    } const cases[] = {
        // A section of the capital, though the suburb and the capital's centre are both nearer
        // than 5 km; the abandoned place on the capital's centre never shows.
        {L"48.8580000", L"2.2945000", L"fr", L"Le Quartier, Grandville, Île-de-France, France",
         L"FR"},
        {L"48.8505000", L"2.3505000", L"de", L"Grandville, Île-de-France, Frankreich", L"FR"},
        {L"48.9210000", L"2.2010000", L"", L"Banlieue, Île-de-France, France", L"FR"},
        // Across the antimeridian; its division has no name, so it leaves no empty part.
        {L"-16.5000000", L"179.9900000", L"fr", L"Dateline East, Fidji", L"FJ"},
        // The equator and the prime meridian; a country missing from the list keeps its code.
        {L"0.0000000", L"0.0000000", L"", L"Nullton, ZZ", L"ZZ"},
        // The pole: every longitude is the same spot.
        {L"-90.0000000", L"123.0000000", L"", L"South Base, Antarctica", L"AQ"},
        // The sea 33 km off a town, then 55 km off.
        {L"10.3", L"20", L"", L"Coastal, Portugal", L"PT"},
        {L"10.5000000", L"20.0000000", L"", nullptr, nullptr},
        // The common name and its translation; a language that has only the official one.
        {L"25.0500000", L"121.5300000", L"fr_FR", L"Taipei, Taïwan", L"TW"},
        {L"25.0500000", L"121.5300000", L"de", L"Taipei, Taiwan", L"TW"},
        // Not a position.
        {L"95.0000000", L"20.0000000", L"", nullptr, nullptr},
        {L"1e1", L"20.0000000", L"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        CPlaceNames names;
        names.m_strCity = L"untouched";
        bool bFound = finder.Find(c.pszLat, c.pszLon, finder.FindLanguage(c.pszLang), names);
        SCOPED_TRACE(WideToUtf8(c.pszLat) + ", " + WideToUtf8(c.pszLon));
        ASSERT_EQ(bFound, c.pszFull != nullptr);
        if (!bFound) {
            EXPECT_EQ(names.m_strCity, L"untouched");
            continue;
        }
        EXPECT_EQ(names.m_strFull, c.pszFull);
        EXPECT_EQ(names.m_strCountryCode, c.pszCode);
    }
}

// The reader on the converter's file with one damage each: a clear error, never a read outside
// the bytes (the sanitizer build and the fuzz target watch for that).
TEST_F(PlacesConverter, DamagedFilesAndSourcesAreRefused) {
    const std::vector<uint8_t>& good = m_file;
    const uint32_t nPlaces = ReadU32Le(good.data() + kHdrPlaces);
    const uint32_t nStrings = ReadU32Le(good.data() + kHdrStrings);
    const uint32_t nFirstPlaceCell =
        PlaceCellOf(static_cast<int32_t>(ReadU32Le(good.data() + nPlaces)),
                    static_cast<int32_t>(ReadU32Le(good.data() + nPlaces + 4)));
    struct {
        const char* pszWhat;
        std::function<void(std::vector<uint8_t>&)> damage;
        const wchar_t* pszReason;
    } const cases[] = {
        {"empty", [](auto& f) { f.clear(); }, L"too short"},
        {"last byte missing", [](auto& f) { f.pop_back(); }, L"strings section lies outside"},
        {"wrong magic", [](auto& f) { f[0] = 'X'; }, L"wrong magic"},
        {"a later version", [](auto& f) { PutU32(f, kHdrVersion, 2); }, L"version 2"},
        {"places offset past the end", [](auto& f) { PutU32(f, kHdrPlaces, f.size()); },
         L"places section lies outside"},
        {"translations overflow",
         [](auto& f) {
             PutU32(f, kHdrLanguageCount, 0xFFFF);
             PutU32(f, kHdrCountryCount, 255);
         },
         L"section lies outside"},
        {"place in the wrong cell", [=](auto& f) { PutU32(f, nPlaces, 0); }, L"place 0"},
        {"cell index not ordered",
         [=](auto& f) {
             PutU32(f, ReadU32Le(f.data() + kHdrCells) + 4 * (nFirstPlaceCell + 1), 2);
         },
         L"place data damaged"},
        {"string pool not closed", [=](auto& f) { f.back() = 'x'; }, L"string pool"},
        {"sources text past the strings",
         [=](auto& f) { PutU32(f, kHdrSources, f.size() - nStrings); }, L"sources"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> file = good;
        c.damage(file);
        CPlacesData data;
        std::wstring strError;
        EXPECT_FALSE(data.Open(file.data(), file.size(), strError)) << c.pszWhat;
        EXPECT_NE(strError.find(c.pszReason), std::wstring::npos)
            << c.pszWhat << ": " << WideToUtf8(strError);
        EXPECT_FALSE(data.IsOpen());
    }

    // Loaded from a file (the real one loads through the module in services_e2e_test): one that
    // does not load is named in the reason and leaves nothing of the file loaded before. What is
    // no regular file is the platform's file contract.
    CPlacesData data;
    std::wstring strError;
    const std::filesystem::path path = m_temp.Path() / "Locanym-places.dat";
    const std::wstring strPath = Utf8ToWide(path.string());
    WriteFileBytes(path, std::string(good.begin(), good.end()));
    ASSERT_TRUE(data.Load(strPath, strError)) << WideToUtf8(strError);
    WriteFileBytes(path, std::string(good.begin(), good.begin() + 50));
    EXPECT_FALSE(data.Load(strPath, strError));
    EXPECT_NE(strError.find(strPath + L": place data too short"), std::wstring::npos)
        << WideToUtf8(strError);
    EXPECT_FALSE(data.IsOpen());

    // The converter's sources, cut short or pointing outside themselves.
    std::vector<SPlaceSource> places;
    std::string strSourceError;
    std::string pbf = CitiesPbf();
    EXPECT_FALSE(ReadCitiesPbf(reinterpret_cast<const uint8_t*>(pbf.data()), pbf.size() - 3, places,
                               strSourceError));
    EXPECT_NE(strSourceError.find("cut short"), std::string::npos) << strSourceError;
    std::map<std::string, std::string> messages;
    std::string mo = MoCatalogue({{"France", "Frankreich"}});
    mo[12] = '\x7f';  // the table of originals far beyond the file
    EXPECT_FALSE(ReadMoCatalogue(reinterpret_cast<const uint8_t*>(mo.data()), mo.size(), messages,
                                 strSourceError));
}

}  // namespace

TEST(PlacesConvert, CountryNamesInSortingFormReadAsRunningText) {
    struct {
        const char *pszEnglish, *pszTranslation, *pszLanguage, *pszCaption;
    } const cases[] = {
        {"Russian Federation", "Russie, Fédération de", "fr", "Fédération de Russie"},
        // Left as they are: two spellings, an aside.
        {"Japan", "Japan, Yaponia", "tt@iqtelif", "Japan, Yaponia"},
        {"Falkland Islands (Malvinas)", "Malouines, Îles (Falkland)", "fr",
         "Malouines, Îles (Falkland)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountryNameForCaption(c.pszEnglish, c.pszTranslation, c.pszLanguage),
                  c.pszCaption);
}
