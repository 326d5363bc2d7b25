#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <system_error>
#include <thread>

#include "host/host_platform.h"

namespace fs = std::filesystem;

const char kModuleFileName[] = "Locanym.so";

namespace {

std::string PosixError(const std::string& strContext, int nErrno) {
    return strContext + ": " + strerror(nErrno);
}

// Owns a file descriptor; closes it unless released.
class CFileDescriptor {
  public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now so that a failure of close (a late write error) can be reported.
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

  private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& strContent) {
    size_t nDone = 0;
    while (nDone < strContent.size()) {
        ssize_t n = write(fd, strContent.data() + nDone, strContent.size() - nDone);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool CModuleHandle::Load(const fs::path& file, std::string& strError) {
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        strError = "module not found: " + file.string();
        return false;
    }
    fs::path absolute = fs::absolute(file, ec);
    if (ec) absolute = file;
    std::string strReason;
    if (!m_loader.Load(absolute.string(), strReason)) {
        strError = "cannot load module " + file.string() + ": " + strReason;
        return false;
    }
    m_pfnHandler = reinterpret_cast<SldPlugInMsgHandler>(m_loader.FindSymbol(SLD_ENTRY_POINT_NAME));
    if (!m_pfnHandler) {
        strError =
            file.string() + " is not a plug-in module: it does not export " + SLD_ENTRY_POINT_NAME;
        m_loader.Unload();
        return false;
    }
    return true;
}

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path HomeFolder() {
    std::string strHome = EnvironmentValue("HOME");
    if (!strHome.empty()) return strHome;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return fs::path();
}

std::string EnvironmentValue(const char* pszName) {
    const char* pszValue = getenv(pszName);
    return pszValue ? pszValue : "";
}

bool PrepareWritableFolder(const fs::path& folder, std::string& strError) {
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        strError = "data folder " + folder.string() + " is not a folder";
        return false;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        strError = "cannot create data folder " + folder.string() + ": " + ec.message();
        return false;
    }
    // Asked of the kernel rather than tried with a probe file: creating and removing a file at
    // every start cost a show answered from the cache as much as some forty of its photos.
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        strError = PosixError("cannot write in data folder " + folder.string(), errno);
        return false;
    }
    return true;
}

CFolderLock::~CFolderLock() {
    if (m_fd >= 0) close(m_fd);  // releases the lock
}

bool CFolderLock::Lock(const fs::path& folder, std::string& strError) {
    m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        strError = PosixError("cannot open data folder " + folder.string(), errno);
        return false;
    }
    int nResult;
    do {
        nResult = flock(m_fd, LOCK_EX);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        strError = PosixError("cannot lock data folder " + folder.string(), errno);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const fs::path& file, const std::string& strContent,
                         std::string& strError) {
    std::string strTemp = file.string() + ".tmp-XXXXXX";
    CFileDescriptor fd(mkstemp(strTemp.data()));
    if (fd.Get() < 0) {
        strError = PosixError("cannot create a file beside " + file.string(), errno);
        return false;
    }
    bool bOk = WriteAll(fd.Get(), strContent) && fsync(fd.Get()) == 0;
    int nErrno = errno;
    if (!fd.Close() && bOk) {
        bOk = false;
        nErrno = errno;
    }
    if (bOk && rename(strTemp.c_str(), file.c_str()) != 0) {
        bOk = false;
        nErrno = errno;
    }
    if (!bOk) {
        unlink(strTemp.c_str());
        strError = PosixError("cannot write " + file.string(), nErrno);
        return false;
    }
    // The rename itself must reach the disk, or a crash could bring back the old file.
    fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    CFileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.Get() >= 0) fsync(dir.Get());
    return true;
}

bool ReadRegularFile(const fs::path& file, std::string& strContent, bool& bMissing,
                     std::string& strError) {
    strContent.clear();
    bMissing = false;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    CFileDescriptor fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0) {
        if (errno == ENOENT) {
            bMissing = true;
            return true;
        }
        strError = PosixError("cannot read " + file.string(), errno);
        return false;
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) {
        strError = PosixError("cannot read " + file.string(), errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        strError = file.string() + " is not a regular file; move it away or give another path";
        return false;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            strError = PosixError("cannot read " + file.string(), errno);
            return false;
        }
        if (n == 0) return true;
        strContent.append(buffer, static_cast<size_t>(n));
    }
}

bool IsRegularOrMissing(const fs::path& file, std::string& strError) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        strError = PosixError("cannot look at " + file.string(), errno);
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    strError = file.string() + " is not a regular file; move it away or give another path";
    return false;
}

CAppendFile::~CAppendFile() {
    if (m_fd >= 0) close(m_fd);
}

bool CAppendFile::Open(const fs::path& file, std::string& strError) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging the host.
    int fd =
        open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    const std::string strNotRegular = "cannot open log file " + file.string() +
                                      ": it is not a regular file (use --log - for standard error)";
    if (fd < 0) {
        // ENXIO: a FIFO that nobody reads.
        strError = errno == ENXIO ? strNotRegular
                                  : PosixError("cannot open log file " + file.string(), errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        strError = strNotRegular;
        return false;
    }
    m_fd = fd;
    return true;
}

bool CAppendFile::Append(const std::string& strText) {
    return m_fd >= 0 && WriteAll(m_fd, strText);
}

std::string LocalTimestamp() {
    time_t now = time(nullptr);
    struct tm local;
    char szText[32] = "";
    if (localtime_r(&now, &local)) strftime(szText, sizeof szText, "%Y-%m-%d %H:%M:%S", &local);
    return szText;
}

fs::path CurrentFolder() {
    std::error_code ec;
    fs::path folder = fs::current_path(ec);
    return ec ? fs::path() : folder;
}

bool IsStderrTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void KeepRunningWhenOutputCloses() {
    signal(SIGPIPE, SIG_IGN);
}

void WatchForInterrupt(std::function<void()> fnOnInterrupt, std::function<void()> fnBeforeQuit) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, the signals reach only the watcher's sigwait (threads inherit the mask).
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, fn = std::move(fnOnInterrupt), fnQuit = std::move(fnBeforeQuit)]() {
        int nSignal = 0;
        bool bFirst = true;
        while (sigwait(&set, &nSignal) == 0) {
            if (!bFirst) {
                if (fnQuit) fnQuit();
                _exit(130);
            }
            bFirst = false;
            fn();
        }
    }).detach();
}
