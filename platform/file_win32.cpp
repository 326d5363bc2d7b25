#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>

#include "base/format.h"
#include "platform/file.h"
#include "platform/file_handle_win32.h"
#include "platform/long_path_win32.h"
#include "platform/system_error_win32.h"

const wchar_t kPathSeparator = L'\\';

namespace {

// FILETIME counts 100-ns steps from 1601; the stamp counts nanoseconds from 1970.
constexpr int64_t kFileTimeToUnixEpoch = 116444736000000000LL;

SFileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    SFileStamp stamp;
    stamp.nDevice = info.dwVolumeSerialNumber;
    stamp.nInode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    stamp.nSize = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    const int64_t nTicks =
        static_cast<int64_t>(static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                             info.ftLastWriteTime.dwLowDateTime);
    // Times beyond what nanoseconds in 64 bits hold (after 2262) are kept at that limit.
    const int64_t nSince1970 = nTicks - kFileTimeToUnixEpoch;
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 100;
    stamp.nModifiedNs = nSince1970 > kLimit ? kLimit * 100 : nSince1970 * 100;
    return stamp;
}

// ReadFile takes a 32-bit count: larger requests are cut into pieces.
constexpr size_t kMaxPiece = 1u << 30;

class CWin32SequentialFile : public CSequentialFile {
  public:
    CWin32SequentialFile(HANDLE h, uint64_t nSize, const SFileStamp& stamp)
        : m_file(h), m_nSize(nSize), m_stamp(stamp) {}

    bool Read(char* pBuffer, size_t nCapacity, size_t& nRead, std::wstring& strError) override {
        DWORD nDone = 0;
        const DWORD nWant = static_cast<DWORD>(nCapacity < kMaxPiece ? nCapacity : kMaxPiece);
        if (!ReadFile(m_file.Get(), pBuffer, nWant, &nDone, nullptr)) {
            nRead = 0;
            strError = Win32Error(L"ReadFile", GetLastError());
            return false;
        }
        nRead = nDone;
        return true;
    }
    uint64_t GetSize() const override { return m_nSize; }
    SFileStamp GetStamp() const override { return m_stamp; }

  private:
    CFileHandle m_file;
    uint64_t m_nSize;
    SFileStamp m_stamp;
};

class CWin32RandomAccessFile final : public CRandomAccessFile {
  public:
    CWin32RandomAccessFile(HANDLE h, uint64_t nSize) : m_file(h), m_nSize(nSize) {}

    bool ReadAt(uint64_t nOffset, size_t nSize, char* pBuffer, size_t& nRead,
                std::wstring& strError) const override {
        nRead = 0;
        while (nRead < nSize) {
            const uint64_t nAt = nOffset + nRead;
            if (nAt < nOffset || nAt > static_cast<uint64_t>(INT64_MAX)) return true;
            // The offset travels in the OVERLAPPED block; on a handle opened for synchronous
            // use ReadFile still waits for the data.
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(nAt);
            at.OffsetHigh = static_cast<DWORD>(nAt >> 32);
            const size_t nLeft = nSize - nRead;
            const DWORD nWant = static_cast<DWORD>(nLeft < kMaxPiece ? nLeft : kMaxPiece);
            DWORD nDone = 0;
            if (!ReadFile(m_file.Get(), pBuffer + nRead, nWant, &nDone, &at)) {
                const DWORD dwError = GetLastError();
                if (dwError == ERROR_HANDLE_EOF) return true;
                strError = Win32Error(L"ReadFile", dwError);
                return false;
            }
            if (nDone == 0) return true;
            nRead += nDone;
        }
        return true;
    }
    uint64_t GetSize() const override { return m_nSize; }
    void Close() override {
        m_file.Close();
        m_nSize = 0;
    }

  private:
    CFileHandle m_file;
    uint64_t m_nSize;
};

class CWin32ReplacingFile : public CReplacingFile {
  public:
    CWin32ReplacingFile(HANDLE h, std::wstring strTarget, std::wstring strTemp)
        : m_file(h), m_strTarget(std::move(strTarget)), m_strTemp(std::move(strTemp)) {}
    ~CWin32ReplacingFile() override {
        if (!m_bCommitted) {
            m_file.Close();
            DeleteFileW(m_strTemp.c_str());
        }
    }

