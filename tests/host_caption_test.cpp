// The built reference host captioning batches of real photo files through the built module,
// against a GeoNames-shaped service on 127.0.0.1.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>

#include <sstream>

#include "tests/host_test_util.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"

namespace fs = std::filesystem;
using host_test::HostRunTest;
using host_test::Lines;
using host_test::SRun;

namespace {

// Photos north of 40 degrees are in Paris; south of it the service answers 502.
constexpr double kParisLatitude = 48.8530, kParisLongitude = 2.3499;
constexpr double kFailingLatitude = 10.5, kFailingLongitude = 20.5;

class HostCaptionTest : public HostRunTest {
  protected:
    void SetUp() override {
        m_server.SetHandler([](const SLoopbackRequest& request) {
            if (request.QueryValue("lat").rfind("10.", 0) == 0) return JsonAnswer("", 502);
            return ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full");
        });
        ASSERT_TRUE(m_server.Start());
        m_env["LOCANYM_SERVICE_URL"] = m_server.BaseUrl();
        for (const auto& [strKey, strValue] : std::vector<std::pair<std::string, std::string>>{
                 {"Enabled", "1"}, {"iProv", "2"}, {"AK-GeoNames", "demo"}, {"Format", "%C"}})
            ASSERT_EQ(Run({"set", strKey, strValue}).nExit, 0);
    }

    // Each JSON line of the run, by path.
    static std::map<std::string, Json::Value> ByPath(const SRun& run) {
        std::map<std::string, Json::Value> objects;
        for (const std::string& strLine : Lines(run.strOut)) {
            Json::Value object;
            std::istringstream(strLine) >> object;
            objects[object["path"].asString()] = object;
        }
        return objects;
    }

    fs::path m_photos = m_scratch.Path() / "trip, day 2";
    CLoopbackServer m_server;
};

}  // namespace

