// `locanym-host configure` with the built module on a private X server: the settings window
// opens with the module's version in its title; Return presses its default button (OK), message
// 5 answers 1 and the host saves the settings with message 6; Escape cancels and saves nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

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

TEST(HostConfigure, TheRealWindowOpensAndItsAnswerDecidesTheSave) {
    const fs::path timeout = FindProgram("timeout");
    const fs::path xdotool = FindProgram("xdotool");
    if (timeout.empty() || xdotool.empty()) GTEST_SKIP() << "timeout or xdotool missing";
    CXvfb xvfb;
    if (!xvfb.Start()) GTEST_SKIP() << "no Xvfb";

    struct {
        const char* pszKey;
        std::optional<std::string> windowId;  // the terminal's window the host passes on
        bool bSaved;
    } const cases[] = {
        {"Return", std::nullopt, true},
        {"Return", "12345", true},  // names no window: the dialog opens without a parent
        {"Escape", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszKey) + " " + c.windowId.value_or("-"));
        CScratchDir hostDir, keyDir;
        const fs::path data = hostDir.Path() / "data";
        const std::map<std::string, std::optional<std::string>> env = {
            {"DISPLAY", xvfb.m_strDisplay},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"WINDOWID", c.windowId}};
        // Both programs are bounded, so a window that never shows fails the test, not hangs it.
        auto host = std::async(std::launch::async, [&] {
            return RunProgram(timeout,
                              {"60", LOCANYM_HOST_PATH, "--data", data.string(), "configure"},
                              hostDir.Path(), env);
        });
        // Focus first, then a key through the X server's test extension: a key sent to the
        // window itself would outlive the window it closes.
        const SRun focus = RunProgram(timeout,
                                      {"30", xdotool.string(), "search", "--sync", "--onlyvisible",
                                       "--name", "^Locanym 1\\.0\\.1$", "windowfocus", "--sync"},
                                      keyDir.Path(), env);
        const SRun key =
            RunProgram(timeout, {"10", xdotool.string(), "key", c.pszKey}, keyDir.Path(), env);
        const SRun run = host.get();
        EXPECT_EQ(focus.nExit, 0) << focus.strErr;
        EXPECT_EQ(key.nExit, 0) << key.strErr;
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_EQ(run.strOut.find("Settings confirmed and saved") != std::string::npos, c.bSaved)
            << run.strOut;
        EXPECT_EQ(fs::exists(data / "settings.json"), c.bSaved);
        if (c.bSaved) {
            EXPECT_NE(ReadFile(data / "settings.json").find("\"Format\""), std::string::npos);
        }
    }
}

}  // namespace
