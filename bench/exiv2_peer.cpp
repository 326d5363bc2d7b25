#include "bench/exiv2_peer.h"

#include <exiv2/exiv2.hpp>

std::string ReadGpsWithExiv2(const std::filesystem::path& photo) {
    try {
        auto image = Exiv2::ImageFactory::open(photo.string());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        std::string text;
        for (const char* key : {"Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef",
                                "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef"}) {
            auto it = exif.findKey(Exiv2::ExifKey(key));
            if (it != exif.end()) text += it->toString();
        }
        return text;
    } catch (const std::exception&) {
        return std::string();
    }
}

void MuteExiv2() {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
}

const char* Exiv2Version() {
    return Exiv2::version();
}
