#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "base/format.h"
#include "base/text.h"
#include "platform/mapped_file.h"

namespace {

std::wstring PosixError(const std::wstring& strContext, int nErrno) {
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* pszText = strerror_r(nErrno, buffer, sizeof buffer);
    return FormatText(L"%s: %s", strContext, pszText ? pszText : "unknown error");
}

class CPosixMappedFile : public CMappedFile {
  public:
    CPosixMappedFile(void* pAddress, size_t nSize) : m_pAddress(pAddress), m_nSize(nSize) {}
    ~CPosixMappedFile() override {
        if (m_pAddress) ::munmap(m_pAddress, m_nSize);
    }
    CPosixMappedFile(const CPosixMappedFile&) = delete;
    CPosixMappedFile& operator=(const CPosixMappedFile&) = delete;

    const uint8_t* GetData() const override { return static_cast<const uint8_t*>(m_pAddress); }
    size_t GetSize() const override { return m_nSize; }

  private:
    void* m_pAddress;
    size_t m_nSize;
};

// The descriptor is needed only until the mapping exists; the mapping keeps the file alive.
class CDescriptor {
  public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace

std::unique_ptr<CMappedFile> MapFile(const std::wstring& strPath, std::wstring& strError) {
    std::string strNative = WideToUtf8(strPath);
    CDescriptor fd(::open(strNative.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        strError = PosixError(FormatText(L"open %s", strPath), errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        strError = PosixError(FormatText(L"fstat %s", strPath), errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        strError = FormatText(L"mmap %s: not a regular file", strPath);
        return nullptr;
    }
    if (static_cast<uint64_t>(st.st_size) > std::numeric_limits<size_t>::max()) {
        strError = FormatText(L"mmap %s: file too large", strPath);
        return nullptr;
    }
    size_t nSize = static_cast<size_t>(st.st_size);
    // mmap refuses a length of 0; an empty file is an empty mapping.
    if (nSize == 0) return std::make_unique<CPosixMappedFile>(nullptr, 0);
    void* pAddress = ::mmap(nullptr, nSize, PROT_READ, MAP_PRIVATE, fd.Get(), 0);
    if (pAddress == MAP_FAILED) {
        strError = PosixError(FormatText(L"mmap %s", strPath), errno);
        return nullptr;
    }
    return std::make_unique<CPosixMappedFile>(pAddress, nSize);
}
