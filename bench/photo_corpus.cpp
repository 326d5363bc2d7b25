#include "bench/photo_corpus.h"

#include <algorithm>
#include <random>

#include "metadata/metadata_reader.h"
#include "tests/support/photo_writer.h"

namespace fs = std::filesystem;

namespace {

// The EXIF a camera writes: about 60 items over IFD0, EXIF, interop and GPS blocks.
CExifWriter CameraExif(bool bBigEndian, double dLatitude, double dLongitude) {
    CExifWriter w(bBigEndian);
    w.m_ifd0.Ascii(kTiffMake, "Canon");
    w.m_ifd0.Ascii(kTiffModel, "Canon EOS 80D");
    w.m_ifd0.Shorts(274, {1});           // orientation
    w.m_ifd0.Rationals(282, {{72, 1}});  // resolution
    w.m_ifd0.Rationals(283, {{72, 1}});
    w.m_ifd0.Shorts(296, {2});
    w.m_ifd0.Ascii(305, "Firmware Version 1.0.2");
    w.m_ifd0.Ascii(306, "2024:05:18 14:03:27");
    w.m_ifd0.Ascii(315, "A. Photographer");
    w.m_ifd0.Shorts(531, {2});
    w.m_ifd0.Ascii(33432, "Copyright A. Photographer");
    w.m_exif.Rationals(kExifExposureTime, {{1, 250}});
    w.m_exif.Rationals(kExifFNumber, {{56, 10}});
    w.m_exif.Shorts(34850, {3});
    w.m_exif.Shorts(34855, {200});
    w.m_exif.Bytes(36864, {'0', '2', '3', '1'}, kTiffUndefined);
    w.m_exif.Ascii(36867, "2024:05:18 14:03:27");
    w.m_exif.Ascii(36868, "2024:05:18 14:03:27");
    w.m_exif.Bytes(37121, {1, 2, 3, 0}, kTiffUndefined);
    w.m_exif.Rationals(37377, {{8, 1}}, true);
    w.m_exif.Rationals(37378, {{5, 1}});
    w.m_exif.Rationals(37380, {{0, 1}}, true);
    w.m_exif.Rationals(37381, {{3, 1}});
    w.m_exif.Shorts(37383, {5});
    w.m_exif.Shorts(37385, {16});
    w.m_exif.Rationals(37386, {{35, 1}});
    w.m_exif.Bytes(37510, std::vector<uint8_t>(264, 0), kTiffUndefined);  // user comment
    w.m_exif.Ascii(37520, "00");
    w.m_exif.Ascii(37521, "00");
    w.m_exif.Ascii(37522, "00");
    w.m_exif.Bytes(40960, {'0', '1', '0', '0'}, kTiffUndefined);
    w.m_exif.Shorts(40961, {1});
    w.m_exif.Shorts(40962, {6000});
    w.m_exif.Shorts(40963, {4000});
    w.m_exif.Rationals(41486, {{6000000, 1461}});
    w.m_exif.Rationals(41487, {{4000000, 972}});
    w.m_exif.Shorts(41488, {2});
    w.m_exif.Shorts(41985, {0});
    w.m_exif.Shorts(41986, {0});
    w.m_exif.Shorts(41987, {0});
    w.m_exif.Shorts(41990, {0});
    w.m_exif.Ascii(42033, "012345678901");
    w.m_exif.Rationals(kExifLensSpecification, {{18, 1}, {135, 1}, {0, 1}, {0, 1}});
    w.m_exif.Ascii(42036, "EF-S18-135mm f/3.5-5.6 IS USM");
    w.m_exif.Ascii(42037, "0000000000");
    w.m_interop.Ascii(1, "R98");
    w.m_interop.Bytes(2, {'0', '1', '0', '0'}, kTiffUndefined);
    w.AddGpsPosition(dLatitude, dLongitude);
    w.m_gps.Bytes(5, {0});
    w.m_gps.Rationals(6, {{2345, 10}});
    w.m_gps.Rationals(7, {{14, 1}, {3, 1}, {27, 1}});
    w.m_gps.Ascii(18, "WGS-84");
    w.m_gps.Ascii(29, "2024:05:18");
    return w;
}

// A maker note in the Canon layout (a bare IFD): 60 entries with their values inline.
std::vector<uint8_t> CanonMakerNote(bool bBigEndian) {
    CExifWriter note(bBigEndian);
    for (uint16_t tag = 1; tag <= 60; ++tag)
        note.m_ifd0.Shorts(tag, {static_cast<uint16_t>(tag * 3), 7});
    std::vector<uint8_t> tiff = note.BuildTiff();
    return std::vector<uint8_t>(tiff.begin() + 8, tiff.end());  // without the TIFF header
}

}  // namespace

std::vector<SCorpusPhoto> MakePhotoCorpus(const fs::path& dir, int nCount, int nGpsPercent) {
    std::mt19937 rng(20240518);
    auto pick = [&](int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(rng);
    };
    std::vector<SCorpusPhoto> photos;
    for (int i = 0; i < nCount; ++i) {
        SCorpusPhoto photo;
        photo.bGps = pick(0, 99) < nGpsPercent;
        const bool bBig = pick(0, 1) == 1;
        const double dLat = pick(-8900, 8900) / 100.0, dLon = pick(-17900, 17900) / 100.0;
        CExifWriter w = CameraExif(bBig, dLat, dLon);
        if (!photo.bGps) {
            w.m_gps = CExifIfd();
            if (pick(0, 2) == 0) w.m_exif = CExifIfd();  // an edited photo keeps IFD0 only
        }
        const int nKind = pick(0, 9);
        if (nKind >= 8) {  // a scan or an exported TIFF
            w.AddTinyImage(static_cast<uint32_t>(pick(200, 900)),
                           static_cast<uint32_t>(pick(200, 900)));
            photo.path = dir / ("scan" + std::to_string(i) + ".tif");
            WritePhotoFile(photo.path, w.BuildTiff());
            photos.push_back(photo);
            continue;
        }
        SJpegOptions options;
        options.nScanBytes = static_cast<size_t>(pick(40, 800)) << 10;
        options.bJfif = pick(0, 1) == 1;
        if (nKind >= 4) {  // a camera: maker notes and a large thumbnail
            if (pick(0, 1))
                w.m_exif.Bytes(kExifMakerNote, CanonMakerNote(bBig), kTiffUndefined);
            else
                w.m_exif.Bytes(kExifMakerNote, std::vector<uint8_t>(pick(2000, 30000), 0x5A),
                               kTiffUndefined);
            w.m_ifd1.Shorts(kTiffCompression, {6});
            w.m_thumbnail = BuildJpeg(
                CExifWriter(), {false, false, {}, 0, static_cast<size_t>(pick(4000, 24000))});
        }
        if (nKind == 3 || nKind == 7) {  // an editor: XMP and an ICC profile before the EXIF
            options.bXmpFirst = true;
            options.nPaddingSegmentBytes = static_cast<size_t>(pick(500, 4000));
        }
        const std::vector<uint8_t> bytes = BuildJpeg(w, options);
        const std::vector<uint8_t> tiff = w.BuildTiff();
        photo.bJpegExifInFirstBlock =
            bytes.size() >= tiff.size() &&
            std::search(bytes.begin(), bytes.begin() + std::min(bytes.size(), kFirstBlockBytes),
                        tiff.begin(),
                        tiff.end()) != bytes.begin() + std::min(bytes.size(), kFirstBlockBytes);
        photo.path = dir / ("photo" + std::to_string(i) + ".jpg");
        WritePhotoFile(photo.path, bytes);
        photos.push_back(photo);
    }
    return photos;
}
