// The reader on damaged data files: every kind of damage gives a clear error, never a read
// outside the bytes (the sanitizer build and the fuzz target watch for that).
#include "services/places_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/text.h"
#include "platform/mapped_file.h"
#include "services/places_convert.h"
#include "tests/support/file_bytes.h"
#include "tests/support/plugin_host.h"

namespace {

std::vector<uint8_t> SmallFile() {
    CPlacesSources sources;
    sources.m_places = {{"Oslo", "NO", "PPLC", "12", 580000, 5991127, 1075225},
                        {"Bergen", "NO", "PPLA", "46", 213585, 6039299, 532415}};
    sources.m_admin1 = {{"NO.12", "Oslo"}};
    sources.m_countries = {{"NO", "Norway", "Norway"}};
    sources.m_catalogues["nb"] = {{"Norway", "Norge"}};
    std::vector<uint8_t> file;
    std::string strError;
    EXPECT_TRUE(BuildPlacesFile(sources, file, strError)) << strError;
    return file;
}

void PutU32(std::vector<uint8_t>& file, size_t nAt, uint32_t nValue) {
    for (int i = 0; i < 4; ++i) file[nAt + i] = static_cast<uint8_t>(nValue >> (8 * i));
}

TEST(PlacesData, DamagedFilesAreRefusedWithAReasonThatNamesTheFile) {
    const std::vector<uint8_t> good = SmallFile();
    uint32_t nPlaces = ReadU32Le(good.data() + kHdrPlaces);
    uint32_t nStrings = ReadU32Le(good.data() + kHdrStrings);
    uint32_t nFirstPlaceCell = PlaceCellOf(5991127, 1075225);
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
        {"offset inside the header", [](auto& f) { PutU32(f, kHdrCountries, 8); },
         L"countries section lies outside"},
        {"name past the strings", [=](auto& f) { PutU32(f, nPlaces + 8, 0x7FFFFFFF); }, L"place 0"},
        {"country index too big", [=](auto& f) { f[nPlaces + 18] = 9; }, L"place 0"},
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
    CPlacesData data;
    std::wstring strError;
    ASSERT_TRUE(data.Open(good.data(), good.size(), strError)) << WideToUtf8(strError);
    EXPECT_EQ(data.GetPlaceCount(), 2u);

    // Loaded from a file (the real one loads through the module in services_e2e_test): one that
    // does not load is named in the reason and leaves nothing of the file loaded before. What is
    // no regular file is the platform's file contract.
    CTempDir temp;
    const std::filesystem::path path = temp.Path() / "Locanym-places.dat";
    const std::wstring strPath = Utf8ToWide(path.string());
    WriteFileBytes(path, std::string(good.begin(), good.end()));
    ASSERT_TRUE(data.Load(strPath, strError)) << WideToUtf8(strError);
    WriteFileBytes(path, std::string(good.begin(), good.begin() + 50));
    EXPECT_FALSE(data.Load(strPath, strError));
    EXPECT_NE(strError.find(strPath + L": place data too short"), std::wstring::npos)
        << WideToUtf8(strError);
    EXPECT_FALSE(data.IsOpen());
}

}  // namespace
