#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/help.h"

namespace {

std::string FindInPath(const std::string& strProgram) {
    if (strProgram.find('/') != std::string::npos)
        return access(strProgram.c_str(), X_OK) == 0 ? strProgram : std::string();
    const char* pszPath = std::getenv("PATH");
    if (!pszPath) pszPath = "/usr/local/bin:/usr/bin:/bin";
    std::vector<char> candidate;
    for (const char* pszDir = pszPath;; ++pszDir) {
        const char* pszEnd = std::strchr(pszDir, ':');
        if (!pszEnd) pszEnd = pszDir + std::strlen(pszDir);
        candidate.assign(pszDir, pszEnd);
        if (candidate.empty()) candidate.push_back('.');
        candidate.push_back('/');
        candidate.insert(candidate.end(), strProgram.begin(), strProgram.end());
        candidate.push_back('\0');
        if (access(candidate.data(), X_OK) == 0) return std::string(candidate.data());
        if (*pszEnd == '\0') return std::string();
        pszDir = pszEnd;
    }
}

}  // namespace

const wchar_t kHelpFileName[] = L"Locanym.html";

CHelpLoader::CHelpLoader(const char* pszOpener) : m_strOpener(pszOpener ? pszOpener : "xdg-open") {}

bool CHelpLoader::Open(const std::wstring& strPath) {
    if (m_eState == EState::kMissing || strPath.empty()) return false;
    if (m_eState == EState::kUnknown) {
        m_strOpenerPath = FindInPath(m_strOpener);
        m_eState = m_strOpenerPath.empty() ? EState::kMissing : EState::kFound;
        if (m_eState == EState::kMissing) return false;
    }
    const std::string strFile = WideToUtf8(strPath);
    char* argv[] = {m_strOpenerPath.data(), const_cast<char*>(strFile.c_str()), nullptr};
    // The opener may live as long as the browser it starts: a grandchild that nobody waits
    // for is adopted by init, so the host neither blocks nor collects a zombie.
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execv(argv[0], argv);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int nStatus = 0;
    while (waitpid(child, &nStatus, 0) < 0) {
        if (errno != EINTR) return true;  // a host that reaps children itself took it
    }
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}
