// Helpers for the reference host's tests: running the built host program on a scratch data
// folder and reading its output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace host_test {

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& strText) {
    std::vector<std::string> lines;
    std::istringstream in(strText);
    for (std::string strLine; std::getline(in, strLine);) lines.push_back(strLine);
    return lines;
}

// Passes when strText holds strPart; a failure shows the whole text.
inline ::testing::AssertionResult Has(const std::string& strText, const std::string& strPart) {
    if (strText.find(strPart) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << strPart << "\" not in:\n" << strText;
}

struct SRun {
    int nExit = -1;
    std::string strOut, strErr;
};

// Where a run's standard output goes: a file of the scratch folder, or a pipe nobody reads.
enum class EStdout { kFile, kClosedPipe };

// Runs a program with the arguments; standard output and error are caught in files of the
// scratch folder. Environment entries of env replace the inherited ones; an empty optional
// removes the variable.
inline SRun RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                       const std::filesystem::path& scratch,
                       const std::map<std::string, std::optional<std::string>>& env = {},
                       EStdout eStdout = EStdout::kFile) {
    std::vector<std::string> envStrings, argStrings = {program.string()};
    for (char** p = environ; *p; ++p)
        if (!env.count(std::string(*p).substr(0, std::string(*p).find('='))))
            envStrings.push_back(*p);
    for (const auto& [strName, value] : env)
        if (value) envStrings.push_back(strName + "=" + *value);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    // NUL-ended pointers into the strings, as posix_spawn takes them.
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (std::string& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    std::vector<char*> envp = pointers(envStrings), argv = pointers(argStrings);

    const std::string strOutFile = (scratch / "run.stdout").string();
    const std::string strErrFile = (scratch / "run.stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int pipeFds[2] = {-1, -1};
    if (eStdout == EStdout::kClosedPipe) {
        if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
        close(pipeFds[0]);  // nobody will ever read
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, strOutFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, strErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    int nSpawn = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    if (nSpawn != 0) throw std::runtime_error("cannot start " + program.string());
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    SRun run;
    run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    if (eStdout == EStdout::kFile) run.strOut = ReadFileBytes(strOutFile);
    run.strErr = ReadFileBytes(strErrFile);
    return run;
}

// A scratch folder holding the host's data folder, and runs of the built host on it.
class HostRunTest : public ::testing::Test {
  protected:
    using Env = std::map<std::string, std::optional<std::string>>;
    // Runs the host with the scratch data folder; m_env, then env, change its environment.
    SRun Run(std::vector<std::string> args, const Env& env = {}) {
        args.insert(args.begin(), {"--data", m_data.string()});
        return RunBare(args, env);
    }
    SRun RunBare(const std::vector<std::string>& args, const Env& env = {}) {
        Env merged = env;
        merged.insert(m_env.begin(), m_env.end());
        return RunProgram(LOCANYM_HOST_PATH, args, m_scratch.Path(), merged);
    }

    CTempDir m_scratch;
    std::filesystem::path m_data = m_scratch.Path() / "data";
    Env m_env;
};

}  // namespace host_test
