// The built reference host captioning batches of real photo files through the built module,
// against a GeoNames-shaped service on 127.0.0.1, and leaving its log whole however it ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "tests/host_test_util.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"

namespace fs = std::filesystem;
using host_test::Has;
using host_test::HostRunTest;
using host_test::Lines;
using host_test::SRun;

namespace {

// Photos north of 40 degrees are in Paris; south of it the service answers 502.
constexpr double kParisLatitude = 48.8530, kParisLongitude = 2.3499;
constexpr double kFailingLatitude = 10.5, kFailingLongitude = 20.5;
constexpr size_t kStampChars = 20;  // "YYYY-MM-DD hh:mm:ss "

class HostCaptionTest : public HostRunTest {
  protected:
    void SetUp() override {
        m_server.SetHandler([this](const SLoopbackRequest& request) {
            if (m_fnOnRequest) m_fnOnRequest();
            if (request.QueryValue("lat").rfind("10.", 0) == 0) return JsonAnswer("", 502);
            return ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full");
        });
        ASSERT_TRUE(m_server.Start());
        m_env["LOCANYM_SERVICE_URL"] = m_server.BaseUrl();
        fs::create_directories(m_data);
        WriteFileBytes(m_data / "settings.json", R"({"LocanymPlugIn": {"Enabled": 1, "iProv": 2,
            "AK-GeoNames": "demo", "Format": "%C"}})");
    }

    // Photo i of a second folder, in Paris, written on first use.
    std::string Photo(int i) const {
        const fs::path photo = m_scratch.Path() / "cached" / ("p" + std::to_string(i) + ".jpg");
        fs::create_directories(photo.parent_path());
        if (!fs::exists(photo)) {
            EXPECT_TRUE(WriteGpsJpeg(photo, 48.85 + i * 0.01, 2.35));
        }
        return photo.string();
    }

    // The plug-in's lines of the log file, without their time stamps.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        for (const std::string& strLine : Lines(ReadFileBytes(m_log)))
            lines.push_back(strLine.size() > kStampChars ? strLine.substr(kStampChars) : strLine);
        return lines;
    }

    fs::path m_photos = m_scratch.Path() / "trip, day 2";
    fs::path m_log = m_data / "locanym.log";
    std::function<void()> m_fnOnRequest;  // called by the service on each request
    CLoopbackServer m_server;
};

}  // namespace