// Which files a run takes, and in which order: name order within each folder, subfolders only
// with -r, extensions in any letter case, lists read one path a line.
TEST_F(HostCaptionTest, BatchesTakeFoldersInNameOrder) {
    fs::create_directories(m_photos / "b-sub" / "deeper");
    for (const char* pszName : {"c.jpg", "a.JPG", "b-sub/x.tif", "b-sub/deeper/y.jpeg", "z.png"})
        ASSERT_TRUE(WriteGpsJpeg(m_photos / pszName, kParisLatitude, kParisLongitude));
    WriteFileBytes(m_photos / "notes.txt", "not a photo");
    const std::string p = m_photos.string() + "/";
    const fs::path list = m_scratch.Path() / "list.txt";
    WriteFileBytes(list, p + "c.jpg\r\n\n" + p + "b-sub\n");

    struct SCase {
        std::vector<std::string> args;
        std::vector<std::string> expected;
    } cases[] = {
        {{m_photos.string()}, {p + "a.JPG", p + "c.jpg", p + "z.png"}},
        {{"-r", m_photos.string()},
         {p + "a.JPG", p + "b-sub/deeper/y.jpeg", p + "b-sub/x.tif", p + "c.jpg", p + "z.png"}},
        {{"-r", "--ext", "TIF,.jpeg", m_photos.string()},
         {p + "b-sub/deeper/y.jpeg", p + "b-sub/x.tif"}},
        {{"-@", list.string()}, {p + "c.jpg", p + "b-sub/x.tif"}},
        {{p + "notes.txt", p + "c.jpg"}, {p + "notes.txt", p + "c.jpg"}},
    };
    for (const SCase& c : cases) {
        std::vector<std::string> args = {"caption", "--quiet"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SRun run = Run(args);
        std::vector<std::string> paths;
        for (const std::string& strLine : Lines(run.strOut))
            paths.push_back(strLine.substr(0, strLine.find('\t')));
        EXPECT_EQ(paths, c.expected) << c.args[0];
    }
}

// A script can tell every outcome apart: by status and error in JSON, by the exit status, and a
// person by the closing summary. Failures are not cached; a setting that shapes captions empties
// the cache (one that does not keeps it), so the next run shows the new captions. The CSV for
// exiftool -csv has a header, then a row only for each photo that got a caption (exiftool writes
// every row it is given into its photo), quoted where a field needs it.
TEST_F(HostCaptionTest, EveryPhotoGetsAStatusAndTheRunAnExitStatus) {
    fs::create_directories(m_photos);
    ASSERT_TRUE(WriteGpsJpeg(m_photos / "1-paris.jpg", kParisLatitude, kParisLongitude));
    ASSERT_TRUE(WriteGpsJpeg(m_photos / "2-failing.jpg", kFailingLatitude, kFailingLongitude));
    CExifWriter noGps(false);
    noGps.m_ifd0.Ascii(kTiffMake, "Camera");
    ASSERT_TRUE(WritePhotoFile(m_photos / "3-no-gps.jpg", BuildJpeg(noGps)));
    WriteFileBytes(m_photos / "4-broken.jpg", "no JPEG at all");

    const std::string p = m_photos.string() + "/";
    const std::string strMissing = m_scratch.Path().string() + "/missing.jpg";
    SRun run = Run({"--json", "caption", m_photos.string(), strMissing});
    EXPECT_EQ(run.nExit, 1) << "an unreadable photo outweighs a failed lookup";
    std::map<std::string, Json::Value> objects = ByPath(run);
    ASSERT_EQ(objects.size(), 5u) << run.strOut;
    EXPECT_EQ(objects[p + "1-paris.jpg"]["status"], "ok");
    EXPECT_EQ(objects[p + "1-paris.jpg"]["caption"], "Paris");
    EXPECT_FALSE(objects[p + "1-paris.jpg"].isMember("error"));
    EXPECT_EQ(objects[p + "2-failing.jpg"]["status"], "lookup-failed");
    EXPECT_TRUE(objects[p + "2-failing.jpg"]["caption"].isNull());
    EXPECT_NE(objects[p + "2-failing.jpg"]["error"].asString().find("502"), std::string::npos);
    EXPECT_EQ(objects[p + "3-no-gps.jpg"]["status"], "no-position");
    EXPECT_EQ(objects[p + "4-broken.jpg"]["status"], "unreadable");
    EXPECT_FALSE(objects[p + "4-broken.jpg"]["error"].asString().empty());
    EXPECT_NE(run.strErr.find("cannot read " + strMissing + ": no such file"), std::string::npos)
        << run.strErr;
    EXPECT_NE(run.strErr.find("5 photos: 1 captioned, 1 without a position, 1 lookup failed, 2 "
                              "could not be read"),
              std::string::npos)
        << run.strErr;
    EXPECT_EQ(run.strErr.find('\r'), std::string::npos) << "no progress line off a terminal";

    fs::remove(m_photos / "4-broken.jpg");
    EXPECT_EQ(Run({"set", "ErrMsg", "1"}).strErr.find("emptied"), std::string::npos);
    run = Run({"--json", "caption", m_photos.string()});
    EXPECT_EQ(run.nExit, 3);
    objects = ByPath(run);
    EXPECT_EQ(objects[p + "1-paris.jpg"]["status"], "cached");
    EXPECT_EQ(objects[p + "2-failing.jpg"]["status"], "lookup-failed") << "failures are not cached";

    run = Run({"set", "Format", "%C, \"%D\""});
    EXPECT_NE(run.strErr.find("emptied the cache"), std::string::npos) << run.strErr;
    run = Run({"caption", m_photos.string(), "--csv"});
    EXPECT_EQ(run.nExit, 3) << run.strErr;
    EXPECT_EQ(Lines(run.strOut), (std::vector<std::string>{
                                     "SourceFile,XMP-dc:Description",
                                     "\"" + p + "1-paris.jpg\",\"Paris, \"\"FR\"\"\"",
                                 }));

    fs::remove(m_photos / "2-failing.jpg");
    run = Run({"--quiet", "caption", m_photos.string()});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strErr, "") << "--quiet leaves no summary";
    EXPECT_EQ(Lines(run.strOut),
              (std::vector<std::string>{p + "1-paris.jpg\tParis, \"FR\"", p + "3-no-gps.jpg\t"}));
}

// A FIFO (or a folder) where the settings, the cache or the log belongs is refused at once with
// a clear error; nothing waits for a writer or reader that never comes.
TEST_F(HostCaptionTest, FilesThatAreNoRegularFilesAreRefused) {
    const std::string strPhoto = (m_scratch.Path() / "none.jpg").string();
    const fs::path fifo = m_scratch.Path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct SCase {
        fs::path place;  // replaced by a FIFO for the run
        std::vector<std::string> args;
        const char* pszError;
    } cases[] = {
        {m_data / "settings.json", {"settings"}, "is not a regular file"},
        {m_data / "LocanymPlg_SS.lst", {"caption", strPhoto}, "cache file"},
        {fs::path(), {"--log", fifo.string(), "caption", strPhoto}, "not a regular file"},
    };
    for (const SCase& c : cases) {
        fs::path saved = m_scratch.Path() / "saved";
        if (!c.place.empty()) {
            if (fs::exists(c.place)) fs::rename(c.place, saved);
            ASSERT_EQ(mkfifo(c.place.c_str(), 0600), 0);
        }
        SRun run = Run(c.args);
        EXPECT_EQ(run.nExit, 1) << c.pszError;
        EXPECT_NE(run.strErr.find(c.pszError), std::string::npos) << run.strErr;
        if (!c.place.empty()) {
            fs::remove(c.place);
            if (fs::exists(saved)) fs::rename(saved, c.place);
        }
    }
}
