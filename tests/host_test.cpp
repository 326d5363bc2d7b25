// The built reference host program, driving the built module.
#include <gtest/gtest.h>
#include <json/json.h>

#include <regex>
#include <sstream>
#include <thread>

#include "tests/host_test_util.h"

namespace fs = std::filesystem;
using host_test::CScratchDir;
using host_test::Lines;
using host_test::RunProgram;
using host_test::SRun;

namespace {

const fs::path kHost = LOCANYM_HOST_PATH;
const fs::path kModule = LOCANYM_MODULE_PATH;
const fs::path kNoEntryModule = LOCANYM_NO_ENTRY_MODULE_PATH;

class HostTest : public ::testing::Test {
  protected:
    // Runs the host with its data folder in the scratch folder (unless the test names one).
    SRun Run(std::vector<std::string> args,
             const std::map<std::string, std::optional<std::string>>& env = {}) {
        args.insert(args.begin(), {"--data", m_data.string()});
        return RunProgram(kHost, args, m_scratch.Path(), env);
    }
    SRun RunBare(const std::vector<std::string>& args,
                 const std::map<std::string, std::optional<std::string>>& env = {}) {
        return RunProgram(kHost, args, m_scratch.Path(), env);
    }
    Json::Value StoredSettings() {
        Json::Value root;
        std::istringstream in(ReadFileBytes(m_data / "settings.json"));
        in >> root;
        return root["LocanymPlugIn"];
    }

    CScratchDir m_scratch;
    fs::path m_data = m_scratch.Path() / "data";
};

}  // namespace

