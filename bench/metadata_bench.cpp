// GPS position of a photo: open, the four reads (latitude, its reference, longitude, its
// reference), close. Runs over a generated corpus with the variety of real files (JPEG with and
// without large thumbnails and maker notes, several APP segments before the EXIF one, TIFF in
// both byte orders, photos without GPS), or over the photos of a folder given as the argument.
// Each pass reads every file once in a new shuffled order with a warm page cache; passes of the
// reader alternate with passes of libexiv2 reading the same four keys of the same files, and
// each figure is the mean over the files of each file's median over the passes. Also prints the
// most bytes the reader took from a JPEG whose EXIF segment lies in the first block.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "metadata/metadata_reader.h"
#include "metadata/wic_utility.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPasses = 9;
constexpr int kCorpusPhotos = 300;
constexpr double kTargetRatio = 20.0;
constexpr double kTargetGpsRatio = 15.0;

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

struct SPhoto {
    fs::path path;
    std::wstring strPath;  // as the host hands it over
    bool bGps = false;
    bool bJpegExifInFirstBlock = false;  // the reader should read nothing past its first block
};

// A few hundred files shaped like the ones a camera, a phone, an editor or a scanner writes.
std::vector<SPhoto> MakeCorpus(const fs::path& dir) {
    std::mt19937 rng(20240518);
    auto pick = [&](int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(rng);
    };
    std::vector<SPhoto> photos;
    for (int i = 0; i < kCorpusPhotos; ++i) {
        SPhoto photo;
        photo.bGps = pick(0, 9) < 6;
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
            WritePhotoFile(photo.path, BuildTiffFile(w));
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

// The JPEG and TIFF photos below a folder, for a run over the user's own files.
std::vector<SPhoto> FolderPhotos(const fs::path& dir) {
    std::vector<SPhoto> photos;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::string ext = it->path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff")
            photos.push_back({it->path(), {}, false, false});
    }
    return photos;
}

std::string Slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

std::string g_sink;

// True when both coordinates were found.
bool ReadOurs(CWicUtility& wic, const std::wstring& strPhoto, uint64_t* pBytes = nullptr) {
    std::wstring lat, lon;
    if (wic.OpenFile(strPhoto)) {
        wic.ReadItem(2, 1, lat);  // and its reference
        wic.ReadItem(4, 1, lon);  // and its reference
        if (pBytes) *pBytes = wic.BytesRead();
        wic.Close();
    }
    g_sink.assign(lat.size(), 'x');
    return !lat.empty() && !lon.empty();
}

void ReadExiv2(const SPhoto& photo) {
    try {
        auto image = Exiv2::ImageFactory::open(photo.path.string());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        std::string text;
        for (const char* key : {"Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef",
                                "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef"}) {
            auto it = exif.findKey(Exiv2::ExifKey(key));
            if (it != exif.end()) text += it->toString();
        }
        g_sink = text;
    } catch (const std::exception&) {
        g_sink.clear();  // a file libexiv2 cannot read costs what it cost
    }
}

// One pass in the given order: µs taken by each file, by its index.
void TimePass(const std::vector<SPhoto>& photos, const std::vector<size_t>& order,
              const std::function<void(const SPhoto&)>& read, std::vector<double>& micros) {
    micros.assign(photos.size(), 0.0);
    for (size_t i : order) {
        const auto t0 = std::chrono::steady_clock::now();
        read(photos[i]);
        micros[i] = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                        .count();
    }
}

// Mean over the files (all, or those with GPS) of each file's median over the passes: a pass
// that another process interrupted moves no figure.
double PerFileMedianMean(const std::vector<SPhoto>& photos,
                         const std::vector<std::vector<double>>& passes, bool bGpsOnly) {
    double dSum = 0;
    size_t n = 0;
    for (size_t i = 0; i < photos.size(); ++i) {
        if (bGpsOnly && !photos[i].bGps) continue;
        std::vector<double> v;
        for (const std::vector<double>& pass : passes) v.push_back(pass[i]);
        dSum += Median(v);
        ++n;
    }
    return n ? dSum / static_cast<double>(n) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    CTempDir dir;
    const bool bFolder = argc > 1;
    std::vector<SPhoto> photos = bFolder ? FolderPhotos(argv[1]) : MakeCorpus(dir.Path());
    if (photos.empty()) {
        std::fprintf(stderr, "no JPEG or TIFF photos in %s\n", bFolder ? argv[1] : "the corpus");
        return 2;
    }
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    CWicUtility wic;
    wic.Init();
    uint64_t nMaxFirstBlockJpeg = 0, nTotalBytes = 0;
    size_t nGps = 0;
    for (SPhoto& photo : photos) {
        photo.strPath = photo.path.wstring();
        g_sink = Slurp(photo.path).substr(0, 1);  // warm the page cache
        nTotalBytes += fs::file_size(photo.path);
        uint64_t nBytes = 0;
        photo.bGps = ReadOurs(wic, photo.strPath, &nBytes);
        nGps += photo.bGps;
        if (photo.bJpegExifInFirstBlock) nMaxFirstBlockJpeg = std::max(nMaxFirstBlockJpeg, nBytes);
    }

    std::mt19937 rng(7);
    std::vector<size_t> order(photos.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<std::vector<double>> ours(kPasses), peer(kPasses);
    for (int p = 0; p < kPasses; ++p) {
        // The two readers take turns, so that a busy machine slows both alike; each pass reads
        // the files in a new order so that no file is hot in the CPU caches when it is read.
        std::shuffle(order.begin(), order.end(), rng);
        TimePass(
            photos, order, [&](const SPhoto& photo) { ReadOurs(wic, photo.strPath); }, ours[p]);
        std::shuffle(order.begin(), order.end(), rng);
        TimePass(photos, order, ReadExiv2, peer[p]);
    }
    const double dOurs = PerFileMedianMean(photos, ours, false);
    const double dPeer = PerFileMedianMean(photos, peer, false);
    const double dOursGps = PerFileMedianMean(photos, ours, true);
    const double dPeerGps = PerFileMedianMean(photos, peer, true);
    const double dRatio = dPeer / dOurs, dGpsRatio = dOursGps > 0 ? dPeerGps / dOursGps : 0.0;
    std::printf(
        "GPS position per photo, %s: %zu files (%zu with GPS, %.1f MB), each read once "
        "per pass in a shuffled order; mean of each file's median of %d passes\n",
        bFolder ? argv[1] : "generated corpus", photos.size(), nGps,
        static_cast<double>(nTotalBytes) / 1e6, kPasses);
    std::printf("  %-18s %12s %14s\n", "", "all files", "files with GPS");
    std::printf("  %-18s %9.2f us %11.2f us\n", "locanym reader", dOurs, dOursGps);
    std::printf("  libexiv2 %-9s %9.2f us %11.2f us\n", Exiv2::version(), dPeer, dPeerGps);
    std::printf(
        "  ratio libexiv2/locanym: %.1fx (target >= %.0fx): %s; with GPS: %.1fx (target "
        ">= %.0fx): %s\n",
        dRatio, kTargetRatio, dRatio >= kTargetRatio ? "met" : "NOT MET", dGpsRatio,
        kTargetGpsRatio, dGpsRatio >= kTargetGpsRatio ? "met" : "NOT MET");
    if (!bFolder)
        std::printf(
            "  most bytes read from a JPEG whose EXIF segment lies in the first %zu "
            "bytes: %llu (target: that block alone)\n",
            kFirstBlockBytes, static_cast<unsigned long long>(nMaxFirstBlockJpeg));
    return 0;
}
