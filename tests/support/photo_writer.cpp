#include "tests/support/photo_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace {

class CByteWriter {
  public:
    explicit CByteWriter(bool bBig) : m_bBig(bBig) {}
    std::vector<uint8_t> m_out;
    bool m_bBig;

    // The low nBytes bytes of v in the file's byte order.
    void Uint(uint64_t v, int nBytes) {
        for (int i = 0; i < nBytes; ++i)
            m_out.push_back(static_cast<uint8_t>(v >> 8 * (m_bBig ? nBytes - 1 - i : i)));
    }
    void U16(uint16_t v) { Uint(v, 2); }
    void U32(uint32_t v) { Uint(v, 4); }
};

// Bytes of one element of a type kept in SExifEntry::values; 0 for types kept in bytes.
size_t ElementBytes(uint16_t nType) {
    if (nType == kTiffShort) return 2;
    if (nType == kTiffLong || nType == kTiffSLong || nType == kTiffIfd) return 4;
    if (nType == kTiffRational || nType == kTiffSRational || nType == kTiffDouble) return 8;
    return 0;
}

// The value bytes of an entry in the file's byte order.
std::vector<uint8_t> EncodeValue(const SExifEntry& e, bool bBig) {
    const size_t nBytes = ElementBytes(e.nType);
    if (nBytes == 0) return e.bytes;
    CByteWriter w(bBig);
    for (uint64_t v : e.values) {
        if (e.nType == kTiffRational || e.nType == kTiffSRational) {
            // Numerator first, then denominator, each in the file's byte order.
            w.U32(static_cast<uint32_t>(v));
            w.U32(static_cast<uint32_t>(v >> 32));
        } else {
            w.Uint(v, static_cast<int>(nBytes));
        }
    }
    return w.m_out;
}

uint32_t ElementCount(const SExifEntry& e) {
    if (e.nCount) return *e.nCount;
    return static_cast<uint32_t>(ElementBytes(e.nType) ? e.values.size() : e.bytes.size());
}

SExifEntry Entry(uint16_t nTag, uint16_t nType, std::vector<uint64_t> values,
                 std::vector<uint8_t> bytes = {}) {
    return {nTag, nType, std::move(values), std::move(bytes), std::nullopt};
}

void WriteIfd(CByteWriter& w, const CExifIfd& ifd, uint32_t nNext) {
    const size_t nStart = w.m_out.size();
    std::vector<SExifEntry> entries = ifd.m_entries;
    if (ifd.m_bSorted)
        std::stable_sort(entries.begin(), entries.end(),
                         [](const SExifEntry& a, const SExifEntry& b) { return a.nTag < b.nTag; });
    size_t nValues = nStart + 2 + 12 * entries.size() + 4;
    std::vector<std::vector<uint8_t>> deferred;
    w.U16(static_cast<uint16_t>(entries.size()));
    for (const SExifEntry& e : entries) {
        w.U16(e.nTag);
        w.U16(e.nType);
        w.U32(ElementCount(e));
        std::vector<uint8_t> bytes = EncodeValue(e, w.m_bBig);
        if (bytes.size() <= 4) {
            bytes.resize(4, 0);
            w.m_out.insert(w.m_out.end(), bytes.begin(), bytes.end());
        } else {
            w.U32(static_cast<uint32_t>(nValues));
            nValues += bytes.size() + (bytes.size() & 1);
            deferred.push_back(std::move(bytes));
        }
    }
    w.U32(nNext);
    for (std::vector<uint8_t>& bytes : deferred) {
        w.m_out.insert(w.m_out.end(), bytes.begin(), bytes.end());
        if (bytes.size() & 1) w.m_out.push_back(0);
    }
}

// Bytes one IFD takes with its value area: the IFD written once aside.
size_t IfdSize(const CExifIfd& ifd, bool bBig) {
    CByteWriter w(bBig);
    WriteIfd(w, ifd, 0);
    return w.m_out.size();
}