    bool Append(const char* pData, size_t nSize, std::wstring& strError) override {
        while (nSize > 0) {
            const DWORD nWant = static_cast<DWORD>(nSize < kMaxPiece ? nSize : kMaxPiece);
            DWORD nDone = 0;
            if (!WriteFile(m_file.Get(), pData, nWant, &nDone, nullptr)) {
                strError = Win32Error(L"WriteFile", GetLastError());
                return false;
            }
            pData += nDone;
            nSize -= nDone;
        }
        return true;
    }

    bool Commit(std::wstring& strError) override {
        if (!FlushFileBuffers(m_file.Get())) {
            strError = Win32Error(L"FlushFileBuffers", GetLastError());
            return false;
        }
        if (!m_file.Close()) {
            strError = Win32Error(L"CloseHandle", GetLastError());
            return false;
        }
        // Write-through: the call returns only once the rename is on the disk.
        if (!MoveFileExW(m_strTemp.c_str(), m_strTarget.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            strError = Win32Error(L"MoveFileExW", GetLastError());
            return false;
        }
        m_bCommitted = true;
        return true;
    }

  private:
    CFileHandle m_file;
    std::wstring m_strTarget;
    std::wstring m_strTemp;
    bool m_bCommitted = false;
};

class CWin32FileLock : public CFileLock {
  public:
    explicit CWin32FileLock(HANDLE h) : m_file(h) {}
    ~CWin32FileLock() override {
        // Closing the handle would release the lock too, but only when the system gets to it.
        OVERLAPPED at{};
        UnlockFileEx(m_file.Get(), 0, 1, 0, &at);
    }

  private:
    CFileHandle m_file;
};

// Opens an existing file for reading; others may go on reading, writing or renaming it.
HANDLE OpenForReading(const std::wstring& strPath) {
    return CreateFileW(Win32FilePath(strPath).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A disk file (not a pipe, console or device) that is no folder.
bool IsRegularFile(HANDLE h) {
    if (GetFileType(h) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileSize(HANDLE h, uint64_t& nSize) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0) return false;
    nSize = static_cast<uint64_t>(size.QuadPart);
    return true;
}

}  // namespace

std::unique_ptr<CSequentialFile> OpenSequentialFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    CFileHandle file(OpenForReading(strPath));
    if (!file.IsValid()) {
        strError = Win32Error(L"open", GetLastError());
        return nullptr;
    }
    if (!IsRegularFile(file.Get())) {
        strError = Win32Error(L"open", ERROR_ACCESS_DENIED);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info)) {
        strError = Win32Error(L"GetFileInformationByHandle", GetLastError());
        return nullptr;
    }
    const SFileStamp stamp = StampOf(info);
    return std::make_unique<CWin32SequentialFile>(file.Release(), stamp.nSize, stamp);
}

std::unique_ptr<CRandomAccessFile> OpenRandomAccessFile(const std::wstring& strPath,
                                                        EOpenFailure& eFailure,
                                                        std::wstring& strError, char* pFirst,
                                                        size_t nFirst, size_t* pnFirstRead) {
    CFileHandle file(OpenForReading(strPath));
    if (!file.IsValid()) {
        const DWORD dwError = GetLastError();
        // A folder cannot be opened without backup semantics: it fails as access denied.
        const DWORD dwAttributes = GetFileAttributesW(Win32FilePath(strPath).c_str());
        if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
            (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            eFailure = EOpenFailure::kNotRegular;
            strError = L"open: not a regular file";
            return nullptr;
        }
        eFailure = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND
                       ? EOpenFailure::kNotFound
                       : EOpenFailure::kOther;
        strError = Win32Error(L"open", dwError);
        return nullptr;
    }
    if (!IsRegularFile(file.Get())) {
        eFailure = EOpenFailure::kNotRegular;
        strError = L"open: not a regular file";
        return nullptr;
    }
    uint64_t nSize = 0;
    if (!FileSize(file.Get(), nSize)) {
        eFailure = EOpenFailure::kOther;
        strError = Win32Error(L"GetFileSizeEx", GetLastError());
        return nullptr;
    }
    auto pFile = std::make_unique<CWin32RandomAccessFile>(file.Release(), nSize);
    if (pFirst) {
        size_t nRead = 0;
        if (!pFile->ReadAt(0, nFirst, pFirst, nRead, strError)) {
            eFailure = EOpenFailure::kOther;
            return nullptr;
        }
        if (pnFirstRead) *pnFirstRead = nRead;
    }
    eFailure = EOpenFailure::kNone;
    return pFile;
}

