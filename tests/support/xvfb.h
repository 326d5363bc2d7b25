// A private X server for tests that open real windows.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// An X server of our own on a display number it picks itself; stopped by the destructor.
class CXvfb {
  public:
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        std::string args[] = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                              "-screen",   "0",          "1280x1024x24",
                              "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (std::string& strArg : args) argv.push_back(strArg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int nSpawn = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (nSpawn != 0) {
            m_pid = -1;
            close(fds[0]);
            return false;
        }
        std::string strDisplay;
        pollfd pfd{fds[0], POLLIN, 0};
        char ch = 0;
        while (poll(&pfd, 1, 10000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n')
            strDisplay += ch;
        close(fds[0]);
        if (strDisplay.empty()) return false;
        m_strDisplay = ":" + strDisplay;
        return true;
    }
    ~CXvfb() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int nStatus = 0;
        waitpid(m_pid, &nStatus, 0);
    }
    std::string m_strDisplay;

  private:
    pid_t m_pid = -1;
};
