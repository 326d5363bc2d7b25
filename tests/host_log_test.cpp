// The reference host holds the plug-in's log lines and its captions back while photos come
// from the cache, and must still leave them complete: at every exit, and before it waits.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "tests/host_test_util.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"

namespace fs = std::filesystem;
using host_test::Lines;
using host_test::SRun;

namespace {

const fs::path kHost = LOCANYM_HOST_PATH;
constexpr size_t kStampChars = 20;  // "YYYY-MM-DD hh:mm:ss "

// The plug-in's lines of a log file, without their time stamps.
std::vector<std::string> LogLines(const fs::path& log) {
    std::vector<std::string> lines;
    for (const std::string& strLine : Lines(ReadFileBytes(log)))
        lines.push_back(strLine.size() > kStampChars ? strLine.substr(kStampChars) : strLine);
    return lines;
}

class HostLogTest : public host_test::HostRunTest {
  protected:
    void SetUp() override {
        m_server.SetHandler([this](const SLoopbackRequest& request) {
            if (m_fnOnRequest) m_fnOnRequest();
            if (request.QueryValue("lat").rfind("10.", 0) == 0) return JsonAnswer("", 502);
            return ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full");
        });
        ASSERT_TRUE(m_server.Start());
        m_env["LOCANYM_SERVICE_URL"] = m_server.BaseUrl();
        for (const char* pszKey : {"Enabled", "iProv"})
            ASSERT_EQ(Run({"set", pszKey, pszKey[0] == 'E' ? "1" : "2"}).nExit, 0);
        fs::create_directories(m_photos);
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteGpsJpeg(Photo(i), 48.85 + i * 0.01, 2.35));
    }

    std::string Photo(int i) const {
        return (m_photos / ("p" + std::to_string(i) + ".jpg")).string();
    }

    SRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--log", m_log.string()});
        return HostRunTest::Run(args);
    }

    fs::path m_photos = m_scratch.Path() / "photos";
    fs::path m_log = m_scratch.Path() / "plugin.log";
    std::function<void()> m_fnOnRequest;
    CLoopbackServer m_server;
};

}  // namespace

// Whichever way a run ends, the log file holds every line the plug-in wrote, in order (the
// same lines --verbose copies to standard error at once), and standard output every caption.
TEST_F(HostLogTest, EveryExitLeavesTheWholeLog) {
    ASSERT_EQ(Run({"caption", Photo(0), Photo(1)}).nExit, 0);  // fills the cache
    ASSERT_TRUE(WriteGpsJpeg(m_photos / "failing.jpg", 10.5, 20.5));
    WriteFileBytes(m_photos / "broken.jpg", "no JPEG at all");
    struct SCase {
        std::vector<std::string> args;
        int nExit;
        size_t nCaptionLines;
    } cases[] = {
        {{"caption", Photo(0), Photo(1)}, 0, 2},
        {{"caption", Photo(0), (m_photos / "failing.jpg").string(), Photo(1)}, 3, 3},
        {{"caption", Photo(0), (m_photos / "broken.jpg").string(), Photo(1)}, 1, 3},
    };
    for (const SCase& c : cases) {
        fs::remove(m_log);
        std::vector<std::string> args = {"--verbose"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const SRun run = Run(args);
        EXPECT_EQ(run.nExit, c.nExit) << c.args[1] << run.strErr;
        std::vector<std::string> copied;
        for (const std::string& strLine : Lines(run.strErr))
            if (strLine.rfind("locanym-host:", 0) != 0) copied.push_back(strLine);
        EXPECT_FALSE(copied.empty());
        EXPECT_EQ(LogLines(m_log), copied) << c.args[1];
        EXPECT_EQ(Lines(run.strOut).size(), c.nCaptionLines) << c.args[1];
    }
}

// While the show waits for a service, what came before is already in the log file and on
// standard output: the captions from the cache and the line of the request that waits.
TEST_F(HostLogTest, WhatCameBeforeARequestIsWrittenBeforeItWaits) {
    ASSERT_EQ(Run({"caption", Photo(0), Photo(1)}).nExit, 0);
    std::vector<std::string> logWhileWaiting;
    std::string strOutWhileWaiting;
    m_fnOnRequest = [&]() {
        logWhileWaiting = LogLines(m_log);
        strOutWhileWaiting = ReadFileBytes(m_scratch.Path() / "run.stdout");
    };
    fs::remove(m_log);
    ASSERT_EQ(Run({"caption", Photo(0), Photo(1), Photo(2)}).nExit, 0);
    EXPECT_EQ(Lines(strOutWhileWaiting).size(), 2u) << strOutWhileWaiting;
    ASSERT_FALSE(logWhileWaiting.empty());
    EXPECT_NE(logWhileWaiting.back().find("QueryServer: "), std::string::npos);
    EXPECT_EQ(std::count(logWhileWaiting.begin(), logWhileWaiting.end(), "[Locanym Plugin] Cached"),
              2);
}

// A reader that goes away (caption ... | head -1) stops the show as Ctrl-C does: the lookups
// made so far are saved in the cache, the log is whole, and the exit status says it failed.
TEST_F(HostLogTest, AClosedOutputStopsTheShowAndLosesNothing) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    close(pipeFds[0]);  // nobody will ever read
    const std::string strErrFile = (m_scratch.Path() / "closed.stderr").string();
    std::vector<std::string> args = {kHost.string(), "--data",       m_data.string(),
                                     "--log",        m_log.string(), "caption",
                                     Photo(0),       Photo(1),       Photo(2)};
    std::vector<char*> argv;
    for (std::string& strArg : args) argv.push_back(strArg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** p = environ; *p; ++p) env.emplace_back(*p);
    env.push_back("LOCANYM_SERVICE_URL=" + m_server.BaseUrl());
    std::vector<char*> envp;
    for (std::string& strVar : env) envp.push_back(strVar.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, 2, strErrFile.c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);

    ASSERT_TRUE(WIFEXITED(nStatus)) << "ended by signal " << WTERMSIG(nStatus);
    EXPECT_EQ(WEXITSTATUS(nStatus), 1);
    EXPECT_NE(ReadFileBytes(strErrFile).find("standard output"), std::string::npos);
    const std::vector<std::string> log = LogLines(m_log);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "[Locanym Plugin] Closing");
    const std::string strCache = ReadFileBytes(m_data / "LocanymPlg_SS.lst");
    const size_t nLookups = m_server.Requests().size();
    EXPECT_GE(nLookups, 1u);
    for (size_t i = 0; i < nLookups; ++i)
        EXPECT_NE(strCache.find(Photo(static_cast<int>(i))), std::string::npos) << i;
}
