// The built reference host program, driving the built module.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "tests/host_test_util.h"

namespace fs = std::filesystem;
using host_test::Has;
using host_test::HostRunTest;
using host_test::Lines;
using host_test::RunProgram;
using host_test::SRun;

namespace {

const fs::path kHost = LOCANYM_HOST_PATH;
const fs::path kModule = LOCANYM_MODULE_PATH;
const fs::path kNoEntryModule = LOCANYM_NO_ENTRY_MODULE_PATH;

class HostTest : public HostRunTest {
  protected:
    Json::Value StoredSettings() {
        Json::Value root;
        std::istringstream in(ReadFileBytes(m_data / "settings.json"));
        in >> root;
        return root["LocanymPlugIn"];
    }
};

// Takes the right to write in a folder from this process while it lives: by the folder's mode,
// or where modes do not stop it (the superuser) by the file system's immutable flag. Empty where
// neither takes the right here.
class CUnwritableFolder {
  public:
    explicit CUnwritableFolder(const fs::path& folder) : m_folder(folder) {
        std::error_code ec;
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec, ec);
        if (!ec && Writable()) m_bImmutable = SetImmutable(true);
        m_bDone = !ec && !Writable();
    }
    ~CUnwritableFolder() {
        if (m_bImmutable) SetImmutable(false);
        std::error_code ec;
        fs::permissions(m_folder, fs::perms::owner_all, ec);
    }
    CUnwritableFolder(const CUnwritableFolder&) = delete;
    CUnwritableFolder& operator=(const CUnwritableFolder&) = delete;
    explicit operator bool() const { return m_bDone; }

  private:
    bool Writable() const {
        const fs::path probe = m_folder / "probe";
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        close(fd);
        unlink(probe.c_str());
        return true;
    }
    bool SetImmutable(bool bOn) const {
        const int fd = open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        int nFlags = 0;
        bool bOk = ioctl(fd, FS_IOC_GETFLAGS, &nFlags) == 0;
        nFlags = bOn ? nFlags | FS_IMMUTABLE_FL : nFlags & ~FS_IMMUTABLE_FL;
        bOk = bOk && ioctl(fd, FS_IOC_SETFLAGS, &nFlags) == 0;
        close(fd);
        return bOk;
    }

    fs::path m_folder;
    bool m_bImmutable = false;
    bool m_bDone = false;
};

}  // namespace

