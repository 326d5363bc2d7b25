// locanym-make-samples: writes the demo's sample photos, each at a real place, into a folder.
//
//   locanym-make-samples DIR
#include <cstdio>
#include <filesystem>

#include "tests/support/photo_writer.h"

namespace {

struct SSample {
    const char* pszName;
    double dLatitude, dLongitude;
    bool bTiff;
};

// Places the demo's recorded answers know. Together they cover both hemispheres of each
// coordinate, JPEG and TIFF (little- and big-endian), and non-Latin names.
const SSample kSamples[] = {
    {"notre-dame-de-paris.jpg", 48.852968, 2.349902, false},
    {"jardin-du-luxembourg.tif", 48.846222, 2.337160, true},
    {"red-square-moscow.jpg", 55.753930, 37.620795, false},
    {"colosseum-rome.jpg", 41.890210, 12.492231, false},
    {"central-park-new-york.jpg", 40.782865, -73.965355, false},
    {"opera-house-sydney.tif", -33.856784, 151.215297, true},
    {"wall-street-new-york.jpg", 40.706005, -74.008827, false},
    {"nakano-tokyo.jpg", 35.707398, 139.663835, false},
    {"tower-bridge-london.jpg", 51.505456, -0.075356, false},
};

// A big-endian TIFF with a tiny image at the position, as a scanner or converter writes one.
bool WriteGpsTiff(const std::filesystem::path& path, double dLatitude, double dLongitude) {
    CExifWriter exif(true);
    exif.m_ifd0.Ascii(kTiffMake, "Locanym");
    exif.AddGpsPosition(dLatitude, dLongitude);
    exif.AddTinyImage(8, 8);
    return WritePhotoFile(path, exif.BuildTiff());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    for (const SSample& s : kSamples) {
        const std::filesystem::path path = folder / s.pszName;
        const bool bOk = s.bTiff ? WriteGpsTiff(path, s.dLatitude, s.dLongitude)
                                 : WriteGpsJpeg(path, s.dLatitude, s.dLongitude);
        if (!bOk) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    // A photo without any GPS position: the plug-in has nothing to say about it.
    CExifWriter plain;
    plain.m_ifd0.Ascii(kTiffMake, "Locanym demo camera");
    if (!WritePhotoFile(folder / "no-gps-position.jpg", BuildJpeg(plain))) {
        std::fprintf(stderr, "cannot write the photo without position\n");
        return 1;
    }
    return 0;
}
