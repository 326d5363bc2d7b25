#include "services/places_data.h"

#include <cstring>

#include "base/format.h"
#include "platform/mapped_file.h"

namespace {

constexpr int32_t kMaxLat = 90 * kCoordinateScale;
constexpr int32_t kMaxLon = 180 * kCoordinateScale;
constexpr int32_t kCellUnits = static_cast<int32_t>(kGridStep * kCoordinateScale);

// A section of nCount records of nRecordSize bytes at nOffset must lie wholly inside the file
// and after the header. Written so that no sum or product can overflow.
bool SectionFits(size_t nSize, uint32_t nOffset, uint32_t nCount, size_t nRecordSize) {
    if (nOffset < kHeaderSize || nOffset > nSize) return false;
    return nCount <= (nSize - nOffset) / nRecordSize;
}

}  // namespace

uint32_t PlaceCellOf(int32_t nLat, int32_t nLon) {
    int32_t nRow = (nLat + kMaxLat) / kCellUnits;
    if (nRow >= static_cast<int32_t>(kGridRows)) nRow = kGridRows - 1;
    if (nRow < 0) nRow = 0;
    int32_t nCol = ((nLon + kMaxLon) / kCellUnits) % static_cast<int32_t>(kGridCols);
    if (nCol < 0) nCol = 0;
    return static_cast<uint32_t>(nRow) * kGridCols + static_cast<uint32_t>(nCol);
}

CPlacesData::CPlacesData() = default;
CPlacesData::~CPlacesData() = default;

void CPlacesData::Clear() {
    m_pMapping.reset();
    m_pData = m_pPlaces = m_pCells = m_pCountries = m_pLanguages = m_pTranslations = m_pAdmin1 =
        nullptr;
    m_pStrings = nullptr;
    m_nPlaceCount = m_nCountryCount = m_nLanguageCount = m_nAdmin1Count = 0;
    m_nStringsSize = m_nSources = 0;
}

bool CPlacesData::Load(const std::wstring& strPath, std::wstring& strError) {
    Clear();
    std::unique_ptr<CMappedFile> pMapping = MapFile(strPath, strError);
    if (!pMapping) return false;
    if (!Open(pMapping->GetData(), pMapping->GetSize(), strError)) {
        strError = FormatText(L"%s: %s", strPath, strError);
        return false;
    }
    m_pMapping = std::move(pMapping);
    return true;
}