// The settings a user sets are the ones the plug-in loads, any text as it was typed; the rest are
// the record's defaults. Plain output keeps each on one line. Values the plug-in can take are
// stored (refused ones are in the mistakes table below); the separator reaches the plug-in
// exactly as typed, blanks and all; text that merely starts with a dash is an argument. A stray
// key stored by an older version is kept, and unset removes it.
TEST_F(HostTest, SetAndUnsetChangeWhatThePlugInLoads) {
    fs::create_directories(m_data);
    WriteFileBytes(m_data / "settings.json", R"({"LocanymPlugIn": {"Enable": 1}})");
    const std::string strFormat = "\xF0\x9F\x8C\x8D %C\t\"q\" \\n\nZ\xC3\xBCrich\x01";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"set", "Format", strFormat},
                                               {"set", "Enabled", "1"},
                                               {"set", "iProv", "6"},
                                               {"set", "Lang", "pt-BR"},
                                               {"set", "GeoCC2", "DE, at,CH"},
                                               {"set", "Sep", "-"},
                                               {"set", "--", "AK-GeoNames", "--me--"},
                                               {"set", "Sep", " / "}}) {
        SRun run = Run(args);
        EXPECT_EQ(run.nExit, 0) << args[2] << ": " << run.strErr;
    }
    EXPECT_EQ(StoredSettings()["Format"].asString(), strFormat);
    EXPECT_TRUE(StoredSettings()["Enabled"].isInt());
    EXPECT_EQ(StoredSettings()["iProv"], 6);
    EXPECT_EQ(StoredSettings()["AK-GeoNames"], "--me--");

    // One line a key, in the order the plug-in reads them (pinned by the module's own tests).
    SRun run = Run({"settings"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const std::vector<std::string> lines = Lines(run.strOut);
    ASSERT_GT(lines.size(), 10u) << run.strOut;
    EXPECT_EQ(lines[1], "iProv\t6");
    EXPECT_EQ(lines[9], "Format\t\xF0\x9F\x8C\x8D %C\\t\"q\" \\\\n\\nZ\xC3\xBCrich\\x01");
    EXPECT_EQ(lines[10], "Sep\t\" / \"");

    // unset: the default applies again; a key that was never stored changes nothing.
    EXPECT_EQ(Run({"unset", "Lang"}).nExit, 0);
    EXPECT_FALSE(StoredSettings().isMember("Lang"));
    EXPECT_TRUE(Has(Run({"unset", "Lang"}).strErr, "was not stored"));
    EXPECT_EQ(StoredSettings()["Enable"], 1);
    EXPECT_EQ(Run({"unset", "Enable"}).nExit, 0);
    EXPECT_FALSE(StoredSettings().isMember("Enable"));
}

// A hand-edited file: a value of another kind loads where the conversion is unambiguous, else
// the plug-in gets the default and the user a remark; the file is left as it was.
TEST_F(HostTest, HandEditedValuesOfAnotherKindLoadOnlyWhereUnambiguous) {
    fs::create_directories(m_data);
    const std::string strFile = R"({"LocanymPlugIn": {"iProv": "3", "GeoType": 1.5,
        "Enabled": true, "ErrMsg": 4294967296, "Lang": 42, "Format": true, "GeoCC1": [0, 65]}})";
    WriteFileBytes(m_data / "settings.json", strFile);
    SRun run = Run({"--json", "settings"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const struct {
        const char* pszKey;
        const char* pszValue;  // as JSON writes it
        bool bStored;
    } cases[] = {{"iProv", "3", true},       {"GeoType", "1", false},
                 {"Enabled", "1", true},     {"ErrMsg", "1", false},
                 {"Lang", R"("42")", true},  {"Format", R"("%A")", false},
                 {"GeoCC1", R"("")", false}, {"GeoCC2", R"("")", false}};
    for (const auto& c : cases) {
        const std::string strKey = "\"" + std::string(c.pszKey) + "\"";
        EXPECT_TRUE(Has(run.strOut, "{\"key\": " + strKey + ", \"value\": " + c.pszValue +
                                        ", \"stored\": " + (c.bStored ? "true}" : "false}")));
        const bool bRemark = run.strErr.find(strKey + " in section") != std::string::npos;
        EXPECT_EQ(bRemark, !c.bStored && strKey != "\"GeoCC2\"") << run.strErr;
    }
    EXPECT_EQ(ReadFileBytes(m_data / "settings.json"), strFile);
}

// Runs of the host that set settings at the same time each keep their value.
TEST_F(HostTest, ConcurrentSetsLoseNothing) {
    const std::vector<std::string> keys = {"AK-LocationIQ", "AK-GeoApify", "AK-GeoNames",
                                           "AK-MapsCo",     "Format",      "GeoCC1"};
    const int kRuns = static_cast<int>(keys.size());
    std::vector<std::thread> threads;
    std::vector<SRun> runs(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        threads.emplace_back([this, i, &runs, &keys]() {
            const fs::path scratch = m_scratch.Path() / ("run" + std::to_string(i));
            fs::create_directories(scratch);
            runs[i] = RunProgram(kHost, {"--data", m_data.string(), "set", keys[i], "DE"}, scratch);
        });
    }
    for (std::thread& thread : threads) thread.join();
    Json::Value stored = StoredSettings();
    for (int i = 0; i < kRuns; ++i) {
        EXPECT_EQ(runs[i].nExit, 0) << runs[i].strErr;
        EXPECT_EQ(stored[keys[i]], "DE") << ReadFileBytes(m_data / "settings.json");
    }
}

// A damaged file is reported and never replaced, so the user's settings survive; an empty one
// is a file with nothing stored yet.
TEST_F(HostTest, DamagedSettingsFileIsAnErrorNotAReset) {
    fs::create_directories(m_data);
    for (const char* pszDamaged :
         {R"({"LocanymPlugIn": {"AK-GeoNames": "mine", )", R"({"LocanymPlugIn": 5})",
          R"({"LocanymPlugIn": {"Enabled": 1, "Enabled": 0}})"}) {
        WriteFileBytes(m_data / "settings.json", pszDamaged);
        for (std::vector<std::string> args :
             std::vector<std::vector<std::string>>{{"settings"}, {"set", "Enabled", "1"}}) {
            SRun run = Run(args);
            EXPECT_EQ(run.nExit, 1) << args[0] << " " << pszDamaged;
            EXPECT_TRUE(Has(run.strErr, "settings file " + (m_data / "settings.json").string()));
            EXPECT_TRUE(Has(run.strErr, "it was left as it is"));
            EXPECT_EQ(run.strOut, "") << args[0];
        }
        EXPECT_EQ(ReadFileBytes(m_data / "settings.json"), pszDamaged);
    }
    WriteFileBytes(m_data / "settings.json", "  \n");
    EXPECT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
}

// The log goes to locanym.log in the data folder unless told otherwise (its lines, whole however
// a run ends: host_caption_test); --log - puts it only on standard error. The show path names
// the cache file.
TEST_F(HostTest, TheLogGoesWhereTheUserLooks) {
    ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
    SRun run = Run({"--show", "/shows/Summer Trip.sls", "caption", "/nowhere/first.jpg",
                    "/nowhere/second.jpg"});
    EXPECT_EQ(run.strErr.find("Locanym Plugin]"), std::string::npos) << run.strErr;
    const std::string strLog = ReadFileBytes(m_data / "locanym.log");
    // No cache file yet: the module names the one it looked for, after the show.
    EXPECT_TRUE(Has(strLog, "/LocanymPlg_Summer Trip.lst"));

    fs::remove(m_data / "locanym.log");
    run = Run({"--log", "-", "caption", "/nowhere/a.jpg"});
    EXPECT_TRUE(Has(run.strErr, "[Locanym Plugin] Closing"));
    EXPECT_FALSE(fs::exists(m_data / "locanym.log"));
}

// A build without dialogs says so and points to set; a build with dialogs but no display to
// show them on confirms nothing at once, without a word from the toolkit. Either way nothing is
// stored.
TEST_F(HostTest, ConfigureWithoutADialogToShowChangesNothing) {
    SRun run = Run({"configure"}, {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    if (run.nExit == 2) {
        EXPECT_TRUE(Has(run.strErr, "locanym-host set KEY VALUE"));
    } else {
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_TRUE(Has(run.strOut, "nothing changed"));
        EXPECT_EQ(run.strErr, "") << "the toolkit says nothing either";
    }
    EXPECT_FALSE(fs::exists(m_data / "settings.json"));
}

// A mistake of the user's is a clear error on standard error with nothing on standard output and
// nothing stored: wrong usage (exit 2, with a pointer to --help), a value or key the plug-in
// cannot read (a typo gets the key most likely meant), an unusable module or data folder (a
// missing module or one without the entry point: the default-module test), and a
// caption while switched off (the hint how to switch on said once).
TEST_F(HostTest, MistakesGetAClearErrorAndStoreNothing) {
    const fs::path garbage = m_scratch.Path() / "garbage.so";
    WriteFileBytes(garbage, "this is no shared object");
    const fs::path aFile = m_scratch.Path() / "plain-file";
    WriteFileBytes(aFile, "");
    const std::string strData = m_data.string();
    struct SCase {
        std::vector<std::string> args;
        int nExit;
        std::string strError;
    } cases[] = {
        {{}, 2, "no command"},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"--data", strData, "set", "Format"}, 2, "missing arguments: locanym-host set KEY VALUE"},
        {{"--json", "--csv", "caption", "a.jpg"}, 2, "either --json or --csv"},
        {{"--ext", "jpg,,tif", "caption", "a.jpg"}, 2, "--ext takes extensions"},
        {{"--data", strData, "set", "Enabled", "yes"}, 1, "is a switch"},
        {{"--data", strData, "set", "iProv", "7"}, 1, "service number"},
        {{"--data", strData, "set", "Lang", "german"}, 1, "language code"},
        {{"--data", strData, "set", "GeoCC1", "DEU"}, 1, "country codes"},
        {{"--data", strData, "set", "Enable", "1"}, 1, "did you mean Enabled?"},
        {{"--data", strData, "set", "Nope", "1"}, 1, "reads no setting \"Nope\""},
        {{"--module", garbage.string(), "send", "1"}, 1, "cannot load module"},
        {{"--data", (aFile / "sub").string(), "settings"}, 1, "cannot create data folder"},
        {{"--data", aFile.string(), "set", "Enabled", "1"}, 1, "is not a folder"},
        {{"--log", (aFile / "x.log").string(), "--data", strData, "settings"},
         1,
         "cannot open log file"},
        {{"--data", strData, "caption", "a.jpg", "b.jpg"}, 1, "locanym-host set Enabled 1"},
    };
    for (const SCase& c : cases) {
        SRun run = RunBare(c.args);
        EXPECT_EQ(run.nExit, c.nExit) << c.strError;
        const size_t nAt = run.strErr.find(c.strError);
        EXPECT_TRUE(Has(run.strErr, c.strError));
        EXPECT_EQ(run.strErr.find(c.strError, nAt + 1), std::string::npos) << "said once";
        if (c.nExit == 2) {
            EXPECT_TRUE(Has(run.strErr, "--help"));
        }
        EXPECT_EQ(run.strOut, "");
        EXPECT_FALSE(fs::exists(m_data / "settings.json")) << c.strError;
    }
}

// A data folder this user cannot write in is refused at once, with the reason, before anything
// is loaded or stored.
TEST_F(HostTest, AnUnwritableDataFolderIsRefusedAtOnce) {
    fs::create_directories(m_data);
    CUnwritableFolder locked(m_data);
    if (!locked) GTEST_SKIP() << "no way to make a folder unwritable here";
    const SRun run = RunBare({"--data", m_data.string(), "set", "Enabled", "1"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Has(run.strErr, "cannot write in data folder")) << run.strErr;
    EXPECT_EQ(run.strOut, "");
    EXPECT_FALSE(fs::exists(m_data / "settings.json"));
}

// Without --data the data folder is the user's data home; without --module the host loads the
// installed module (../lib/locanym/ from its folder), else the one beside it, wherever it was
// copied.
TEST_F(HostTest, DefaultsAreTheUsersDataHomeAndTheInstalledModule) {
    const fs::path xdg = m_scratch.Path() / "xdg";
    const fs::path home = m_scratch.Path() / "home";
    struct SCase {
        std::map<std::string, std::optional<std::string>> env;
        fs::path expected;
    } cases[] = {
        {{{"XDG_DATA_HOME", xdg.string()}, {"HOME", home.string()}}, xdg / "locanym-host"},
        {{{"XDG_DATA_HOME", std::nullopt}, {"HOME", home.string()}},
         home / ".local/share/locanym-host"},
    };
    for (const SCase& c : cases) {
        SRun run = RunBare({"set", "Lang", "de"}, c.env);
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_TRUE(fs::exists(c.expected / "settings.json")) << c.expected;
        fs::remove_all(c.expected);
    }
    const fs::path bin = m_scratch.Path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(kHost, bin / "locanym-host");
    SRun run = RunProgram(bin / "locanym-host", {"send", "1"}, m_scratch.Path());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Has(run.strErr, "module not found: " + (bin / "Locanym.so").string()));
    fs::copy_file(kNoEntryModule, bin / "Locanym.so");
    run = RunProgram(bin / "locanym-host", {"send", "1"}, m_scratch.Path());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Has(run.strErr, "does not export sldPlugInMsgHandler"));
    const fs::path lib = m_scratch.Path() / "lib" / "locanym";
    fs::create_directories(lib);
    fs::copy_file(kModule, lib / "Locanym.so");
    // The version the module reports, which scripts/test-windows.sh reads from the Windows host.
    run = RunProgram(bin / "locanym-host", {"version"}, m_scratch.Path());
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "Locanym v" LOCANYM_VERSION "\n");
}
