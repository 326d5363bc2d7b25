// The reader over real files written by the photo writer: the GPS position the module asks
// for, in every layout a camera writes, and damaged, hostile or odd files.
#include "metadata/wic_utility.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

class WicUtilityTest : public ::testing::Test {
  protected:
    // Writes the file and reads latitude and longitude as message 19 does; false when it does
    // not open.
    bool ReadPosition(const std::string& name, const std::vector<uint8_t>& bytes, std::wstring& lat,
                      std::wstring& lon) {
        const fs::path path = m_dir.Path() / name;
        EXPECT_TRUE(WritePhotoFile(path, bytes));
        lat = L"stale";
        lon = L"stale";
        // The file system takes names as UTF-8, whatever the process locale says.
        if (!m_wic.OpenFile(Utf8ToWide(path.string()))) return false;
        m_wic.ReadItem(2, 1, lat);
        m_wic.ReadItem(4, 1, lon);
        m_wic.Close();
        return true;
    }
    std::vector<std::wstring> Errors() {
        std::vector<std::wstring> out;
        for (const CLogCapture::SLine& line : m_logs.Lines())
            if (line.bError) out.push_back(line.strText);
        return out;
    }

    CLogCapture m_logs;
    CTempDir m_dir;
    CWicUtility m_wic;  // one reader for every photo, as the module keeps it
};

const std::vector<SRational> kLat = {{45, 1}, {27, 1}, {511, 10}};
const std::vector<SRational> kLon = {{7, 1}, {41, 1}, {3000, 100}};

CExifWriter GpsExif(bool bBig, const std::vector<SRational>& lat, const char* pszLatRef,
                    const std::vector<SRational>& lon, const char* pszLonRef,
                    bool bSigned = false) {
    CExifWriter w(bBig);
    w.m_ifd0.Ascii(kTiffMake, "Locanym");
    w.m_gps.Bytes(kGpsVersionId, {2, 3, 0, 0});
    if (pszLatRef) w.m_gps.Ascii(kGpsLatitudeRef, pszLatRef);
    if (!lat.empty()) w.m_gps.Rationals(kGpsLatitude, lat, bSigned);
    if (pszLonRef) w.m_gps.Ascii(kGpsLongitudeRef, pszLonRef);
    if (!lon.empty()) w.m_gps.Rationals(kGpsLongitude, lon, bSigned);
    return w;
}

std::vector<uint8_t> Tiff(CExifWriter w) {
    w.AddTinyImage(8, 8);
    return w.BuildTiff();
}

// A file and what message 19 reads from it. pszLogged: part of the error line the file must
// give; null: it may give none but the refusal of an impossible coordinate.
struct SPhotoCase {
    const char* pszName;  // file name: its extension picks the layout
    std::vector<uint8_t> bytes;
    const wchar_t* pszLat;
    const wchar_t* pszLon;
    const wchar_t* pszLogged = nullptr;
    bool bOpens = true;  // false: OpenFile refuses the file
};

