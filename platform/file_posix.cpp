#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <random>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/format.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/file.h"

const wchar_t kPathSeparator = L'/';

namespace {

// A file opened with its first block filled has its size looked up only when asked for.
constexpr uint64_t kSizeUnknown = UINT64_MAX;

std::wstring PosixError(const std::wstring& strContext, int nErrno) {
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* pszText = strerror_r(nErrno, buffer, sizeof buffer);
    return FormatText(L"%s: %s", strContext, pszText ? pszText : "unknown error");
}

std::string NativePath(const std::wstring& strPath) {
    return WideToUtf8(strPath);
}

// A path for one system call, narrowed on the stack when it is ASCII and short, as a photo's
// path nearly always is: a show opens one photo after another, and each would otherwise
// allocate its path's bytes.
class CShortNativePath {
  public:
    explicit CShortNativePath(const std::wstring& strPath) {
        const size_t n = strPath.size();
        if (n < sizeof m_szInline) {
            // Narrowed first and checked after: one pass without a branch per character.
            const wchar_t* const pWide = strPath.data();
            uint32_t nAll = 0;
            size_t i = 0;
#if defined(__SSE2__) && WCHAR_MAX > 0xFFFF
            // Sixteen characters a step. Packing with signed saturation keeps every character
            // below 0x80 as it is; any other spoils the bytes, but shows in nAll.
            __m128i all = _mm_setzero_si128();
            for (; i + 16 <= n; i += 16) {
                const auto* pIn = reinterpret_cast<const __m128i*>(pWide + i);
                const __m128i a = _mm_loadu_si128(pIn), b = _mm_loadu_si128(pIn + 1);
                const __m128i c = _mm_loadu_si128(pIn + 2), d = _mm_loadu_si128(pIn + 3);
                all = _mm_or_si128(all, _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(m_szInline + i),
                                 _mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
            }
            all = _mm_or_si128(all, _mm_srli_si128(all, 8));
            all = _mm_or_si128(all, _mm_srli_si128(all, 4));
            nAll = static_cast<uint32_t>(_mm_cvtsi128_si32(all));
#endif
            for (; i < n; ++i) {
                nAll |= static_cast<uint32_t>(pWide[i]);
                m_szInline[i] = static_cast<char>(pWide[i]);
            }
            if (nAll < 0x80) {
                m_szInline[n] = '\0';
                m_pszPath = m_szInline;
                return;
            }
        }
        m_strLong = NativePath(strPath);
        m_pszPath = m_strLong.c_str();
    }
    CShortNativePath(const CShortNativePath&) = delete;
    CShortNativePath& operator=(const CShortNativePath&) = delete;
    const char* Get() const {
        return m_pszPath;
    }

  private:
    static constexpr size_t kInlineBytes = 512;
    char m_szInline[kInlineBytes];
    std::string m_strLong;
    const char* m_pszPath = nullptr;
};

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
    // Closes the descriptor held so far (its close error is lost) and takes fd.
    void Reset(int fd) {
        Close();
        m_fd = fd;
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

SFileStamp StampOf(const struct stat& st) {
    SFileStamp stamp;
    stamp.nDevice = static_cast<uint64_t>(st.st_dev);
    stamp.nInode = static_cast<uint64_t>(st.st_ino);
    stamp.nSize = static_cast<uint64_t>(st.st_size);
    stamp.nModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                        static_cast<int64_t>(st.st_mtim.tv_nsec);
    return stamp;
}

class CPosixSequentialFile : public CSequentialFile {
  public:
    CPosixSequentialFile(int fd, const struct stat& st)
        : m_fd(fd), m_nSize(static_cast<uint64_t>(st.st_size)), m_stamp(StampOf(st)) {}

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
    SFileStamp GetStamp() const override { return m_stamp; }

  private:
    CFileDescriptor m_fd;
    uint64_t m_nSize;
    SFileStamp m_stamp;
};

// Reads up to nSize bytes at nOffset, retrying short reads; false with errno on an error.
bool PreadFully(int fd, uint64_t nOffset, size_t nSize, char* pBuffer, size_t& nRead) {
    nRead = 0;
    while (nRead < nSize) {
        // An offset past what off_t holds lies past every file's end.
        const uint64_t nAt = nOffset + nRead;
        if (nAt < nOffset || nAt > static_cast<uint64_t>(INT64_MAX)) return true;
        const ssize_t n = ::pread(fd, pBuffer + nRead, nSize - nRead, static_cast<off_t>(nAt));
        if (n > 0) {
            nRead += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) return true;
        if (errno != EINTR) return false;
    }
    return true;
}

class CPosixRandomAccessFile final : public CRandomAccessFile {
  public:
    // nSize: the file's size, or UINT64_MAX for a file whose size is looked up when first asked
    // for.
    CPosixRandomAccessFile(int fd, uint64_t nSize) : m_fd(fd) { SetSize(nSize); }

    void Reset(int fd, uint64_t nSize) {
        m_fd.Reset(fd);
        SetSize(nSize);
    }
    void Close() override { Reset(-1, 0); }

    bool ReadAt(uint64_t nOffset, size_t nSize, char* pBuffer, size_t& nRead,
                std::wstring& strError) const override {
        if (PreadFully(m_fd.Get(), nOffset, nSize, pBuffer, nRead)) return true;
        strError = PosixError(L"pread", errno);
        return false;
    }
    uint64_t GetSize() const override {
        if (!m_bSizeKnown) {
            // Not a regular file (a device that filled the first block) has no size to read to.
            // st is read only where fstat filled it.
            struct stat st;
            m_nSize = ::fstat(m_fd.Get(), &st) == 0 && S_ISREG(st.st_mode)
                          ? static_cast<uint64_t>(st.st_size)
                          : 0;
            m_bSizeKnown = true;
        }
        return m_nSize;
    }

  private:
    void SetSize(uint64_t nSize) {
        m_bSizeKnown = nSize != kSizeUnknown;
        m_nSize = m_bSizeKnown ? nSize : 0;
    }

    CFileDescriptor m_fd;
    mutable uint64_t m_nSize = 0;
    mutable bool m_bSizeKnown = true;
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

class CPosixFileLock : public CFileLock {
  public:
    explicit CPosixFileLock(int fd) : m_fd(fd) {}
    // Closing the descriptor releases the lock.

  private:
    CFileDescriptor m_fd;
};

}  // namespace

// Opens a regular file for reading: its descriptor (owned by the caller) and status, or -1.
static int OpenRegularFile(const std::wstring& strPath, struct stat& st, std::wstring& strError) {
    CFileDescriptor fd(::open(NativePath(strPath).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        strError = PosixError(L"open", errno);
        return -1;
    }
    int nError = ::fstat(fd.Get(), &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
    if (nError != 0) {
        strError = PosixError(L"open", nError);
        return -1;
    }
    return fd.Release();
}

std::unique_ptr<CSequentialFile> OpenSequentialFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    struct stat st {};
    const int fd = OpenRegularFile(strPath, st, strError);
    if (fd < 0) return nullptr;
    return std::make_unique<CPosixSequentialFile>(fd, st);
}

namespace {

// The descriptor of strPath opened for reading at offsets, with nSize its size or kSizeUnknown;
// -1 with the reasons when it cannot be opened. The reading of the first block as
// OpenRandomAccessFile describes it.
int OpenForRandomAccess(const std::wstring& strPath, EOpenFailure& eFailure, std::wstring& strError,
                        char* pFirst, size_t nFirst, size_t* pnFirstRead, uint64_t& nSize) {
    // Non-blocking, so that a FIFO named like a photo cannot stall the caller in open().
    const CShortNativePath path(strPath);
    int nFd = -1;
    do {
        nFd = ::open(path.Get(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0) {
        eFailure =
            errno == ENOENT || errno == ENOTDIR ? EOpenFailure::kNotFound : EOpenFailure::kOther;
        strError = PosixError(L"open", errno);
        return -1;
    }
    CFileDescriptor fd(nFd);
    // A FIFO or a folder fails the first read and a short file comes back short: only then is
    // the file looked at. A photo that fills the block is taken as it is, one call fewer.
    size_t nFirstRead = 0;
    int nReadErrno = 0;
    if (pFirst) {
        if (!PreadFully(fd.Get(), 0, nFirst, pFirst, nFirstRead)) nReadErrno = errno;
        if (pnFirstRead) *pnFirstRead = nFirstRead;
        if (nReadErrno == 0 && nFirstRead == nFirst && nFirst > 0) {
            eFailure = EOpenFailure::kNone;
            nSize = kSizeUnknown;
            return fd.Release();
        }
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        eFailure = EOpenFailure::kOther;
        strError = PosixError(L"fstat", errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        eFailure = EOpenFailure::kNotRegular;
        strError = L"open: not a regular file";
        return -1;
    }
    if (nReadErrno != 0) {
        eFailure = EOpenFailure::kOther;
        strError = PosixError(L"pread", nReadErrno);
        return -1;
    }
    eFailure = EOpenFailure::kNone;
    nSize = static_cast<uint64_t>(st.st_size);
    return fd.Release();
}

}  // namespace

std::unique_ptr<CRandomAccessFile> OpenRandomAccessFile(const std::wstring& strPath,
                                                        EOpenFailure& eFailure,
                                                        std::wstring& strError, char* pFirst,
                                                        size_t nFirst, size_t* pnFirstRead) {
    uint64_t nSize = 0;
    const int fd =
        OpenForRandomAccess(strPath, eFailure, strError, pFirst, nFirst, pnFirstRead, nSize);
    if (fd < 0) return nullptr;
    return std::make_unique<CPosixRandomAccessFile>(fd, nSize);
}

bool ReopenRandomAccessFile(std::unique_ptr<CRandomAccessFile>& pFile, const std::wstring& strPath,
                            EOpenFailure& eFailure, std::wstring& strError, char* pFirst,
                            size_t nFirst, size_t* pnFirstRead) {
    // Every CRandomAccessFile of this platform is made in this file.
    auto* pPosix = static_cast<CPosixRandomAccessFile*>(pFile.get());
    if (pPosix) pPosix->Close();
    uint64_t nSize = 0;
    const int fd =
        OpenForRandomAccess(strPath, eFailure, strError, pFirst, nFirst, pnFirstRead, nSize);
    if (fd < 0) return false;
    if (pPosix)
        pPosix->Reset(fd, nSize);
    else
        pFile = std::make_unique<CPosixRandomAccessFile>(fd, nSize);
    return true;
}

std::unique_ptr<CReplacingFile> CreateReplacingFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    if (strPath.empty()) {
        strError = PosixError(L"open", ENOENT);
        return nullptr;
    }
    std::string strTarget = NativePath(strPath);
    // Two writers of one target each get a file of their own, and a link planted at a name
    // is refused rather than followed; a name that is taken is only a reason to draw again.
    static thread_local std::mt19937_64 random(std::random_device{}() ^
                                               static_cast<uint64_t>(::getpid()) << 32);
    constexpr int kMaxTries = 16;
    for (int nTry = 0; nTry < kMaxTries; ++nTry) {
        char szPart[24];
        std::snprintf(szPart, sizeof szPart, ".%016llx", static_cast<unsigned long long>(random()));
        std::string strTemp = strTarget + szPart + ".tmp";
        const int fd =
            ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            return std::make_unique<CPosixReplacingFile>(fd, std::move(strTarget),
                                                         std::move(strTemp));
        if (errno != EEXIST) {
            strError = PosixError(L"open", errno);
            return nullptr;
        }
    }
    strError = PosixError(L"open", EEXIST);
    return nullptr;
}

bool GetFileStamp(const std::wstring& strPath, SFileStamp& stamp, std::wstring& strError) {
    struct stat st {};
    if (::stat(NativePath(strPath).c_str(), &st) != 0) {
        strError = PosixError(L"stat", errno);
        return false;
    }
    stamp = StampOf(st);
    return true;
}

std::unique_ptr<CFileLock> LockFile(const std::wstring& strPath, int nWaitMs,
                                    std::wstring& strError) {
    // An empty path would put the lock file in whatever folder is current.
    if (strPath.empty()) {
        strError = PosixError(L"open", ENOENT);
        return nullptr;
    }
    const std::string strLock = NativePath(strPath) + ".lock";
    CFileDescriptor fd(::open(strLock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0) {
        strError = PosixError(L"open", errno);
        return nullptr;
    }
    // A holder keeps the lock only for one save; polling keeps a stuck holder from stopping
    // this process for longer than the caller allows.
    constexpr int kPollMs = 5;
    for (int nWaited = 0;; nWaited += kPollMs) {
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || nWaited >= nWaitMs) {
            strError = PosixError(L"flock", errno);
            return nullptr;
        }
        const struct timespec pause = {0, kPollMs * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
    return std::make_unique<CPosixFileLock>(fd.Release());
}

bool RemoveFile(const std::wstring& strPath, std::wstring& strError) {
    if (::unlink(NativePath(strPath).c_str()) != 0) {
        strError = PosixError(L"unlink", errno);
        return false;
    }
    return true;
}