bool CPlacesData::Open(const uint8_t* pData, size_t nSize, std::wstring& strError) {
    Clear();
    if (!pData || nSize < kHeaderSize) {
        strError = FormatText(L"place data too short (%u bytes)", static_cast<uint64_t>(nSize));
        return false;
    }
    if (std::memcmp(pData, kPlacesMagic, sizeof kPlacesMagic) != 0) {
        strError = L"not a place data file (wrong magic)";
        return false;
    }
    uint32_t nVersion = ReadU32Le(pData + kHdrVersion);
    if (nVersion != kPlacesFormatVersion) {
        strError = FormatText(L"place data format version %u, this module reads version %u",
                              nVersion, kPlacesFormatVersion);
        return false;
    }
    auto field = [pData](size_t nField) { return ReadU32Le(pData + nField); };
    if (field(kHdrHeaderSize) != kHeaderSize || field(kHdrGridRows) != kGridRows ||
        field(kHdrGridCols) != kGridCols) {
        strError = L"place data header damaged (sizes)";
        return false;
    }
    uint32_t nPlaceCount = field(kHdrPlaceCount);
    uint32_t nCountryCount = field(kHdrCountryCount);
    uint32_t nLanguageCount = field(kHdrLanguageCount);
    uint32_t nAdmin1Count = field(kHdrAdmin1Count);
    uint32_t nStringsSize = field(kHdrStringsSize);
    struct SSection {
        const wchar_t* pszName;
        uint32_t nOffset;
        uint32_t nCount;
        size_t nRecordSize;
    };
    // Translations: a product of two counts, so each is capped before they are multiplied.
    if (nCountryCount > kMaxCountries || nAdmin1Count > kMaxAdmin1 || nLanguageCount > 0xFFFFu) {
        strError = L"place data header damaged (counts)";
        return false;
    }
    const SSection sections[] = {
        {L"places", field(kHdrPlaces), nPlaceCount, kPlaceRecordSize},
        {L"cells", field(kHdrCells), kCellCount + 1, 4},
        {L"countries", field(kHdrCountries), nCountryCount, kCountryRecordSize},
        {L"languages", field(kHdrLanguages), nLanguageCount, 4},
        {L"translations", field(kHdrTranslations), nLanguageCount * nCountryCount, 4},
        {L"admin1", field(kHdrAdmin1), nAdmin1Count, 4},
        {L"strings", field(kHdrStrings), nStringsSize, 1},
    };
    for (const SSection& section : sections) {
        if (!SectionFits(nSize, section.nOffset, section.nCount, section.nRecordSize)) {
            strError = FormatText(L"place data damaged: the %s section lies outside the file",
                                  section.pszName);
            return false;
        }
    }
    const char* pStrings = reinterpret_cast<const char*>(pData + field(kHdrStrings));
    // Every string offset below the size then ends inside the pool.
    if (nStringsSize == 0 || pStrings[0] != 0 || pStrings[nStringsSize - 1] != 0) {
        strError = L"place data damaged: the string pool is not closed";
        return false;
    }
    auto badString = [nStringsSize](uint32_t nOffset) { return nOffset >= nStringsSize; };
    auto fail = [&strError](const wchar_t* pszWhat, uint32_t nIndex) {
        strError = FormatText(L"place data damaged: %s %u", pszWhat, nIndex);
        return false;
    };
    if (badString(field(kHdrSources))) return fail(L"sources text", 0);

    const uint8_t* pCountries = pData + field(kHdrCountries);
    for (uint32_t i = 0; i < nCountryCount; ++i) {
        if (badString(ReadU32Le(pCountries + i * kCountryRecordSize + 4)))
            return fail(L"country", i);
    }
    const uint8_t* pLanguages = pData + field(kHdrLanguages);
    for (uint32_t i = 0; i < nLanguageCount; ++i) {
        if (badString(ReadU32Le(pLanguages + 4 * i))) return fail(L"language", i);
    }
    const uint8_t* pTranslations = pData + field(kHdrTranslations);
    for (uint32_t i = 0; i < nLanguageCount * nCountryCount; ++i) {
        if (badString(ReadU32Le(pTranslations + 4 * i))) return fail(L"translation", i);
    }
    const uint8_t* pAdmin1 = pData + field(kHdrAdmin1);
    for (uint32_t i = 0; i < nAdmin1Count; ++i) {
        if (badString(ReadU32Le(pAdmin1 + 4 * i))) return fail(L"division", i);
    }
    const uint8_t* pCells = pData + field(kHdrCells);
    if (ReadU32Le(pCells) != 0 || ReadU32Le(pCells + 4 * kCellCount) != nPlaceCount) {
        return fail(L"cell index", 0);
    }
    const uint8_t* pPlaces = pData + field(kHdrPlaces);
    // Each place must lie in the cell whose range holds it: the search relies on it.
    uint32_t nPlace = 0;
    for (uint32_t nCell = 0; nCell < kCellCount; ++nCell) {
        uint32_t nEnd = ReadU32Le(pCells + 4 * nCell + 4);
        if (nEnd < nPlace || nEnd > nPlaceCount) return fail(L"cell", nCell);
        for (; nPlace < nEnd; ++nPlace) {
            const uint8_t* p = pPlaces + nPlace * kPlaceRecordSize;
            int32_t nLat = static_cast<int32_t>(ReadU32Le(p));
            int32_t nLon = static_cast<int32_t>(ReadU32Le(p + 4));
            uint32_t nAdmin1 = p[16] | p[17] << 8;
            if (nLat < -kMaxLat || nLat > kMaxLat || nLon < -kMaxLon || nLon > kMaxLon ||
                PlaceCellOf(nLat, nLon) != nCell || badString(ReadU32Le(p + 8)) ||
                (nAdmin1 != kNoAdmin1 && nAdmin1 >= nAdmin1Count) || p[18] >= nCountryCount ||
                p[19] >= kPlaceKindCount) {
                return fail(L"place", nPlace);
            }
        }
    }

    m_pData = pData;
    m_pPlaces = pPlaces;
    m_pCells = pCells;
    m_pCountries = pCountries;
    m_pLanguages = pLanguages;
    m_pTranslations = pTranslations;
    m_pAdmin1 = pAdmin1;
    m_pStrings = pStrings;
    m_nPlaceCount = nPlaceCount;
    m_nCountryCount = nCountryCount;
    m_nLanguageCount = nLanguageCount;
    m_nAdmin1Count = nAdmin1Count;
    m_nStringsSize = nStringsSize;
    m_nSources = field(kHdrSources);
    return true;
}

SPlace CPlacesData::GetPlace(uint32_t nIndex) const {
    const uint8_t* p = m_pPlaces + static_cast<size_t>(nIndex) * kPlaceRecordSize;
    SPlace place;
    place.nLat = static_cast<int32_t>(ReadU32Le(p));
    place.nLon = static_cast<int32_t>(ReadU32Le(p + 4));
    place.nName = ReadU32Le(p + 8);
    place.nPopulation = ReadU32Le(p + 12);
    place.nAdmin1 = static_cast<uint16_t>(p[16] | p[17] << 8);
    place.nCountry = p[18];
    place.nKind = p[19];
    return place;
}

std::string_view CPlacesData::GetString(uint32_t nOffset) const {
    if (nOffset >= m_nStringsSize) return {};
    return std::string_view(m_pStrings + nOffset);
}

std::string_view CPlacesData::GetCountryCode(uint32_t nCountry) const {
    return std::string_view(
        reinterpret_cast<const char*>(m_pCountries) + nCountry * kCountryRecordSize, 2);
}

std::string_view CPlacesData::GetCountryName(uint32_t nCountry) const {
    return GetString(ReadU32Le(m_pCountries + nCountry * kCountryRecordSize + 4));
}

std::string_view CPlacesData::GetLanguageTag(uint32_t nLanguage) const {
    return GetString(ReadU32Le(m_pLanguages + 4 * nLanguage));
}

std::string_view CPlacesData::GetTranslation(uint32_t nLanguage, uint32_t nCountry) const {
    return GetString(ReadU32Le(m_pTranslations +
                               4 * (static_cast<size_t>(nLanguage) * m_nCountryCount + nCountry)));
}

std::string_view CPlacesData::GetAdmin1Name(uint16_t nAdmin1) const {
    if (nAdmin1 >= m_nAdmin1Count) return {};
    return GetString(ReadU32Le(m_pAdmin1 + 4 * nAdmin1));
}