std::vector<SPhotoCase> PhotoCases() {
    std::vector<SPhotoCase> cases;
    // Plain little-endian JPEGs and big-endian ones and TIFFs are the truncation test's full
    // files; photos through the host are host_caption_test's. A lower-case reference counts, a
    // missing one means north or east, and a name that is not ASCII is read like any other.
    cases.push_back({"Caf\u00e9 Z\u00fcrich \u6771\u4eac.jpg",
                     BuildJpeg(GpsExif(false, kLat, "s", kLon, nullptr)), L"-45.4641944",
                     L"7.6916667"});
    {
        // Real cameras write the references after the values. Of two EXIF blocks the first one
        // counts (exiftool lets the later one override it).
        CExifWriter w = GpsExif(false, kLat, nullptr, kLon, nullptr);
        w.m_gps.Ascii(kGpsLatitudeRef, "S");
        w.m_gps.Ascii(kGpsLongitudeRef, "W");
        w.m_gps.m_bSorted = false;
        const SJpegOptions options{
            .extraExif = {GpsExif(false, {{10, 1}}, "N", {{20, 1}}, "E").BuildTiff()}};
        cases.push_back({"refs_after_values_two_blocks.jpg", BuildJpeg(w, options), L"-45.4641944",
                         L"-7.6916667"});
    }
    {
        // An XMP block before the EXIF one, and any number of 0xFF fill bytes before a marker.
        std::vector<uint8_t> bytes =
            BuildJpeg(GpsExif(true, kLat, "N", kLon, "E"), {.bJfif = false, .bXmpFirst = true});
        bytes.insert(bytes.begin() + 2, 100000, 0xFF);
        cases.push_back({"xmp_first_fill.jpg", bytes, L"45.4641944", L"7.6916667"});
    }
    // Writers that type the EXIF, GPS and interop pointers SLONG or IFD instead of LONG.
    for (const uint16_t nType : {kTiffSLong, kTiffIfd}) {
        CExifWriter w = GpsExif(nType == kTiffSLong, kLat, "N", kLon, "W");
        w.m_exif.Rationals(kExifFNumber, {{28, 10}});
        w.m_interop.Ascii(1, "R98");
        w.m_nPointerType = nType;
        cases.push_back({nType == kTiffSLong ? "slong_pointers.jpg" : "ifd_pointers.TIFF",
                         nType == kTiffSLong ? BuildJpeg(w) : Tiff(w), L"45.4641944",
                         L"-7.6916667"});
    }
    // 0/0 in every part is a placeholder, no position; a single 0/0 part counts as 0 (exiftool
    // reports the coordinate undefined).
    cases.push_back(
        {"placeholder_and_seconds_0_0.jpg",
         BuildJpeg(GpsExif(false, {{0, 0}, {0, 0}, {0, 0}}, "N", {{1, 1}, {30, 1}, {0, 0}}, "W")),
         L"", L"-1.5000000"});
    // The reader takes GPS parts unsigned, and 4294967251 degrees is no place. A count of 1 is a
    // scalar, so the rational's own "%g" text.
    cases.push_back({"signed_negative_one_element.jpg",
                     BuildJpeg(GpsExif(false, {{static_cast<uint32_t>(-45), 1}, {27, 1}, {511, 10}},
                                       "N", {{7, 1}}, "W", true)),
                     L"", L"-7"});
    {
        // Counts of 0: an empty vector and an empty text, no value bytes at all.
        CExifWriter w(false);
        w.m_gps.Ascii(kGpsLatitudeRef, "N").nCount = 0;
        w.m_gps.Rationals(kGpsLatitude, kLat).nCount = 0;
        w.m_gps.Ascii(kGpsLongitudeRef, "");
        w.m_gps.Rationals(kGpsLongitude, {}).nCount = 0;
        cases.push_back({"zero_counts.jpg", BuildJpeg(w), L"", L""});
    }
    // Slides in other image formats open as images without metadata: no position, no line.
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                      0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    cases.push_back({"png.jpg", png, L"", L""});
    // Coordinates stored as doubles or text: only one number that names a place once signed is
    // taken; a negative one with an S reference would read "--45.5".
    auto coded = [&](const char* pszName, SExifEntry lat, const char* pszLatRef, SExifEntry lon,
                     const wchar_t* pszLat, const wchar_t* pszLon) {
        CExifWriter w = GpsExif(false, {}, pszLatRef, {}, "E");
        w.m_gps.Add(lat);
        w.m_gps.Add(lon);
        cases.push_back({pszName, BuildJpeg(w), pszLat, pszLon});
    };
    auto dbl = [](uint16_t nTag, std::vector<double> v) { return CExifIfd().Doubles(nTag, v); };
    coded("negative_south.jpg", dbl(2, {-45.5}), "S", dbl(4, {-7.25}), L"", L"-7.25");
    coded("edges.jpg", dbl(2, {90}), "S", dbl(4, {181}), L"-90", L"");
    coded("text_and_list.jpg", CExifIfd().Ascii(2, "45.5"), "S", dbl(4, {40, 26, 49.1}), L"-45.5",
          L"");
    // Damaged files: the read they spoil ends empty with an error line, nothing else happens.
    auto damaged = [&](const char* pszName, const wchar_t* pszLogged, auto damage) {
        CExifWriter w = GpsExif(false, kLat, "N", kLon, "W");
        damage(w);
        const bool bTiff = std::string(pszName).ends_with(".tif");
        cases.push_back({pszName, bTiff ? w.BuildTiff() : BuildJpeg(w), L"", L"", pszLogged});
    };
    // The GPS block is IFD0 itself: a loop.
    damaged("gps_loop.tif", L"in a loop", [](CExifWriter& w) {
        w.m_bAutoPointers = false;
        w.m_ifd0.Longs(kTiffGpsPointer, {8});
    });
    damaged("value_sizes_past_end.jpg", L"outside the file", [](CExifWriter& w) {
        w.m_gps.Find(kGpsLatitude)->nCount = 0x1FFFFFFF;  // 4 GiB of rationals
        w.m_gps.Find(kGpsLongitude)->nCount = 1000;       // 8000 bytes in a file of a few hundred
    });
    damaged("unknown_types.jpg", L"malformed", [](CExifWriter& w) {
        w.m_gps.Find(kGpsLatitude)->nType = 99;
        w.m_gps.Find(kGpsLongitude)->nType = 0;
    });
    // An IFD that claims more entries than the reader accepts.
    damaged("huge_gps_ifd.jpg", L"larger than the reader accepts", [](CExifWriter& w) {
        for (uint16_t tag = 5; tag < 5 + kMaxIfdEntries; ++tag) w.m_gps.Shorts(tag, {1});
    });
    cases.push_back({"empty.jpg", {}, L"", L"", L"not a JPEG or TIFF image", false});
    // Fill bytes and nothing else: the search for a marker ends.
    std::vector<uint8_t> fill(300000, 0xFF);
    fill[1] = 0xD8;
    cases.push_back({"only_fill.jpg", fill, L"", L"", L"GetFrame failed", false});
    // EXIF blocks whose TIFF header is broken or sends IFD0 far past the end: the image opens,
    // the reads fail.
    cases.push_back({"bad_tiff_header.jpg", BuildJpegFromTiff({'X', 'X', 0, 42, 0, 0, 0, 8}), L"",
                     L"", L"malformed"});
    cases.push_back({"ifd0_past_end.jpg",
                     BuildJpegFromTiff({'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F}), L"", L"",
                     L"points outside the file"});
    return cases;
}

TEST_F(WicUtilityTest, ReadsPositionsInEveryLayoutAndRefusesDamage) {
    for (const SPhotoCase& c : PhotoCases()) {
        SCOPED_TRACE(c.pszName);
        m_logs.Clear();
        std::wstring lat, lon;
        ASSERT_EQ(ReadPosition(c.pszName, c.bytes, lat, lon), c.bOpens);
        if (c.bOpens) {
            EXPECT_EQ(lat, c.pszLat);
            EXPECT_EQ(lon, c.pszLon);
        }
        bool bLogged = false;
        for (const std::wstring& line : Errors()) {
            bLogged |= c.pszLogged && line.find(c.pszLogged) != std::wstring::npos;
            EXPECT_TRUE(c.pszLogged || line.find(L"out of range") != std::wstring::npos)
                << WideToUtf8(line);
        }
        EXPECT_EQ(bLogged, c.pszLogged != nullptr) << "no error line with the reason";
    }
}

TEST_F(WicUtilityTest, EveryTruncationOfAPhotoIsSafe) {
    CExifWriter w = GpsExif(true, kLat, "S", kLon, "E");
    w.m_exif.Rationals(kExifExposureTime, {{1, 250}});
    w.m_interop.Ascii(1, "R98");
    for (const bool bTiff : {false, true}) {
        const std::vector<uint8_t> full = bTiff ? Tiff(w) : BuildJpeg(w);
        for (size_t n = 0; n <= full.size(); ++n) {
            std::wstring lat, lon;
            if (!ReadPosition(bTiff ? "cut.tif" : "cut.jpg", {full.begin(), full.begin() + n}, lat,
                              lon))
                continue;
            // Either the whole value is there or none of it.
            EXPECT_TRUE(lat.empty() || lat == L"-45.4641944") << n;
            EXPECT_TRUE(lon.empty() || lon == L"7.6916667") << n;
            if (n == full.size()) {
                EXPECT_EQ(lat + L"," + lon, L"-45.4641944,7.6916667");
            }
        }
    }
}

// A FIFO would block a plain open() until a writer comes: the host would hang.
TEST_F(WicUtilityTest, OnlyRegularFilesAreOpened) {
    const fs::path fifo = m_dir.Path() / "fifo.jpg", folder = m_dir.Path() / "folder.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    std::wstring lat, lon;
    ASSERT_TRUE(ReadPosition("gps.jpg", BuildJpeg(GpsExif(true, kLat, "S", kLon, "E")), lat, lon));
    for (const fs::path& path : {fifo, folder, m_dir.Path() / "missing.jpg"}) {
        m_logs.Clear();
        EXPECT_FALSE(m_wic.OpenFile(path.wstring()));
        const std::vector<std::wstring> errors = Errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(fs::exists(path) ? L"not a regular file" : L"does not exist"),
                  std::wstring::npos);
        EXPECT_NE(errors[0].find(path.wstring()), std::wstring::npos);
        // Nothing of the photo read before is taken for this one.
        EXPECT_FALSE(m_wic.ReadItem(2, 1, lat));
    }
}

}  // namespace
