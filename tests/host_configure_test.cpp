// `locanym-host configure` with the built module on a private X server: the settings window
// opens with the module's version in its title; Return presses its default button (OK), message
// 5 answers 1 and the host saves the settings with message 6; Escape cancels and saves nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <thread>

#include "tests/host_test_util.h"
#include "tests/support/xvfb.h"

namespace fs = std::filesystem;
using host_test::CScratchDir;
using host_test::ReadFile;
using host_test::RunProgram;
using host_test::SRun;

namespace {

fs::path FindProgram(const std::string& strName) {
    const char* pszPath = std::getenv("PATH");
    std::string strDirs = pszPath ? pszPath : "/usr/bin:/bin";
    for (size_t nStart = 0; nStart <= strDirs.size();) {
        size_t nEnd = strDirs.find(':', nStart);
        if (nEnd == std::string::npos) nEnd = strDirs.size();
        const fs::path candidate = fs::path(strDirs.substr(nStart, nEnd - nStart)) / strName;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        nStart = nEnd + 1;
    }
    return fs::path();
}

// One step of the user: focus the window titled pszTitle, then type strText and press keys.
struct SStep {
    const char* pszTitle;
    std::string strText;
    std::vector<std::string> keys;
    bool bCloses = false;  // the keys close the window: the next step waits until it is gone
};

const char kMain[] = "^Locanym 1\\.0\\.1$";
const char kKey[] = "^Api Key$";

TEST(HostConfigure, TheRealWindowOpensAndItsAnswerDecidesTheSave) {
    const fs::path timeout = FindProgram("timeout");
    const fs::path xdotool = FindProgram("xdotool");
    if (timeout.empty() || xdotool.empty()) GTEST_SKIP() << "timeout or xdotool missing";
    CXvfb xvfb;
    if (!xvfb.Start()) GTEST_SKIP() << "no Xvfb";

    struct {
        const char* pszName;
        std::optional<std::string> windowId;  // the terminal's window the host passes on
        std::vector<SStep> steps;
        const char* pszSays;    // what the host prints; empty: nothing is saved
        const char* pszStored;  // a line settings.json must hold
    } const cases[] = {
        {"OK",
         std::nullopt,
         {{kMain, "", {"Return"}}},
         "Settings confirmed and saved",
         "\"Format\""},
        // A window id that names no window: the dialog opens without a parent.
        {"OK, bogus parent", "12345", {{kMain, "", {"Return"}}}, "Settings confirmed", "\"Sep\""},
        {"Cancel", std::nullopt, {{kMain, "", {"Escape"}}}, "", ""},
        // Api Key... is the third button from the end of the tab order; the key dialog's OK
        // stores the trimmed key at once, and the main dialog's Cancel keeps it.
        {"key, then Cancel",
         std::nullopt,
         {{kMain, "", {"shift+Tab", "shift+Tab", "shift+Tab", "space"}},
          {kKey, " my-key ", {"Return"}, true},
          {kMain, "", {"Escape"}}},
         "the API key stored in it was saved",
         "\"AK-LocationIQ\" : \"my-key\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CScratchDir hostDir, keyDir;
        const fs::path data = hostDir.Path() / "data";
        const std::map<std::string, std::optional<std::string>> env = {
            {"DISPLAY", xvfb.m_strDisplay},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"WINDOWID", c.windowId}};
        // Api Key... is only enabled while the plug-in is switched on.
        ASSERT_EQ(RunProgram(LOCANYM_HOST_PATH, {"--data", data.string(), "set", "Enabled", "1"},
                             hostDir.Path(), env)
                      .nExit,
                  0);
        const auto timeStamp = fs::last_write_time(data / "settings.json");
        // Every program is bounded, so a window that never shows fails the test, not hangs it.
        auto host = std::async(std::launch::async, [&] {
            return RunProgram(timeout,
                              {"60", LOCANYM_HOST_PATH, "--data", data.string(), "configure"},
                              hostDir.Path(), env);
        });
        for (const SStep& step : c.steps) {
            // Focus first, then keys through the X server's test extension: a key sent to the
            // window itself would outlive the window it closes.
            const SRun focus =
                RunProgram(timeout,
                           {"30", xdotool.string(), "search", "--sync", "--onlyvisible", "--name",
                            step.pszTitle, "windowfocus", "--sync"},
                           keyDir.Path(), env);
            EXPECT_EQ(focus.nExit, 0) << step.pszTitle << focus.strErr;
            // "type" takes every later argument as text, so the keys go in a call of their own.
            if (!step.strText.empty()) {
                const SRun type = RunProgram(
                    timeout, {"10", xdotool.string(), "type", "--delay", "20", step.strText},
                    keyDir.Path(), env);
                EXPECT_EQ(type.nExit, 0) << type.strErr;
            }
            std::vector<std::string> args = {"10", xdotool.string(), "key"};
            args.insert(args.end(), step.keys.begin(), step.keys.end());
            const SRun key = RunProgram(timeout, args, keyDir.Path(), env);
            EXPECT_EQ(key.nExit, 0) << key.strErr;
            // Keys meant for the window below would be lost while this modal one is still up.
            for (int i = 0; step.bCloses && i < 100; ++i) {
                const SRun search =
                    RunProgram(xdotool, {"search", "--onlyvisible", "--name", step.pszTitle},
                               keyDir.Path(), env);
                if (search.nExit != 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        const SRun run = host.get();
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        const std::string strStored = ReadFile(data / "settings.json");
        if (*c.pszSays) {
            EXPECT_NE(run.strOut.find(c.pszSays), std::string::npos) << run.strOut;
            EXPECT_NE(strStored.find(c.pszStored), std::string::npos) << strStored;
        } else {
            EXPECT_NE(run.strOut.find("nothing changed"), std::string::npos) << run.strOut;
            EXPECT_EQ(fs::last_write_time(data / "settings.json"), timeStamp);
        }
    }
}

}  // namespace