void AppendSegment(std::vector<uint8_t>& out, uint8_t nMarker, const std::vector<uint8_t>& body) {
    const size_t nLength = body.size() + 2;
    out.insert(out.end(),
               {0xFF, nMarker, static_cast<uint8_t>(nLength >> 8), static_cast<uint8_t>(nLength)});
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<uint8_t> ExifSegmentBody(const std::vector<uint8_t>& tiff) {
    std::vector<uint8_t> body = {'E', 'x', 'i', 'f', 0, 0};
    body.insert(body.end(), tiff.begin(), tiff.end());
    return body;
}

// Degrees to degree/minute/second rationals: d/1, m/1, hundredths of seconds /100.
std::vector<SRational> DegreesToRationals(double dDegrees) {
    const double a = std::fabs(dDegrees);
    // Hundredths of a second, carried upwards so that no part reaches 60.
    uint64_t nHundredths = static_cast<uint64_t>(std::llround(a * 360000.0));
    const uint32_t nDeg = static_cast<uint32_t>(nHundredths / 360000);
    nHundredths %= 360000;
    const uint32_t nMin = static_cast<uint32_t>(nHundredths / 6000);
    const uint32_t nSec = static_cast<uint32_t>(nHundredths % 6000);
    return {{nDeg, 1}, {nMin, 1}, {nSec, 100}};
}

}  // namespace

SExifEntry& CExifIfd::Add(SExifEntry entry) {
    m_entries.push_back(std::move(entry));
    return m_entries.back();
}

SExifEntry& CExifIfd::Ascii(uint16_t nTag, const std::string& strText) {
    std::vector<uint8_t> bytes(strText.begin(), strText.end());
    bytes.push_back(0);
    return Add(Entry(nTag, kTiffAscii, {}, std::move(bytes)));
}

SExifEntry& CExifIfd::Rationals(uint16_t nTag, const std::vector<SRational>& values, bool bSigned) {
    std::vector<uint64_t> packed;
    for (const SRational& r : values) packed.push_back(uint64_t{r.nNum} | (uint64_t{r.nDen} << 32));
    return Add(Entry(nTag, bSigned ? kTiffSRational : kTiffRational, std::move(packed)));
}

SExifEntry& CExifIfd::Shorts(uint16_t nTag, const std::vector<uint16_t>& values) {
    return Add(Entry(nTag, kTiffShort, {values.begin(), values.end()}));
}

SExifEntry& CExifIfd::Longs(uint16_t nTag, const std::vector<uint32_t>& values) {
    return Add(Entry(nTag, kTiffLong, {values.begin(), values.end()}));
}

SExifEntry& CExifIfd::Bytes(uint16_t nTag, const std::vector<uint8_t>& values, uint16_t nType) {
    return Add(Entry(nTag, nType, {}, values));
}

SExifEntry& CExifIfd::Doubles(uint16_t nTag, const std::vector<double>& values) {
    std::vector<uint64_t> bits(values.size());
    std::memcpy(bits.data(), values.data(), values.size() * sizeof(double));
    return Add(Entry(nTag, kTiffDouble, std::move(bits)));
}

SExifEntry* CExifIfd::Find(uint16_t nTag) {
    for (SExifEntry& e : m_entries)
        if (e.nTag == nTag) return &e;
    return nullptr;
}

void CExifWriter::AddTinyImage(uint32_t nWidth, uint32_t nHeight) {
    m_ifd0.Longs(kTiffImageWidth, {nWidth});
    m_ifd0.Longs(kTiffImageLength, {nHeight});
    m_ifd0.Shorts(kTiffBitsPerSample, {8});
    m_ifd0.Shorts(kTiffCompression, {1});
    m_ifd0.Shorts(kTiffPhotometric, {1});
    m_ifd0.Longs(kTiffRowsPerStrip, {nHeight});
    m_pixels.assign(static_cast<size_t>(nWidth) * nHeight, 0x80);
}

void CExifWriter::AddGpsPosition(double dLatitude, double dLongitude) {
    m_gps.Bytes(kGpsVersionId, {2, 3, 0, 0});
    m_gps.Ascii(kGpsLatitudeRef, dLatitude < 0 ? "S" : "N");
    m_gps.Rationals(kGpsLatitude, DegreesToRationals(dLatitude));
    m_gps.Ascii(kGpsLongitudeRef, dLongitude < 0 ? "W" : "E");
    m_gps.Rationals(kGpsLongitude, DegreesToRationals(dLongitude));
}

