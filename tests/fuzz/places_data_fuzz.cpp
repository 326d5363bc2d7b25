// The place data reader on damaged files, then the finder on whatever it accepts. Two shapes
// of input: the bytes as a whole file (the header checks), and, when the input starts with
// 'P', edits to a valid handmade file (the checks of each section, which random bytes seldom
// reach): a length to cut the file to, then pairs of a four-byte offset and a byte to put there.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "services/place_finder.h"
#include "services/places_convert.h"

namespace {

const std::vector<uint8_t>& ValidFile() {
    static const std::vector<uint8_t> file = [] {
        CPlacesSources sources;
        sources.m_places = {{"Oslo", "NO", "PPLC", "12", 580000, 5991127, 1075225},
                            {"Grünerløkka", "NO", "PPLX", "12", 30000, 5992300, 1075900},
                            {"Suva", "FJ", "PPLC", "", 77000, -1814161, 17844149},
                            {"Eastend", "FJ", "PPL", "03", 1000, -1650000, -17999000}};
        sources.m_admin1 = {{"NO.12", "Oslo"}};
        sources.m_countries = {{"NO", "Norway", "Norway"}, {"FJ", "Fiji", "Fiji"}};
        sources.m_catalogues["nb"] = {{"Norway", "Norge"}};
        std::vector<uint8_t> bytes;
        std::string strError;
        BuildPlacesFile(sources, bytes, strError);
        return bytes;
    }();
    return file;
}

void Exercise(const uint8_t* pData, size_t nSize) {
    CPlacesData data;
    std::wstring strError;
    if (!data.Open(pData, nSize, strError)) {
        if (strError.empty()) __builtin_trap();
        return;
    }
    CPlaceFinder finder(data);
    const double positions[][2] = {
        {59.91, 10.75}, {-16.5, 179.99}, {90, 0}, {0, 0}, {-18.1, 178.4}};
    for (int nLanguage = -1; nLanguage < 1; ++nLanguage) {
        for (const auto& position : positions) {
            CPlaceNames names;
            finder.Find(position[0], position[1], nLanguage, names);
        }
    }
    finder.FindLanguage(L"nb");
    for (uint32_t n = 0; n < data.GetPlaceCount(); ++n) {
        SPlace place = data.GetPlace(n);
        (void)data.GetString(place.nName).size();
        (void)data.GetAdmin1Name(place.nAdmin1).size();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0 || pData[0] != 'P') {
        Exercise(pData, nSize);
        return 0;
    }
    std::vector<uint8_t> file = ValidFile();
    if (nSize >= 5 && ReadU32Le(pData + 1) < file.size()) file.resize(ReadU32Le(pData + 1));
    for (size_t nPos = 5; nPos + 5 <= nSize; nPos += 5) {
        uint32_t nAt = ReadU32Le(pData + nPos);
        // Most edits land in the header and the first sections, where the offsets are.
        if (!file.empty())
            file[nAt % (nAt & 1 ? file.size() : std::min<size_t>(file.size(), 4096))] =
                pData[nPos + 4];
    }
    Exercise(file.data(), file.size());
    return 0;
}
