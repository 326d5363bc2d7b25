// A private X server for tests that open real windows.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// An X server of our own on a display number it picks itself; stopped by the destructor.
class CXvfb {
  public:
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const std::string strFd = std::to_string(fds[1]);
        m_pid = fork();
        if (m_pid == 0) {
            // Only calls that are safe after fork until exec: the test may run threads.
            close(fds[0]);
            const int nNull = open("/dev/null", O_WRONLY);
            if (nNull >= 0) dup2(nNull, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", strFd.c_str(), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number once it listens; without Xvfb the pipe closes.
        std::string strDisplay;
        pollfd pfd{fds[0], POLLIN, 0};
        char ch = 0;
        while (m_pid > 0 && poll(&pfd, 1, 10000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n')
            strDisplay += ch;
        close(fds[0]);
        if (strDisplay.empty()) return false;
        m_strDisplay = ":" + strDisplay;
        return true;
    }
    ~CXvfb() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    std::string m_strDisplay;

  private:
    pid_t m_pid = -1;
};