// Which files a run takes, and in which order: name order within each folder, subfolders with
// -r, the extensions of --ext in any letter case, a file named by the user whatever its
// extension, then the lists of -@, one path a line.
TEST_F(HostCaptionTest, BatchesTakeFoldersInNameOrder) {
    fs::create_directories(m_photos / "b-sub" / "deeper");
    for (const char* pszName : {"c.jpg", "a.JPG", "b-sub/x.tif", "b-sub/deeper/y.jpeg", "z.png"})
        ASSERT_TRUE(WriteGpsJpeg(m_photos / pszName, kParisLatitude, kParisLongitude));
    WriteFileBytes(m_photos / "notes.txt", "not a photo");
    const std::string p = m_photos.string() + "/";
    const fs::path list = m_scratch.Path() / "list.txt";
    WriteFileBytes(list, p + "c.jpg\r\n\n" + p + "b-sub\n");
    SRun run = Run({"caption", "--quiet", "-r", "--ext", "JPG,.tif", "-@", list.string(),
                    m_photos.string(), p + "notes.txt"});
    std::vector<std::string> paths;
    for (const std::string& strLine : Lines(run.strOut))
        paths.push_back(strLine.substr(0, strLine.find('\t')));
    EXPECT_EQ(paths, (std::vector<std::string>{p + "a.JPG", p + "b-sub/x.tif", p + "c.jpg",
                                               p + "notes.txt", p + "c.jpg", p + "b-sub/x.tif"}));
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
    // Whole records; of the broken photo's error only that there is one (the reader's wording).
    EXPECT_EQ(Lines(run.strOut).size(), 5u) << run.strOut;
    for (const std::string& strRecord :
         {p + R"(1-paris.jpg", "status": "ok", "caption": "Paris"})",
          p + R"(2-failing.jpg", "status": "lookup-failed", "caption": null, )"
              R"("error": "Locnm: HTTP Error 502"})",
          p + R"(3-no-gps.jpg", "status": "no-position", "caption": null})",
          p + R"(4-broken.jpg", "status": "unreadable", "caption": null, "error": ")",
          strMissing + R"(", "status": "unreadable", "caption": null, "error": "no such file"})"})
        EXPECT_TRUE(Has(run.strOut, "{\"path\": \"" + strRecord));
    EXPECT_EQ(run.strOut.find(R"("error": "")"), std::string::npos);
    EXPECT_TRUE(Has(run.strErr, "cannot read " + strMissing + ": no such file"));
    EXPECT_TRUE(Has(run.strErr,
                    "5 photos: 1 captioned, 1 without a position, 1 lookup failed, 2 "
                    "could not be read"));
    EXPECT_EQ(run.strErr.find('\r'), std::string::npos) << "no progress line off a terminal";

    fs::remove(m_photos / "4-broken.jpg");
    EXPECT_EQ(Run({"set", "ErrMsg", "1"}).strErr.find("emptied"), std::string::npos);
    run = Run({"--json", "caption", m_photos.string()});
    EXPECT_EQ(run.nExit, 3);
    EXPECT_TRUE(Has(run.strOut, p + R"(1-paris.jpg", "status": "cached")"));
    EXPECT_TRUE(Has(run.strOut, p + R"(2-failing.jpg", "status": "lookup-failed")"))
        << "failures are not cached";

    run = Run({"set", "Format", "%C, \"%D\""});
    EXPECT_TRUE(Has(run.strErr, "emptied the cache"));
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
    struct SCase {
        fs::path place;  // made a FIFO for the run, and left one (the settings' case comes last)
        std::vector<std::string> args;
        const char* pszError;
    } cases[] = {
        {fifo, {"--log", fifo.string(), "caption", strPhoto}, "not a regular file"},
        {m_data / "LocanymPlg_SS.lst", {"caption", strPhoto}, "cache file"},
        {m_data / "settings.json", {"settings"}, "is not a regular file"},
    };
    for (const SCase& c : cases) {
        fs::remove(c.place);
        ASSERT_EQ(mkfifo(c.place.c_str(), 0600), 0);
        SRun run = Run(c.args);
        EXPECT_EQ(run.nExit, 1) << c.pszError;
        EXPECT_TRUE(Has(run.strErr, c.pszError));
    }
}

// Whichever way a run ends, the log file holds every line the plug-in wrote, in order (the
// same lines --verbose copies to standard error at once), and standard output every caption.
// While the show waits for a service, what came before is already in the log file and on
// standard output: the captions from the cache and the line of the request that waits.
TEST_F(HostCaptionTest, EveryExitLeavesTheWholeLogAndNothingWaitsBehindARequest) {
    ASSERT_EQ(Run({"caption", Photo(0), Photo(1)}).nExit, 0);  // fills the cache
    std::vector<std::string> logWhileWaiting;
    std::string strOutWhileWaiting;
    m_fnOnRequest = [&]() {
        logWhileWaiting = LogLines();
        strOutWhileWaiting = ReadFileBytes(m_scratch.Path() / "run.stdout");
    };
    fs::create_directories(m_photos);
    ASSERT_TRUE(WriteGpsJpeg(m_photos / "failing.jpg", kFailingLatitude, kFailingLongitude));
    WriteFileBytes(m_photos / "broken.jpg", "no JPEG at all");
    struct SCase {
        std::string strMiddle;  // between two cached photos
        int nExit;
    } cases[] = {{Photo(2), 0},
                 {(m_photos / "failing.jpg").string(), 3},
                 {(m_photos / "broken.jpg").string(), 1}};
    for (const SCase& c : cases) {
        fs::remove(m_log);
        const SRun run = Run({"--verbose", "caption", Photo(0), c.strMiddle, Photo(1)});
        EXPECT_EQ(run.nExit, c.nExit) << c.strMiddle << run.strErr;
        std::vector<std::string> copied;
        for (const std::string& strLine : Lines(run.strErr))
            if (strLine.rfind("locanym-host:", 0) != 0) copied.push_back(strLine);
        EXPECT_FALSE(copied.empty());
        EXPECT_EQ(LogLines(), copied) << c.strMiddle;
        EXPECT_EQ(Lines(run.strOut).size(), 3u) << c.strMiddle;
        if (c.nExit != 0) continue;
        EXPECT_EQ(Lines(strOutWhileWaiting).size(), 1u) << strOutWhileWaiting;
        ASSERT_FALSE(logWhileWaiting.empty());
        EXPECT_TRUE(Has(logWhileWaiting.back(), "QueryServer: "));
        EXPECT_EQ(
            std::count(logWhileWaiting.begin(), logWhileWaiting.end(), "[Locanym Plugin] Cached"),
            1);
    }
}

// A reader that goes away (caption ... | head -1) stops the show as Ctrl-C does: the lookups
// made so far are saved in the cache, the log is whole, and the exit status says it failed.
TEST_F(HostCaptionTest, AClosedOutputStopsTheShowAndLosesNothing) {
    const SRun run = host_test::RunProgram(
        LOCANYM_HOST_PATH, {"--data", m_data.string(), "caption", Photo(0), Photo(1), Photo(2)},
        m_scratch.Path(), m_env, host_test::EStdout::kClosedPipe);
    EXPECT_EQ(run.nExit, 1) << "128 + signal when killed by SIGPIPE";
    EXPECT_TRUE(Has(run.strErr, "standard output"));
    const std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "[Locanym Plugin] Closing");
    const std::string strCache = ReadFileBytes(m_data / "LocanymPlg_SS.lst");
    const size_t nLookups = m_server.Requests().size();
    EXPECT_GE(nLookups, 1u);
    for (size_t i = 0; i < nLookups; ++i)
        EXPECT_NE(strCache.find(Photo(static_cast<int>(i))), std::string::npos) << i;
}
