// A small writer of EXIF photos for tests, fuzz seeds, benchmarks and the demo: every byte of a
// test photo is explained by the code that makes it. WriteGpsJpeg writes a photo at a position
// (degrees, minutes and hundredths of seconds as unsigned rationals, references N/S and E/W).
// For crafted cases fill the IFDs of a CExifWriter entry by entry (any tag, type, count and
// order), then wrap it in a JPEG (BuildJpeg) or write it as a TIFF (BuildTiff). Sub-IFD and
// thumbnail pointers are added when the sub-IFD has entries, unless m_bAutoPointers is false.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// TIFF field types.
constexpr uint16_t kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffRational = 5,
                   kTiffUndefined = 7, kTiffSLong = 9, kTiffSRational = 10, kTiffDouble = 12,
                   kTiffIfd = 13;

// Tags the tests use by name.
constexpr uint16_t kGpsVersionId = 0, kGpsLatitudeRef = 1, kGpsLatitude = 2, kGpsLongitudeRef = 3,
                   kGpsLongitude = 4;
constexpr uint16_t kTiffImageWidth = 256, kTiffImageLength = 257, kTiffBitsPerSample = 258,
                   kTiffCompression = 259, kTiffPhotometric = 262, kTiffMake = 271,
                   kTiffModel = 272, kTiffStripOffsets = 273, kTiffRowsPerStrip = 278,
                   kTiffStripByteCounts = 279, kTiffThumbnailOffset = 513,
                   kTiffThumbnailLength = 514, kTiffExifPointer = 34665, kTiffGpsPointer = 34853,
                   kExifExposureTime = 33434, kExifFNumber = 33437, kExifMakerNote = 37500,
                   kExifLensSpecification = 42034, kExifInteropPointer = 40965;

struct SRational {
    uint32_t nNum = 0;
    uint32_t nDen = 0;
};

// One IFD entry. The helpers of CExifIfd fill it; tests may change any field afterwards.
struct SExifEntry {
    uint16_t nTag = 0;
    uint16_t nType = 0;
    // Elements: integers (signed ones as their two's complement), rationals as
    // numerator | denominator << 32, doubles as their bit patterns.
    std::vector<uint64_t> values;
    std::vector<uint8_t> bytes;      // BYTE, UNDEFINED and ASCII (with its NUL)
    std::optional<uint32_t> nCount;  // written instead of the real element count
};

class CExifIfd {
  public:
    std::vector<SExifEntry> m_entries;
    bool m_bSorted = true;  // false: entries stay in the order added (real cameras do that)

    bool Empty() const { return m_entries.empty(); }
    SExifEntry& Add(SExifEntry entry);
    SExifEntry& Ascii(uint16_t nTag, const std::string& strText);  // NUL added
    SExifEntry& Rationals(uint16_t nTag, const std::vector<SRational>& values,
                          bool bSigned = false);
    SExifEntry& Shorts(uint16_t nTag, const std::vector<uint16_t>& values);
    SExifEntry& Longs(uint16_t nTag, const std::vector<uint32_t>& values);
    SExifEntry& Bytes(uint16_t nTag, const std::vector<uint8_t>& values,
                      uint16_t nType = kTiffByte);
    SExifEntry& Doubles(uint16_t nTag, const std::vector<double>& values);
    SExifEntry* Find(uint16_t nTag);
};

// The TIFF structure: header, IFD0 (with its value area), then the EXIF, GPS and interop IFDs,
// then IFD1 (thumbnail) with the thumbnail bytes, then the pixel strip.
class CExifWriter {
  public:
    explicit CExifWriter(bool bBigEndian = false) : m_bBigEndian(bBigEndian) {}

    bool m_bBigEndian;
    CExifIfd m_ifd0, m_exif, m_gps, m_interop, m_ifd1;
    bool m_bAutoPointers = true;
    uint16_t m_nPointerType = kTiffLong;  // type of the EXIF, GPS and interop pointers added
    std::vector<uint8_t> m_thumbnail;     // a JPEG thumbnail referenced from IFD1
    std::vector<uint8_t> m_pixels;        // one strip referenced by StripOffsets
    std::optional<uint32_t> m_nIfd0Next;  // IFD0's next-IFD field instead of the real one

    // Adds an 8-bit grey image of the given size to IFD0 (the tags and the pixel strip).
    void AddTinyImage(uint32_t nWidth, uint32_t nHeight);
    // Adds a GPS position as the quick API does.
    void AddGpsPosition(double dLatitude, double dLongitude);
    // The TIFF structure, a file of its own (add AddTinyImage for a viewable one) or EXIF bytes.
    std::vector<uint8_t> BuildTiff() const;
};

struct SJpegOptions {
    bool bJfif = true;                                 // APP0 "JFIF" before the EXIF segment
    bool bXmpFirst = false;                            // an XMP APP1 segment before the EXIF one
    std::vector<std::vector<uint8_t>> extraExif = {};  // more "Exif" APP1 blocks after the first
    size_t nPaddingSegmentBytes = 0;  // an APP2 segment of this size before the EXIF one
    size_t nScanBytes = 256;          // fake entropy-coded data after SOS
};

// SOI, the chosen segments, APP1 "Exif\0\0" + TIFF, a small frame header, SOS, scan, EOI.
std::vector<uint8_t> BuildJpeg(const CExifWriter& exif, const SJpegOptions& options = {});
// The same around TIFF bytes made (and perhaps patched) by the caller.
std::vector<uint8_t> BuildJpegFromTiff(const std::vector<uint8_t>& tiff,
                                       const SJpegOptions& options = {});

bool WritePhotoFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// A little-endian JPEG (bBigEndian picks "MM") with a GPS position.
bool WriteGpsJpeg(const std::filesystem::path& path, double dLatitude, double dLongitude,
                  bool bBigEndian = false);