std::vector<uint8_t> CExifWriter::BuildTiff() const {
    CExifIfd ifd0 = m_ifd0, exif = m_exif, gps = m_gps, interop = m_interop, ifd1 = m_ifd1;
    // Pointer entries hold a LONG inline, so the sizes are known before the offsets.
    if (m_bAutoPointers) {
        if (!interop.Empty()) exif.Add(Entry(kExifInteropPointer, m_nPointerType, {0}));
        if (!exif.Empty()) ifd0.Add(Entry(kTiffExifPointer, m_nPointerType, {0}));
        if (!gps.Empty()) ifd0.Add(Entry(kTiffGpsPointer, m_nPointerType, {0}));
        if (!m_pixels.empty()) {
            ifd0.Add(Entry(kTiffStripOffsets, kTiffLong, {0}));
            ifd0.Longs(kTiffStripByteCounts, {static_cast<uint32_t>(m_pixels.size())});
        }
        if (!m_thumbnail.empty()) {
            ifd1.Add(Entry(kTiffThumbnailOffset, kTiffLong, {0}));
            ifd1.Longs(kTiffThumbnailLength, {static_cast<uint32_t>(m_thumbnail.size())});
        }
    }
    // IFD0 is always written, the others only when they have entries.
    auto size = [this](const CExifIfd& ifd) {
        return ifd.Empty() ? 0u : static_cast<uint32_t>(IfdSize(ifd, m_bBigEndian));
    };
    const uint32_t nIfd0 = 8;
    const uint32_t nExif = nIfd0 + static_cast<uint32_t>(IfdSize(ifd0, m_bBigEndian));
    const uint32_t nGps = nExif + size(exif), nInterop = nGps + size(gps);
    const uint32_t nIfd1 = nInterop + size(interop), nThumb = nIfd1 + size(ifd1);
    const uint32_t nPixels =
        nThumb + static_cast<uint32_t>(m_thumbnail.size() + (m_thumbnail.size() & 1));
    if (m_bAutoPointers) {
        auto set = [](CExifIfd& ifd, uint16_t nTag, uint32_t nValue) {
            if (SExifEntry* e = ifd.Find(nTag); e && e->values.size() == 1 && e->values[0] == 0)
                e->values[0] = nValue;
        };
        set(exif, kExifInteropPointer, nInterop);
        set(ifd0, kTiffExifPointer, nExif);
        set(ifd0, kTiffGpsPointer, nGps);
        set(ifd0, kTiffStripOffsets, nPixels);
        set(ifd1, kTiffThumbnailOffset, nThumb);
    }

    CByteWriter w(m_bBigEndian);
    w.U16(m_bBigEndian ? 0x4D4D : 0x4949);  // "MM" or "II"
    w.U16(42);
    w.U32(nIfd0);
    WriteIfd(w, ifd0, m_nIfd0Next ? *m_nIfd0Next : (ifd1.Empty() ? 0 : nIfd1));
    for (const CExifIfd* pIfd : {&exif, &gps, &interop, &ifd1})
        if (!pIfd->Empty()) WriteIfd(w, *pIfd, 0);
    w.m_out.insert(w.m_out.end(), m_thumbnail.begin(), m_thumbnail.end());
    if (m_thumbnail.size() & 1) w.m_out.push_back(0);
    w.m_out.insert(w.m_out.end(), m_pixels.begin(), m_pixels.end());
    return w.m_out;
}

std::vector<uint8_t> BuildJpeg(const CExifWriter& exif, const SJpegOptions& options) {
    return BuildJpegFromTiff(exif.BuildTiff(), options);
}

std::vector<uint8_t> BuildJpegFromTiff(const std::vector<uint8_t>& tiff,
                                       const SJpegOptions& options) {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    if (options.bJfif) AppendSegment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (options.bXmpFirst) {
        const char kXmp[] = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
        AppendSegment(out, 0xE1, {kXmp, kXmp + sizeof kXmp - 1});  // no closing NUL
    }
    if (options.nPaddingSegmentBytes)
        AppendSegment(out, 0xE2, std::vector<uint8_t>(options.nPaddingSegmentBytes, 0x55));
    AppendSegment(out, 0xE1, ExifSegmentBody(tiff));
    for (const std::vector<uint8_t>& tiff : options.extraExif)
        AppendSegment(out, 0xE1, ExifSegmentBody(tiff));
    // Baseline frame header: 8 bits, 8x8 pixels, one component; then the scan.
    AppendSegment(out, 0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 0});
    AppendSegment(out, 0xDA, {1, 1, 0, 0, 0x3F, 0});
    for (size_t i = 0; i < options.nScanBytes; ++i)
        out.push_back(static_cast<uint8_t>(i * 7 % 255));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

bool WritePhotoFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

bool WriteGpsJpeg(const std::filesystem::path& path, double dLatitude, double dLongitude,
                  bool bBigEndian) {
    CExifWriter exif(bBigEndian);
    exif.m_ifd0.Ascii(kTiffMake, "Locanym");
    exif.AddGpsPosition(dLatitude, dLongitude);
    return WritePhotoFile(path, BuildJpeg(exif));
}
