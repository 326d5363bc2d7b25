// GPS position of a photo: open, the four reads (latitude, its reference, longitude, its
// reference), close. Runs over a generated corpus with the variety of real files (JPEG with and
// without large thumbnails and maker notes, several APP segments before the EXIF one, TIFF in
// both byte orders, photos without GPS), or over the photos of a folder given as the argument.
// Each pass reads every file once in a new shuffled order with a warm page cache, and before
// each reading libexiv2 reads another photo, untimed, as a show does other work between two
// photos; passes of the reader alternate with passes of libexiv2 reading the same four keys of
// the same files, and each figure is the mean over the files of each file's median over the
// passes. A third pass, taking turns with the two, only opens each file, reads its first block
// once and closes it: the floor any reader that opens the file stands on, and the ceiling of the
// ratio it sets. Also prints the most bytes the reader took from a JPEG whose EXIF segment lies
// in the first block.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bare_read.h"
#include "bench/exiv2_peer.h"
#include "bench/photo_corpus.h"
#include "metadata/metadata_reader.h"
#include "metadata/wic_utility.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPasses = 9;
constexpr int kCorpusPhotos = 300;
constexpr int kCorpusGpsPercent = 60;
constexpr double kTargetRatio = 20.0;
constexpr double kTargetGpsRatio = 15.0;

struct SPhoto {
    fs::path path;
    std::wstring strPath;  // as the host hands it over
    bool bGps = false;
    bool bJpegExifInFirstBlock = false;  // the reader should read nothing past its first block
};

// A few hundred files, about 60 % of them with a GPS position.
std::vector<SPhoto> MakeCorpus(const fs::path& dir) {
    std::vector<SPhoto> photos;
    for (const SCorpusPhoto& photo : MakePhotoCorpus(dir, kCorpusPhotos, kCorpusGpsPercent))
        photos.push_back({photo.path, {}, photo.bGps, photo.bJpegExifInFirstBlock});
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
    g_sink = ReadGpsWithExiv2(photo.path);
}

void ReadBare(const SPhoto& photo) {
    static char block[kFirstBlockBytes];
    BareOpenReadClose(photo.path, block, sizeof block);
    g_sink.assign(1, block[0]);
}

// One pass in the given order: µs taken by each file, by its index. In a show the host decodes
// and shows a photo between two readings, and the reader finds the CPU caches filled with other
// things; so before each timed reading, of whichever reader, libexiv2 reads another photo,
// untimed. Timed back to back instead, the reader of the first block finds the kernel's data of
// the files and its own code still cached and comes out about a fifth faster than in a show.
void TimePass(const std::vector<SPhoto>& photos, const std::vector<size_t>& order,
              const std::function<void(const SPhoto&)>& read, std::vector<double>& micros) {
    micros.assign(photos.size(), 0.0);
    for (size_t i : order) {
        ReadExiv2(photos[(i + photos.size() / 2) % photos.size()]);
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
    MuteExiv2();
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
    std::vector<std::vector<double>> ours(kPasses), peer(kPasses), bare(kPasses);
    for (int p = 0; p < kPasses; ++p) {
        // The two readers take turns, so that a busy machine slows both alike; each pass reads
        // the files in a new order so that no file is hot in the CPU caches when it is read.
        std::shuffle(order.begin(), order.end(), rng);
        TimePass(
            photos, order, [&](const SPhoto& photo) { ReadOurs(wic, photo.strPath); }, ours[p]);
        std::shuffle(order.begin(), order.end(), rng);
        TimePass(photos, order, ReadExiv2, peer[p]);
        std::shuffle(order.begin(), order.end(), rng);
        TimePass(photos, order, ReadBare, bare[p]);
    }
    const double dOurs = PerFileMedianMean(photos, ours, false);
    const double dPeer = PerFileMedianMean(photos, peer, false);
    const double dOursGps = PerFileMedianMean(photos, ours, true);
    const double dPeerGps = PerFileMedianMean(photos, peer, true);
    const double dBare = PerFileMedianMean(photos, bare, false);
    const double dBareGps = PerFileMedianMean(photos, bare, true);
    const double dRatio = dPeer / dOurs, dGpsRatio = dOursGps > 0 ? dPeerGps / dOursGps : 0.0;
    std::printf(
        "GPS position per photo, %s: %zu files (%zu with GPS, %.1f MB), each read once "
        "per pass in a shuffled order; mean of each file's median of %d passes\n",
        bFolder ? argv[1] : "generated corpus", photos.size(), nGps,
        static_cast<double>(nTotalBytes) / 1e6, kPasses);
    std::printf("  %-18s %12s %14s\n", "", "all files", "files with GPS");
    std::printf("  %-18s %9.2f us %11.2f us\n", "locanym reader", dOurs, dOursGps);
    std::printf("  libexiv2 %-9s %9.2f us %11.2f us\n", Exiv2Version(), dPeer, dPeerGps);
    std::printf(
        "  ratio libexiv2/locanym: %.1fx (target >= %.0fx): %s; with GPS: %.1fx (target "
        ">= %.0fx): %s\n",
        dRatio, kTargetRatio, dRatio >= kTargetRatio ? "met" : "NOT MET", dGpsRatio,
        kTargetGpsRatio, dGpsRatio >= kTargetGpsRatio ? "met" : "NOT MET");
    std::printf("  %-18s %9.2f us %11.2f us   (open, one pread of the first %zu bytes, close)\n",
                "floor", dBare, dBareGps, kFirstBlockBytes);
    std::printf(
        "  ceiling libexiv2/floor: %.1fx (with GPS: %.1fx), the most any reader that opens the "
        "file can reach here; locanym reader above the floor: %.2f us (with GPS: %.2f us)\n",
        dBare > 0 ? dPeer / dBare : 0.0, dBareGps > 0 ? dPeerGps / dBareGps : 0.0, dOurs - dBare,
        dOursGps - dBareGps);
    if (!bFolder)
        std::printf(
            "  most bytes read from a JPEG whose EXIF segment lies in the first %zu "
            "bytes: %llu (target: that block alone)\n",
            kFirstBlockBytes, static_cast<unsigned long long>(nMaxFirstBlockJpeg));
    return 0;
}