// The module's own answers are tested through its entry point; here, how the host reads the
// numbers it is given and prints what it gets back.
TEST_F(HostTest, RawMessagesPrintTheirResult) {
    struct SCase {
        std::vector<std::string> args;
        std::string strExpected;
    } cases[] = {
        {{"1"}, "256"},
        {{"28", "0x2"}, "65538"},
        {{"40", "1", "-1"}, "0"},
        // Without message 3 first, the module has no host and must not touch the path.
        {{"19"}, "0"},
    };
    for (const SCase& c : cases) {
        std::vector<std::string> args = {"send"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        // Without a display message 5 answers 0 at once instead of waiting for a user.
        SRun run = Run(args, {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_EQ(run.strOut, c.strExpected + "\n") << "send " << c.args[0];
    }
}

// The module, the host and the package take their version from the one project version.
TEST_F(HostTest, VersionIsTheProjectVersion) {
    SRun run = RunBare({"version"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "Locanym v" LOCANYM_VERSION "\n");
    run = RunBare({"--version"});
    EXPECT_EQ(run.strOut, "locanym-host " LOCANYM_VERSION "\n");
}

// The settings a user sets are the ones the plug-in loads, any text as it was typed; the rest are
// the record's defaults. Plain output keeps each on one line.
TEST_F(HostTest, SetThenSettingsShowsWhatThePlugInLoads) {
    const std::string strFormat = "\xF0\x9F\x8C\x8D %C\t\"q\" \\n\nZ\xC3\xBCrich\x01";
    ASSERT_EQ(Run({"set", "Format", strFormat}).nExit, 0);
    ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
    ASSERT_EQ(Run({"set", "iProv", "2"}).nExit, 0);
    EXPECT_EQ(StoredSettings()["Format"].asString(), strFormat);
    EXPECT_TRUE(StoredSettings()["Enabled"].isInt());
    EXPECT_EQ(StoredSettings()["iProv"], 2);

    // One line a key, in the order the plug-in reads them (pinned by the module's own tests).
    SRun run = Run({"settings"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const std::vector<std::string> lines = Lines(run.strOut);
    ASSERT_EQ(lines.size(), 20u) << run.strOut;
    EXPECT_EQ(lines[1], "iProv\t2");
    EXPECT_EQ(lines[2], "GeoType\t1");
    EXPECT_EQ(lines[9], "Format\t\xF0\x9F\x8C\x8D %C\\t\"q\" \\\\n\\nZ\xC3\xBCrich\\x01");

    run = Run({"--json", "settings"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    ASSERT_EQ(Lines(run.strOut).size(), lines.size());
    Json::Value format;
    std::istringstream(Lines(run.strOut)[9]) >> format;
    EXPECT_EQ(format["key"], "Format");
    EXPECT_EQ(format["value"].asString(), strFormat);
    EXPECT_EQ(format["stored"], true);
}

// Each value is checked against what the plug-in makes of its key; a refused value or key
// leaves the file as it was, and a typo gets the key the user most likely meant.
TEST_F(HostTest, SetChecksKeysAndValues) {
    ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
    const std::string strBefore = ReadFileBytes(m_data / "settings.json");
    struct SCase {
        std::string strKey, strValue;
        const char* pszError;  // null: accepted
    } cases[] = {
        {"Enabled", "yes", "is a switch"},
        {"iProv", "7", "service number"},
        {"Lang", "german", "language code"},
        {"GeoCC1", "DEU", "country codes"},
        {"Enable", "1", "did you mean Enabled?"},
        {"Nope", "1", "reads no setting \"Nope\""},
        {"iProv", "6", nullptr},
        {"Lang", "pt-BR", nullptr},
        {"GeoCC2", "DE, at,CH", nullptr},
        {"Sep", " / ", nullptr},
    };
    for (const SCase& c : cases) {
        SRun run = Run({"set", c.strKey, c.strValue});
        if (c.pszError) {
            EXPECT_EQ(run.nExit, 1) << c.strKey << "=" << c.strValue;
            EXPECT_NE(run.strErr.find(c.pszError), std::string::npos) << run.strErr;
            EXPECT_EQ(ReadFileBytes(m_data / "settings.json"), strBefore) << c.strKey;
        } else {
            EXPECT_EQ(run.nExit, 0) << c.strKey << "=" << c.strValue << ": " << run.strErr;
        }
    }
    EXPECT_FALSE(StoredSettings().isMember("Nope"));
    // The separator reaches the plug-in exactly as typed, blanks and all.
    SRun run = Run({"--json", "settings"});
    Json::Value sep;
    std::istringstream(Lines(run.strOut)[10]) >> sep;
    EXPECT_EQ(sep["value"], "\" / \"");

    // unset: the default applies again; a key that was never stored changes nothing.
    EXPECT_EQ(Run({"unset", "Lang"}).nExit, 0);
    EXPECT_FALSE(StoredSettings().isMember("Lang"));
    EXPECT_NE(Run({"unset", "Lang"}).strErr.find("was not stored"), std::string::npos);
    EXPECT_NE(Run({"unset", "Langg"}).strErr.find("did you mean Lang?"), std::string::npos);
    // A stray key stored by an older version can be removed.
    Json::Value root;
    std::istringstream(ReadFileBytes(m_data / "settings.json")) >> root;
    root["LocanymPlugIn"]["Enable"] = 1;
    WriteFileBytes(m_data / "settings.json", root.toStyledString());
    EXPECT_EQ(Run({"unset", "Enable"}).nExit, 0);
    EXPECT_FALSE(StoredSettings().isMember("Enable"));
}

// Runs of the host that set settings at the same time each keep their value.
TEST_F(HostTest, ConcurrentSetsLoseNothing) {
    const std::vector<std::string> keys = {"AK-LocationIQ",   "AK-GeoApify", "AK-GeoNames",
                                           "AK-BigDataCloud", "AK-MapsCo",   "AK-OpenWeather",
                                           "Format",          "GeoCC1",      "GeoCC2"};
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
            EXPECT_NE(run.strErr.find("settings file " + (m_data / "settings.json").string()),
                      std::string::npos)
                << run.strErr;
            EXPECT_NE(run.strErr.find("it was left as it is"), std::string::npos) << run.strErr;
            EXPECT_EQ(run.strOut, "") << args[0];
        }
        EXPECT_EQ(ReadFileBytes(m_data / "settings.json"), pszDamaged);
    }
    WriteFileBytes(m_data / "settings.json", "  \n");
    EXPECT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
}

TEST_F(HostTest, CaptionWhileSwitchedOffSaysHowToSwitchOn) {
    SRun run = Run({"caption", "a.jpg", "b.jpg"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "");
    const std::string strHint = "locanym-host set Enabled 1";
    size_t nAt = run.strErr.find(strHint);
    ASSERT_NE(nAt, std::string::npos) << run.strErr;
    EXPECT_EQ(run.strErr.find(strHint, nAt + 1), std::string::npos) << "said once";
}

// On a terminal a progress line shows which photo is being read; it is wiped before any other
// line (off a terminal it never shows, see above).
TEST_F(HostTest, ProgressLineOnlyOnATerminal) {
    ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
    const fs::path log = m_scratch.Path() / "host.log";
    SRun run = RunProgram(kHost,
                          {"--data", m_data.string(), "--log", log.string(), "caption",
                           "/nowhere/first.jpg", "/nowhere/second.jpg"},
                          m_scratch.Path(), {}, true);
    EXPECT_NE(run.strErr.find("[1/2] first.jpg\r\033[K"), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("[2/2] second.jpg\r\033[K"), std::string::npos) << run.strErr;
    EXPECT_EQ(Lines(run.strOut).size(), 2u);
}

// The log goes to locanym.log in the data folder unless told otherwise, as time, prefix, blank,
// text; --verbose copies it to standard error, and --log - puts it only there. The show path
// names the cache file.
TEST_F(HostTest, LogGoesWhereTheUserLooks) {
    ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
    SRun run = Run({"--show", "/shows/Summer Trip.sls", "caption", "/nowhere/a.jpg"});
    EXPECT_EQ(run.strErr.find("Locanym Plugin]"), std::string::npos) << run.strErr;
    const std::string strLog = ReadFileBytes(m_data / "locanym.log");
    std::vector<std::string> lines = Lines(strLog);
    ASSERT_FALSE(lines.empty());
    const std::regex line("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\[!?Locanym Plugin\\] .*");
    for (const std::string& strLine : lines)
        EXPECT_TRUE(std::regex_match(strLine, line)) << strLine;
    EXPECT_EQ(lines.front().substr(20), "[Locanym Plugin] Starting");
    EXPECT_EQ(lines.back().substr(20), "[Locanym Plugin] Closing");
    // No cache file yet: the module names the one it looked for, after the show.
    EXPECT_NE(strLog.find("/LocanymPlg_Summer Trip.lst"), std::string::npos);

    run = Run({"--verbose", "caption", "/nowhere/a.jpg"});
    EXPECT_NE(run.strErr.find("[Locanym Plugin] Starting"), std::string::npos) << run.strErr;
    fs::remove(m_data / "locanym.log");
    run = Run({"--log", "-", "caption", "/nowhere/a.jpg"});
    EXPECT_NE(run.strErr.find("[Locanym Plugin] Closing"), std::string::npos) << run.strErr;
    EXPECT_FALSE(fs::exists(m_data / "locanym.log"));
}

// A build without dialogs says so and points to set; a build with dialogs but no display to
// show them on confirms nothing. Either way nothing is stored.
TEST_F(HostTest, ConfigureWithoutADialogToShowChangesNothing) {
    SRun run = Run({"configure"}, {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    if (run.nExit == 2) {
        EXPECT_NE(run.strErr.find("locanym-host set KEY VALUE"), std::string::npos) << run.strErr;
    } else {
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_NE(run.strOut.find("nothing changed"), std::string::npos) << run.strOut;
    }
    EXPECT_FALSE(fs::exists(m_data / "settings.json"));
}

TEST_F(HostTest, DataFolderDefaultsToTheUsersDataHome) {
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
}

TEST_F(HostTest, UsageErrorsAreClear) {
    struct SCase {
        std::vector<std::string> args;
        const char* pszError;
    } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"--frob", "version"}, "unknown option --frob"},
        {{"--json=1", "settings"}, "takes no value"},
        {{"version", "--data"}, "--data needs a value"},
        {{"set", "Format"}, "missing arguments: locanym-host set KEY VALUE"},
        {{"--json", "--csv", "caption", "a.jpg"}, "either --json or --csv"},
        {{"--ext", "jpg,,tif", "caption", "a.jpg"}, "--ext takes extensions"},
        {{"caption", "-@"}, "-@ needs a value"},
        {{"send", "1", "2", "3", "4"}, "too many arguments"},
        {{"send", "1", "0x"}, "WPARAM must be a number"},
        {{"send", "19", "1"}, "takes an address"},
    };
    for (const SCase& c : cases) {
        SRun run = Run(c.args);
        EXPECT_EQ(run.nExit, 2) << c.pszError;
        EXPECT_NE(run.strErr.find(c.pszError), std::string::npos) << run.strErr;
        EXPECT_NE(run.strErr.find("--help"), std::string::npos) << run.strErr;
        EXPECT_EQ(run.strOut, "");
    }
    SRun help = RunBare({"--help"});
    EXPECT_EQ(help.nExit, 0);
    EXPECT_EQ(help.strOut.rfind("Usage: locanym-host", 0), 0u) << help.strOut;
    // Text that merely starts with a dash is an argument, not an option.
    EXPECT_EQ(Run({"set", "Sep", "-"}).nExit, 0);
    EXPECT_EQ(Run({"set", "--", "Format", "--%C--"}).nExit, 0);
    EXPECT_EQ(StoredSettings()["Format"], "--%C--");
}

TEST_F(HostTest, UnusableModuleOrDataFolderIsAnError) {
    const fs::path garbage = m_scratch.Path() / "garbage.so";
    WriteFileBytes(garbage, "this is no shared object");
    const fs::path aFile = m_scratch.Path() / "plain-file";
    WriteFileBytes(aFile, "");
    struct SCase {
        std::vector<std::string> args;
        std::string strError;
    } cases[] = {
        {{"--module", "/nonexistent/Locanym.so", "version"}, "module not found"},
        {{"--module", garbage.string(), "send", "1"}, "cannot load module"},
        {{"--module", kNoEntryModule.string(), "version"}, "does not export sldPlugInMsgHandler"},
        {{"--data", (aFile / "sub").string(), "settings"}, "cannot create data folder"},
        {{"--data", aFile.string(), "set", "Enabled", "1"}, "is not a folder"},
        {{"--log", (aFile / "x.log").string(), "--data", m_data.string(), "settings"},
         "cannot open log file"},
    };
    for (const SCase& c : cases) {
        SRun run = RunBare(c.args);
        EXPECT_EQ(run.nExit, 1) << c.strError;
        EXPECT_NE(run.strErr.find(c.strError), std::string::npos) << run.strErr;
        EXPECT_EQ(run.strOut, "");
    }
}

// Without --module the host loads the installed module (../lib/locanym/ from its folder), else
// the one beside it, wherever it was copied.
TEST_F(HostTest, DefaultModuleIsTheInstalledOneElseTheOneBeside) {
    const fs::path bin = m_scratch.Path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(kHost, bin / "locanym-host");
    SRun run = RunProgram(bin / "locanym-host", {"send", "1"}, m_scratch.Path());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr.find("module not found: " + (bin / "Locanym.so").string()),
              std::string::npos)
        << run.strErr;
    fs::copy_file(kNoEntryModule, bin / "Locanym.so");
    EXPECT_NE(RunProgram(bin / "locanym-host", {"send", "1"}, m_scratch.Path())
                  .strErr.find("does not export"),
              std::string::npos);
    const fs::path lib = m_scratch.Path() / "lib" / "locanym";
    fs::create_directories(lib);
    fs::copy_file(kModule, lib / "Locanym.so");
    run = RunProgram(bin / "locanym-host", {"send", "1"}, m_scratch.Path());
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "256\n");
}
