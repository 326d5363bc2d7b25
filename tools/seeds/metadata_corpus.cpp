// Writes the seed corpus of metadata_fuzz with the photo writer:
//   metadata_corpus tests/fuzz/corpus/metadata
// Small files (a few hundred bytes each), so that the fuzzer mutates structure, not pixels.
#include "tests/support/photo_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::filesystem::path dir = argv[1];
    const std::vector<SRational> lat = {{45, 1}, {27, 1}, {511, 10}};
    const std::vector<SRational> lon = {{7, 1}, {41, 1}, {3000, 100}};
    SJpegOptions small;
    small.nScanBytes = 8;
    auto gps = [&](bool bBig) {
        CExifWriter w(bBig);
        w.m_ifd0.Ascii(kTiffMake, "Locanym");
        w.m_gps.Bytes(kGpsVersionId, {2, 3, 0, 0});
        w.m_gps.Ascii(kGpsLatitudeRef, "N");
        w.m_gps.Rationals(kGpsLatitude, lat);
        w.m_gps.Ascii(kGpsLongitudeRef, "W");
        w.m_gps.Rationals(kGpsLongitude, lon);
        return w;
    };
    bool bOk = true;
    for (const bool bBig : {false, true}) {
        const std::string strName = bBig ? "example_be" : "example_le";
        CExifWriter w = gps(bBig);
        bOk &= WritePhotoFile(dir / (strName + ".jpg"), BuildJpeg(w, small));
        w.AddTinyImage(2, 2);
        bOk &= WritePhotoFile(dir / (strName + ".tif"), w.BuildTiff());
    }
    {
        // Every item-specific format, the interop block, a thumbnail, XMP before EXIF.
        CExifWriter w = gps(false);
        w.m_exif.Rationals(kExifExposureTime, {{1, 250}});
        w.m_exif.Rationals(kExifFNumber, {{28, 10}});
        w.m_exif.Rationals(37377, {{8, 1}}, true);
        w.m_exif.Rationals(37378, {{5, 1}});
        w.m_exif.Rationals(37380, {{static_cast<uint32_t>(-1), 3}}, true);
        w.m_exif.Rationals(37381, {{3, 1}});
        w.m_exif.Rationals(kExifLensSpecification, {{18, 1}, {55, 1}, {35, 10}, {56, 10}});
        w.m_exif.Doubles(41483, {1.5});
        w.m_exif.Bytes(kExifMakerNote, {1, 2, 3, 4, 5, 6}, kTiffUndefined);
        w.m_exif.Shorts(34855, {100, 200});
        w.m_exif.Longs(40962, {6000});
        w.m_interop.Ascii(1, "R98");
        w.m_ifd1.Shorts(kTiffCompression, {6});
        w.m_thumbnail = {0xFF, 0xD8, 0xFF, 0xD9};
        SJpegOptions options = small;
        options.bXmpFirst = true;
        bOk &= WritePhotoFile(dir / "exif_interop_thumbnail.jpg", BuildJpeg(w, options));
    }
    {
        CExifWriter w(false);
        w.m_gps.Rationals(kGpsLatitude, lat);
        w.m_gps.Rationals(kGpsLongitude, lon);
        w.m_gps.Ascii(kGpsLatitudeRef, "s");
        w.m_gps.Ascii(kGpsLongitudeRef, "w");
        w.m_gps.m_bSorted = false;
        SJpegOptions options = small;
        options.extraExif.push_back(gps(true).BuildTiff());
        bOk &= WritePhotoFile(dir / "unsorted_two_blocks.jpg", BuildJpeg(w, options));
    }
    {
        CExifWriter w(true);
        w.m_gps.Rationals(kGpsLatitude, {{91, 2}});
        w.m_gps.Ascii(kGpsLongitude, "7 41 30");
        w.m_gps.Rationals(6, {{static_cast<uint32_t>(-5), 0}}, true);
        bOk &= WritePhotoFile(dir / "scalar_ascii_signed.jpg", BuildJpeg(w, small));
    }
    {
        CExifWriter w = gps(false);
        w.m_bAutoPointers = false;
        w.m_ifd0.Longs(kTiffGpsPointer, {8});
        w.m_nIfd0Next = 8;
        bOk &= WritePhotoFile(dir / "gps_loop.tif", w.BuildTiff());
    }
    {
        // Coordinates as doubles and decimal text, block pointers typed SLONG.
        CExifWriter w(false);
        w.m_nPointerType = kTiffSLong;
        w.m_gps.Ascii(kGpsLatitudeRef, "S");
        w.m_gps.Doubles(kGpsLatitude, {-45.5});
        w.m_gps.Ascii(kGpsLongitudeRef, "E");
        w.m_gps.Ascii(kGpsLongitude, "7.25");
        w.m_exif.Doubles(41483, {40, 26, 49.1});
        std::vector<uint8_t> bytes = BuildJpeg(w, small);
        bytes.insert(bytes.begin() + 2, 40, 0xFF);  // fill bytes before the first marker
        bOk &= WritePhotoFile(dir / "doubles_text_slong_fill.jpg", bytes);
    }
    bOk &= WritePhotoFile(dir / "image.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0,
                                              13, 'I', 'H', 'D', 'R'});
    return bOk ? 0 : 1;
}
