// Message 19 through the real module: the GPS position of a photo reaches the log, a photo
// without one is reported missing. Whatever lookup follows goes to a loopback server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

CExifWriter ExamplePosition(bool bBigEndian) {
    CExifWriter w(bBigEndian);
    w.m_gps.Ascii(kGpsLatitudeRef, "N");
    w.m_gps.Rationals(kGpsLatitude, {{45, 1}, {27, 1}, {511, 10}});
    w.m_gps.Ascii(kGpsLongitudeRef, "W");
    w.m_gps.Rationals(kGpsLongitude, {{7, 1}, {41, 1}, {3000, 100}});
    return w;
}

TEST(MetadataEndToEnd, LogsThePositionOfEachPhotoOrItsAbsence) {
    CTempDir dir;
    const auto jpeg = dir.Path() / "example.jpg";
    const auto tiff = dir.Path() / "example.tif";
    const auto bare = dir.Path() / "bare.jpg";
    const auto png = dir.Path() / "picture.png";
    const auto text = dir.Path() / "notes.jpg";
    ASSERT_TRUE(WritePhotoFile(jpeg, BuildJpeg(ExamplePosition(false))));
    CExifWriter tiffExif = ExamplePosition(true);
    tiffExif.AddTinyImage(8, 8);
    ASSERT_TRUE(WritePhotoFile(tiff, BuildTiffFile(tiffExif)));
    CExifWriter noGps;
    noGps.m_ifd0.Ascii(kTiffMake, "Locanym");
    ASSERT_TRUE(WritePhotoFile(bare, BuildJpeg(noGps)));
    ASSERT_TRUE(WritePhotoFile(png, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0}));
    ASSERT_TRUE(WritePhotoFile(text, {'n', 'o', 't', 'e', 's', '\n'}));

    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    CTestHost host;
    host.Start();
    std::wstring caption;
    for (const auto& path : {jpeg, tiff, bare, png, text}) host.Caption(path.wstring(), caption);
    unsetenv("LOCANYM_SERVICE_URL");

    const std::vector<std::wstring> logs = host.Logs();
    auto count = [&](const std::wstring& text) {
        return std::count(logs.begin(), logs.end(), text);
    };
    EXPECT_EQ(count(L"gps location: 45.4641944,-7.6916667"), 2);
    EXPECT_EQ(count(L"Missing gps location: file " + bare.wstring()), 1);
    // A PNG slide is an image without a position; a file that is no image is an error.
    EXPECT_EQ(count(L"Missing gps location: file " + png.wstring()), 1);
    EXPECT_EQ(count(L"Missing gps location: file " + text.wstring()), 0);
    int nRefused = 0;
    for (const std::wstring& line : host.Logs(true))
        nRefused += line.find(L"CreateDecoderFromFilename failed") != std::wstring::npos;
    EXPECT_EQ(nRefused, 1);
    bool bTextRefused = false;
    for (const std::wstring& line : host.Logs(true))
        bTextRefused |= line.find(L"CreateDecoderFromFilename failed") != std::wstring::npos &&
                        line.find(text.wstring()) != std::wstring::npos;
    EXPECT_TRUE(bTextRefused);
}

}  // namespace
