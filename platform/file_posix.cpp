#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "base/format.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/file.h"

const wchar_t kPathSeparator = L'/';

namespace {

std::wstring PosixError(const std::wstring& strContext, int nErrno) {
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* pszText = strerror_r(nErrno, buffer, sizeof buffer);
    return FormatText(L"%s: %s", strContext, pszText ? pszText : "unknown error");
}

std::string NativePath(const std::wstring& strPath) {
    return WideToUtf8(strPath);
}

class CFileDescriptor {
  public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { Close(); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Hands the descriptor to a new owner.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // The result of close() matters for written files: an error may surface only here.
    int Close() {
        if (m_fd < 0) return 0;
        int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

  private:
    int m_fd;
};

class CPosixSequentialFile : public CSequentialFile {
  public:
    CPosixSequentialFile(int fd, uint64_t nSize) : m_fd(fd), m_nSize(nSize) {}

    bool Read(char* pBuffer, size_t nCapacity, size_t& nRead, std::wstring& strError) override {
        for (;;) {
            ssize_t n = ::read(m_fd.Get(), pBuffer, nCapacity);
            if (n >= 0) {
                nRead = static_cast<size_t>(n);
                return true;
            }
            if (errno == EINTR) continue;
            nRead = 0;
            strError = PosixError(L"read", errno);
            return false;
        }
    }
    uint64_t GetSize() const override { return m_nSize; }

  private:
    CFileDescriptor m_fd;
    uint64_t m_nSize;
};

class CPosixRandomAccessFile final : public CRandomAccessFile {
  public:
    CPosixRandomAccessFile(int fd, uint64_t nSize) : m_fd(fd), m_nSize(nSize) {}

    bool ReadAt(uint64_t nOffset, size_t nSize, char* pBuffer, size_t& nRead,
                std::wstring& strError) const override {
        nRead = 0;
        while (nRead < nSize) {
            // An offset past what off_t holds lies past every file's end.
            const uint64_t nAt = nOffset + nRead;
            if (nAt < nOffset || nAt > static_cast<uint64_t>(INT64_MAX)) return true;
            const ssize_t n =
                ::pread(m_fd.Get(), pBuffer + nRead, nSize - nRead, static_cast<off_t>(nAt));
            if (n > 0) {
                nRead += static_cast<size_t>(n);
                continue;
            }
            if (n == 0) return true;
            if (errno == EINTR) continue;
            strError = PosixError(L"pread", errno);
            return false;
        }
        return true;
    }
    uint64_t GetSize() const override { return m_nSize; }

  private:
    CFileDescriptor m_fd;
    uint64_t m_nSize;
};

class CPosixReplacingFile : public CReplacingFile {
  public:
    CPosixReplacingFile(int fd, std::string strTarget, std::string strTemp)
        : m_fd(fd), m_strTarget(std::move(strTarget)), m_strTemp(std::move(strTemp)) {}
    ~CPosixReplacingFile() override {
        if (!m_bCommitted) {
            m_fd.Close();
            ::unlink(m_strTemp.c_str());
        }
    }

    bool Append(const char* pData, size_t nSize, std::wstring& strError) override {
        while (nSize > 0) {
            ssize_t n = ::write(m_fd.Get(), pData, nSize);
            if (n < 0) {
                if (errno == EINTR) continue;
                strError = PosixError(L"write", errno);
                return false;
            }
            pData += n;
            nSize -= static_cast<size_t>(n);
        }
        return true;
    }

    bool Commit(std::wstring& strError) override {
        if (::fsync(m_fd.Get()) != 0) {
            strError = PosixError(L"fsync", errno);
            return false;
        }
        if (m_fd.Close() != 0) {
            strError = PosixError(L"close", errno);
            return false;
        }
        if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
            strError = PosixError(L"rename", errno);
            return false;
        }
        m_bCommitted = true;
        // Make the rename itself durable; the new file is in place whether or not this works.
        const std::string strFolder = PathFolderPosix(m_strTarget);
        int dirFd = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    }

  private:
    CFileDescriptor m_fd;
    std::string m_strTarget;
    std::string m_strTemp;
    bool m_bCommitted = false;
};

}  // namespace

// Opens a regular file for reading: its descriptor (owned by the caller) and size, or -1.
static int OpenRegularFile(const std::wstring& strPath, uint64_t& nSize, std::wstring& strError) {
    CFileDescriptor fd(::open(NativePath(strPath).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        strError = PosixError(L"open", errno);
        return -1;
    }
    struct stat st {};
    int nError = ::fstat(fd.Get(), &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
    if (nError != 0) {
        strError = PosixError(L"open", nError);
        return -1;
    }
    nSize = static_cast<uint64_t>(st.st_size);
    return fd.Release();
}

std::unique_ptr<CSequentialFile> OpenSequentialFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    uint64_t nSize = 0;
    const int fd = OpenRegularFile(strPath, nSize, strError);
    if (fd < 0) return nullptr;
    return std::make_unique<CPosixSequentialFile>(fd, nSize);
}

std::unique_ptr<CRandomAccessFile> OpenRandomAccessFile(const std::wstring& strPath,
                                                        EOpenFailure& eFailure,
                                                        std::wstring& strError) {
    // Non-blocking, so that a FIFO named like a photo cannot stall the caller in open().
    int nFd = -1;
    do {
        nFd = ::open(NativePath(strPath).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0) {
        eFailure =
            errno == ENOENT || errno == ENOTDIR ? EOpenFailure::kNotFound : EOpenFailure::kOther;
        strError = PosixError(L"open", errno);
        return nullptr;
    }
    CFileDescriptor fd(nFd);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        eFailure = EOpenFailure::kOther;
        strError = PosixError(L"fstat", errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        eFailure = EOpenFailure::kNotRegular;
        strError = L"open: not a regular file";
        return nullptr;
    }
    eFailure = EOpenFailure::kNone;
    return std::make_unique<CPosixRandomAccessFile>(fd.Release(),
                                                    static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<CReplacingFile> CreateReplacingFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    if (strPath.empty()) {
        strError = PosixError(L"open", ENOENT);
        return nullptr;
    }
    std::string strTarget = NativePath(strPath);
    std::string strTemp = strTarget + ".tmp";
    int fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        strError = PosixError(L"open", errno);
        return nullptr;
    }
    return std::make_unique<CPosixReplacingFile>(fd, std::move(strTarget), std::move(strTemp));
}

bool RemoveFile(const std::wstring& strPath, std::wstring& strError) {
    if (::unlink(NativePath(strPath).c_str()) != 0) {
        strError = PosixError(L"unlink", errno);
        return false;
    }
    return true;
}
