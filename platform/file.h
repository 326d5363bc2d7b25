// Files as the logic needs them: read one from start to end, read a few ranges of one at any
// offset, and replace one as a whole so that a crash or a write error never leaves a
// half-written file in its place.
//
// Paths are wide text; errors come back as text that names the operation and the reason.
// None of these objects is shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What tells one version of a file from another: a file replaced by a rename, or rewritten in
// place, has a different stamp. All zero for a file whose stamp is unknown.
struct SFileStamp {
    uint64_t nDevice = 0;
    uint64_t nInode = 0;
    uint64_t nSize = 0;
    int64_t nModifiedNs = 0;  // modification time, nanoseconds since the epoch

    bool operator==(const SFileStamp&) const = default;
};

class CSequentialFile {
  public:
    virtual ~CSequentialFile() = default;
    // Reads up to nCapacity bytes into pBuffer. nRead becomes 0 at the end of the file.
    // False on a read error, with the reason in strError.
    virtual bool Read(char* pBuffer, size_t nCapacity, size_t& nRead, std::wstring& strError) = 0;
    // Size of the file when it was opened, in bytes.
    virtual uint64_t GetSize() const = 0;
    // Stamp of the file that was opened, taken when it was opened.
    virtual SFileStamp GetStamp() const { return {}; }
};

// Opens an existing file for reading; null with the reason in strError when it cannot.
std::unique_ptr<CSequentialFile> OpenSequentialFile(const std::wstring& strPath,
                                                    std::wstring& strError);

// A file read at offsets, for parsers that need a few ranges of a large file. The file stays
// open until the object is destroyed.
class CRandomAccessFile {
  public:
    virtual ~CRandomAccessFile() = default;
    // Copies up to nSize bytes from nOffset into pBuffer; nRead is below nSize only where the
    // file ends (0 at or past its end). False on a read error, with the reason in strError.
    virtual bool ReadAt(uint64_t nOffset, size_t nSize, char* pBuffer, size_t& nRead,
                        std::wstring& strError) const = 0;
    // Size of the file in bytes, as it was when opened or, for a file opened with its first
    // block, when first asked for.
    virtual uint64_t GetSize() const = 0;
    // Closes the file now; reads fail and the size is 0 from then on.
    virtual void Close() = 0;
};

// Why OpenRandomAccessFile gave no file.
enum class EOpenFailure { kNone, kNotFound, kNotRegular, kOther };

// Opens an existing regular file for reading at offsets. Never waits: a FIFO, a device or a
// folder is refused at once (kNotRegular). Null with the reason in strError and its kind in
// eFailure when it cannot be opened.
//
// With pFirst, also reads the file's first nFirst bytes into it (nFirstRead gets how many;
// fewer only where the file ends), which spares a reader that needs no more than them the
// look at the file's size: a file that fills the block is then taken without one (its size is
// looked up at the first GetSize), and a device that fills it is no longer told from a file.
std::unique_ptr<CRandomAccessFile> OpenRandomAccessFile(const std::wstring& strPath,
                                                        EOpenFailure& eFailure,
                                                        std::wstring& strError,
                                                        char* pFirst = nullptr, size_t nFirst = 0,
                                                        size_t* pnFirstRead = nullptr);

// OpenRandomAccessFile for a reader that opens one file after another: the object pFile holds
// (null, or made by these two functions) is closed and, where the platform can, opened again
// on strPath instead of a new one being allocated. True with pFile open on strPath; false with
// the reason as OpenRandomAccessFile gives it, and pFile closed or null.
bool ReopenRandomAccessFile(std::unique_ptr<CRandomAccessFile>& pFile, const std::wstring& strPath,
                            EOpenFailure& eFailure, std::wstring& strError, char* pFirst,
                            size_t nFirst, size_t* pnFirstRead);

// Writes a new file in the folder of its target and puts it in place of the target only when
// Commit succeeds. Destroying the writer before a successful Commit deletes the new file and
// leaves the target exactly as it was.
class CReplacingFile {
  public:
    virtual ~CReplacingFile() = default;
    // Writes all nSize bytes; false with the reason in strError when any could not be written.
    virtual bool Append(const char* pData, size_t nSize, std::wstring& strError) = 0;
    // Flushes the new file to the disk, then renames it over the target. False with the reason
    // in strError when any step fails; the target is then unchanged.
    virtual bool Commit(std::wstring& strError) = 0;
};

// Creates the temporary file beside strPath: a new file under a name no other writer uses
// (strPath, a point, a random part and ".tmp"), readable and writable by the owner only, never
// through a link that stands at that name. Null with the reason in strError when it cannot be
// created.
std::unique_ptr<CReplacingFile> CreateReplacingFile(const std::wstring& strPath,
                                                    std::wstring& strError);

// The stamp of the file at strPath, following links. False with the reason in strError when
// there is none (also when the file does not exist).
bool GetFileStamp(const std::wstring& strPath, SFileStamp& stamp, std::wstring& strError);

// An advisory lock that writers of one file take to take turns. Released when destroyed. Other
// processes are held off only when they take the same lock; readers never need it.
class CFileLock {
  public:
    CFileLock() = default;
    virtual ~CFileLock() = default;
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;
};

// Takes the lock of the file at strPath (held on strPath with ".lock" appended, a file created
// when missing and left in place), waiting up to nWaitMs for another holder. Null with the
// reason in strError when the lock could not be had in that time.
std::unique_ptr<CFileLock> LockFile(const std::wstring& strPath, int nWaitMs,
                                    std::wstring& strError);

// Deletes a file; false with the reason in strError (also when it did not exist).
bool RemoveFile(const std::wstring& strPath, std::wstring& strError);

// The character that joins a folder and a name in a path of this platform.
extern const wchar_t kPathSeparator;
