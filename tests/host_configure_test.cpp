// `locanym-host configure` with the built module on a private X server: the settings window
// opens with the module's version in its title; Return presses its default button (OK), message
// 5 answers 1 and the host saves the settings with message 6; Escape cancels, and only a key
// stored meanwhile is saved (a cancel with nothing stored: host_test, without a display).
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <thread>

#include "tests/host_test_util.h"
#include "tests/support/xvfb.h"

namespace fs = std::filesystem;
using host_test::HostRunTest;
using host_test::RunProgram;
using host_test::SRun;

namespace {

// One step of the user: focus the window titled pszTitle, then type strText and press keys.
struct SStep {
    const char* pszTitle;
    std::string strText;
    std::vector<std::string> keys;
    bool bCloses = false;  // the keys close the window: the next step waits until it is gone
};

const char kMain[] = "^Locanym 1\\.0\\.1$";
const char kKey[] = "^Api Key$";
const fs::path kEnv = "/usr/bin/env";  // finds timeout and xdotool on the PATH

using HostConfigure = HostRunTest;

TEST_F(HostConfigure, TheRealWindowOpensAndItsAnswerDecidesTheSave) {
    if (std::system("command -v timeout >/dev/null && command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "timeout or xdotool missing";
    CXvfb xvfb;
    if (!xvfb.Start()) GTEST_SKIP() << "no Xvfb";
    // The terminal's window id names no window here: the dialog opens without a parent.
    m_env = {
        {"DISPLAY", xvfb.m_strDisplay}, {"WAYLAND_DISPLAY", std::nullopt}, {"WINDOWID", "12345"}};
    CTempDir keyDir;

    struct {
        std::vector<SStep> steps;
        const char* pszSays;    // what the host prints
        const char* pszStored;  // a line settings.json must hold
    } const cases[] = {
        {{{kMain, "", {"Return"}}}, "Settings confirmed and saved", "\"Format\""},
        // Api Key... is the third button from the end of the tab order; the key dialog's OK
        // stores the trimmed key at once, and the main dialog's Cancel keeps it.
        {{{kMain, "", {"shift+Tab", "shift+Tab", "shift+Tab", "space"}},
          {kKey, " my-key ", {"Return"}, true},
          {kMain, "", {"Escape"}}},
         "the API key stored in it was saved",
         "\"AK-LocationIQ\" : \"my-key\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        fs::remove_all(m_data);
        // Api Key... is only enabled while the plug-in is switched on.
        ASSERT_EQ(Run({"set", "Enabled", "1"}).nExit, 0);
        // Every program is bounded, so a window that never shows fails the test, not hangs it.
        auto host = std::async(std::launch::async, [&] {
            return RunProgram(
                kEnv, {"timeout", "60", LOCANYM_HOST_PATH, "--data", m_data.string(), "configure"},
                m_scratch.Path(), m_env);
        });
        auto xdotool = [&](std::vector<std::string> args) {
            args.insert(args.begin(), {"timeout", "30", "xdotool"});
            return RunProgram(kEnv, args, keyDir.Path(), m_env);
        };
        for (const SStep& step : c.steps) {
            // Focus first, then keys through the X server's test extension: a key sent to the
            // window itself would outlive the window it closes.
            const SRun focus = xdotool({"search", "--sync", "--onlyvisible", "--name",
                                        step.pszTitle, "windowfocus", "--sync"});
            EXPECT_EQ(focus.nExit, 0) << step.pszTitle << focus.strErr;
            // "type" takes every later argument as text, so the keys go in a call of their own.
            if (!step.strText.empty()) {
                EXPECT_EQ(xdotool({"type", "--delay", "20", step.strText}).nExit, 0);
            }
            std::vector<std::string> keys = {"key"};
            keys.insert(keys.end(), step.keys.begin(), step.keys.end());
            EXPECT_EQ(xdotool(keys).nExit, 0);
            // Keys meant for the window below would be lost while this modal one is still up.
            for (int i = 0; step.bCloses && i < 100; ++i) {
                if (xdotool({"search", "--onlyvisible", "--name", step.pszTitle}).nExit != 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        const SRun run = host.get();
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        const std::string strStored = ReadFileBytes(m_data / "settings.json");
        EXPECT_NE(run.strOut.find(c.pszSays), std::string::npos) << run.strOut;
        EXPECT_NE(strStored.find(c.pszStored), std::string::npos) << strStored;
    }
}

}  // namespace