bool ReopenRandomAccessFile(std::unique_ptr<CRandomAccessFile>& pFile, const std::wstring& strPath,
                            EOpenFailure& eFailure, std::wstring& strError, char* pFirst,
                            size_t nFirst, size_t* pnFirstRead) {
    // Opening a file takes far longer here than allocating the object around its handle.
    if (pFile) pFile->Close();
    pFile = OpenRandomAccessFile(strPath, eFailure, strError, pFirst, nFirst, pnFirstRead);
    return pFile != nullptr;
}

std::unique_ptr<CReplacingFile> CreateReplacingFile(const std::wstring& strPath,
                                                    std::wstring& strError) {
    if (strPath.empty()) {
        strError = Win32Error(L"open", ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    std::wstring strTarget = Win32FilePath(strPath);
    // Two writers of one target each get a file of their own, and CREATE_NEW never opens
    // whatever already stands at a name; a name that is taken is only a reason to draw again.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    static thread_local std::mt19937_64 random(std::random_device{}() ^
                                               static_cast<uint64_t>(GetCurrentProcessId()) << 32 ^
                                               static_cast<uint64_t>(counter.QuadPart));
    constexpr int kMaxTries = 16;
    for (int nTry = 0; nTry < kMaxTries; ++nTry) {
        wchar_t szPart[24];
        std::swprintf(szPart, sizeof szPart / sizeof szPart[0], L".%016llx",
                      static_cast<unsigned long long>(random()));
        std::wstring strTemp = Win32FilePath(strPath + szPart + L".tmp");
        HANDLE h = CreateFileW(strTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return std::make_unique<CWin32ReplacingFile>(h, std::move(strTarget),
                                                         std::move(strTemp));
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS) {
            strError = Win32Error(L"open", dwError);
            return nullptr;
        }
    }
    strError = Win32Error(L"open", ERROR_FILE_EXISTS);
    return nullptr;
}

bool GetFileStamp(const std::wstring& strPath, SFileStamp& stamp, std::wstring& strError) {
    CFileHandle file(CreateFileW(Win32FilePath(strPath).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &info)) {
        strError = Win32Error(L"stat", GetLastError());
        return false;
    }
    stamp = StampOf(info);
    return true;
}

std::unique_ptr<CFileLock> LockFile(const std::wstring& strPath, int nWaitMs,
                                    std::wstring& strError) {
    // An empty path would put the lock file in whatever folder is current.
    if (strPath.empty()) {
        strError = Win32Error(L"open", ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    CFileHandle file(CreateFileW(Win32FilePath(strPath + L".lock").c_str(),
                                 GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        strError = Win32Error(L"open", GetLastError());
        return nullptr;
    }
    // A holder keeps the lock only for one save; polling keeps a stuck holder from stopping
    // this process for longer than the caller allows.
    constexpr int kPollMs = 5;
    for (int nWaited = 0;; nWaited += kPollMs) {
        OVERLAPPED at{};
        if (LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &at))
            break;
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_LOCK_VIOLATION || nWaited >= nWaitMs) {
            strError = Win32Error(L"LockFileEx", dwError);
            return nullptr;
        }
        Sleep(kPollMs);
    }
    return std::make_unique<CWin32FileLock>(file.Release());
}

bool RemoveFile(const std::wstring& strPath, std::wstring& strError) {
    if (!DeleteFileW(Win32FilePath(strPath).c_str())) {
        strError = Win32Error(L"DeleteFileW", GetLastError());
        return false;
    }
    return true;
}
