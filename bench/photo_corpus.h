// Photos shaped like the ones a camera, a phone, an editor or a scanner writes, for the
// benchmarks that read photos: JPEG with and without large thumbnails and maker notes, several
// APP segments before the EXIF one, TIFF in both byte orders, and photos without GPS.
#pragma once

#include <filesystem>
#include <vector>

struct SCorpusPhoto {
    std::filesystem::path path;
    bool bGps = false;                   // the photo has a GPS position
    bool bJpegExifInFirstBlock = false;  // a reader needs nothing past its first block
};

// Writes nCount photos into dir, about nGpsPercent of them with a GPS position. The same
// arguments make the same files.
std::vector<SCorpusPhoto> MakePhotoCorpus(const std::filesystem::path& dir, int nCount,
                                          int nGpsPercent);
