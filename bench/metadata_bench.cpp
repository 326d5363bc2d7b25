// GPS position of a photo: open, the four reads (latitude, its reference, longitude, its
// reference), close; over a folder of photos with a warm page cache. The same four keys are
// read with libexiv2 in the same run, and the ratio printed. Also prints how many bytes the
// reader took from a JPEG whose EXIF block is at its start (target: at most 64 KiB).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "metadata/wic_utility.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 15;
constexpr double kTargetRatio = 10.0;
constexpr uint64_t kTargetJpegBytes = 64 * 1024;

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

std::vector<fs::path> MakePhotos(const fs::path& dir) {
    std::vector<fs::path> photos;
    auto add = [&](const char* name, const std::vector<uint8_t>& bytes) {
        photos.push_back(dir / name);
        WritePhotoFile(photos.back(), bytes);
    };
    SJpegOptions scan;
    scan.nScanBytes = 3 << 20;  // a 3 MB photo
    add("camera.jpg", BuildJpeg(CameraExif(false, 45.4641944, -7.6916667), scan));

    CExifWriter rich = CameraExif(false, 48.8566, 2.3522);
    rich.m_exif.Bytes(kExifMakerNote, CanonMakerNote(false), kTiffUndefined);
    rich.m_ifd1.Shorts(kTiffCompression, {6});
    rich.m_thumbnail = BuildJpeg(CExifWriter(), {false, false, {}, 0, 30000});
    add("thumbnail_makernote.jpg", BuildJpeg(rich, scan));

    CExifWriter tiff = CameraExif(true, -33.8688, 151.2093);
    tiff.AddTinyImage(1500, 1500);
    add("scan.tif", BuildTiffFile(tiff));
    return photos;
}

std::string Slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Mean time per photo of nPasses passes over the folder, in µs.
double PassMicros(const std::vector<fs::path>& photos, int nPasses,
                  const std::function<void(const fs::path&)>& read) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int p = 0; p < nPasses; ++p)
        for (const fs::path& photo : photos) read(photo);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(t1 - t0).count() /
           (static_cast<double>(nPasses) * static_cast<double>(photos.size()));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string g_sink;

void ReadOurs(CWicUtility& wic, const fs::path& photo, uint64_t* pBytes = nullptr) {
    std::wstring lat, lon;
    if (wic.OpenFile(photo.wstring())) {
        wic.ReadItem(2, 1, lat);  // and its reference
        wic.ReadItem(4, 1, lon);  // and its reference
        if (pBytes) *pBytes = wic.BytesRead();
        wic.Close();
    }
    g_sink.assign(lat.begin(), lat.end());
}

void ReadExiv2(const fs::path& photo) {
    auto image = Exiv2::ImageFactory::open(photo.string());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    std::string text;
    for (const char* key : {"Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef",
                            "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef"}) {
        auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end()) text += it->toString();
    }
    g_sink = text;
}

}  // namespace

int main() {
    CTempDir dir;
    const std::vector<fs::path> photos = MakePhotos(dir.Path());
    for (const fs::path& photo : photos) g_sink = Slurp(photo).substr(0, 1);  // warm the page cache

    CWicUtility wic;
    wic.Init();
    for (const fs::path& photo : photos) {
        uint64_t nBytes = 0;
        ReadOurs(wic, photo, &nBytes);
        std::printf("%-26s %9llu bytes, reader read %6llu bytes\n", photo.filename().c_str(),
                    static_cast<unsigned long long>(fs::file_size(photo)),
                    static_cast<unsigned long long>(nBytes));
    }
    uint64_t nJpegBytes = 0;
    ReadOurs(wic, photos[1], &nJpegBytes);

    // The two readers take turns, so that a busy machine slows both alike.
    std::vector<double> ours, peer, ratios;
    for (int r = 0; r < kRounds; ++r) {
        ours.push_back(PassMicros(photos, 300, [&](const fs::path& p) { ReadOurs(wic, p); }));
        peer.push_back(PassMicros(photos, 20, [](const fs::path& p) { ReadExiv2(p); }));
        ratios.push_back(peer.back() / ours.back());
    }
    const double dOurs = Median(ours), dExiv2 = Median(peer), dRatio = Median(ratios);
    std::printf("GPS position per photo (median of %d rounds, %zu photos):\n", kRounds,
                photos.size());
    std::printf("  locanym reader : %10.2f us\n", dOurs);
    std::printf("  libexiv2 %-6s : %10.2f us\n", Exiv2::version(), dExiv2);
    std::printf("  ratio libexiv2/locanym (median of the rounds): %.1fx (target >= %.0fx): %s\n",
                dRatio, kTargetRatio, dRatio >= kTargetRatio ? "met" : "NOT MET");
    std::printf(
        "  bytes read from a JPEG with its EXIF block at the start (thumbnail, maker notes): "
        "%llu (target <= %llu): %s\n",
        static_cast<unsigned long long>(nJpegBytes),
        static_cast<unsigned long long>(kTargetJpegBytes),
        nJpegBytes <= kTargetJpegBytes ? "met" : "NOT MET");
    return dRatio >= kTargetRatio && nJpegBytes <= kTargetJpegBytes ? 0 : 1;
}
