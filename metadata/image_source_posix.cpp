#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/format.h"
#include "base/text.h"
#include "metadata/image_source.h"
#include "metadata/metadata_reader.h"

namespace {

std::wstring PosixError(const wchar_t* pszContext, int nErrno) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* pszText = strerror_r(nErrno, buffer, sizeof buffer);
    return FormatText(L"%s: %s (errno %d)", pszContext, pszText ? pszText : buffer, nErrno);
}

class CPosixImageSource final : public IImageSource {
  public:
    CPosixImageSource(int fd, uint64_t nSize) : m_fd(fd), m_nSize(nSize) {}
    ~CPosixImageSource() override { ::close(m_fd); }
    CPosixImageSource(const CPosixImageSource&) = delete;
    CPosixImageSource& operator=(const CPosixImageSource&) = delete;

    uint64_t Size() const override { return m_nSize; }
    uint64_t BytesRead() const override { return m_nBytesRead; }

    bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) override {
        if (nOffset > m_nSize || nSize > m_nSize - nOffset) return false;
        auto* p = static_cast<uint8_t*>(pBuffer);
        while (nSize > 0) {
            ssize_t n = ::pread(m_fd, p, nSize, static_cast<off_t>(nOffset));
            if (n < 0 && errno == EINTR) continue;
            // A file that shrank since it was opened ends the read like a short file.
            if (n <= 0) return false;
            p += n;
            nOffset += static_cast<uint64_t>(n);
            nSize -= static_cast<size_t>(n);
            m_nBytesRead += static_cast<uint64_t>(n);
        }
        return true;
    }

  private:
    int m_fd;
    uint64_t m_nSize;
    uint64_t m_nBytesRead = 0;
};

class CPosixImageFileSystem final : public IImageFileSystem {
  public:
    int32_t Open(const std::wstring& strPath, std::unique_ptr<IImageSource>& pSource,
                 std::wstring& strDetail) override {
        const std::string path = WideToUtf8(strPath);
        // Non-blocking, so that a FIFO named like a photo cannot stall the host in open().
        int fd = -1;
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            strDetail = PosixError(L"open", errno);
            return errno == ENOENT || errno == ENOTDIR ? kMetaErrFileNotFound : kMetaErrOpenFailed;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            strDetail = PosixError(L"fstat", errno);
            ::close(fd);
            return kMetaErrOpenFailed;
        }
        if (!S_ISREG(st.st_mode)) {
            strDetail = L"not a regular file";
            ::close(fd);
            return kMetaErrOpenFailed;
        }
        pSource = std::make_unique<CPosixImageSource>(fd, static_cast<uint64_t>(st.st_size));
        return kMetaOk;
    }
};

}  // namespace

std::unique_ptr<IImageFileSystem> CreateImageFileSystem() {
    return std::make_unique<CPosixImageFileSystem>();
}
