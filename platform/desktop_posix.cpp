#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "base/text.h"
#include "platform/desktop.h"

extern char** environ;

namespace {

// Starts the program with its input from a pipe that receives strInput (nothing when empty),
// and waits for the child on a thread of its own, so that no zombie stays behind and the
// caller never waits for the desktop.
bool SpawnDetached(std::vector<std::string> args, const std::string& strInput) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int nError = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (nError != 0) {
        ::close(fds[1]);
        return false;
    }
    // A program that exits without reading must not end the host with SIGPIPE: the signal is
    // blocked on this thread while writing, and one it raised is taken before unblocking.
    sigset_t pipeSet, oldSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
    size_t nDone = 0;
    while (nDone < strInput.size()) {
        const ssize_t n = ::write(fds[1], strInput.data() + nDone, strInput.size() - nDone);
        if (n <= 0) break;
        nDone += static_cast<size_t>(n);
    }
    ::close(fds[1]);
    const timespec noWait{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &noWait) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
    std::thread([pid] {
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);
    }).detach();
    return nDone == strInput.size();
}

}  // namespace

bool OpenAddressWithDesktop(const std::wstring& strAddress) {
    if (strAddress.empty()) return false;
    return SpawnDetached({"xdg-open", WideToUtf8(strAddress)}, std::string());
}

bool CopyTextToClipboard(const std::wstring& strText) {
    const std::string strUtf8 = WideToUtf8(strText);
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    if (pszWayland && *pszWayland) return SpawnDetached({"wl-copy"}, strUtf8);
    return SpawnDetached({"xclip", "-selection", "clipboard"}, strUtf8);
}
