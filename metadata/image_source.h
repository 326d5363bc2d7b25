// Where the metadata reader gets its bytes: a small interface so that the walk never sees the
// platform's file API. image_source_file.cpp serves files through platform/file.h; memory
// sources serve fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Random access to the bytes of one image. Not thread-safe; one reader uses it at a time.
class IImageSource {
  public:
    virtual ~IImageSource() = default;
    // Size in bytes, fixed when the source was opened (a file's may be looked up at the first
    // call).
    virtual uint64_t Size() const = 0;
    // Copies exactly nSize bytes from nOffset into pBuffer. False (nothing promised about the
    // buffer) when the range is not inside the source or the read fails.
    virtual bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) = 0;
    // Copies the source's first bytes, as many as it has up to nMax, into pBuffer; nRead gets
    // how many. False when they cannot be read. Needs no Size() for a source that has them.
    virtual bool ReadFirst(void* pBuffer, size_t nMax, size_t& nRead);
    // The first bytes as ReadFirst gives them, where the source holds them already (valid as
    // long as the source lives); null when it does not, or holds fewer than nMax of a longer
    // source.
    virtual const uint8_t* HeldFirst(size_t nMax, size_t& nValid) {
        (void)nMax;
        nValid = 0;
        return nullptr;
    }
    // Bytes copied out by ReadAt so far (for the benchmark's "read at most" figure).
    virtual uint64_t BytesRead() const = 0;
    // Lets go of where the bytes come from (a file is closed); reads may fail from then on.
    virtual void Close() {}
};

// Opens image files by path; the reader's "imaging factory".
class IImageFileSystem {
  public:
    virtual ~IImageFileSystem() = default;
    // On success sets pSource and returns 0; otherwise returns one of the reader's error codes
    // (metadata_reader.h) with the platform's reason in strDetail. pSource may come in holding a
    // closed source of an earlier Open of this file system, to be opened again instead of a new
    // one being allocated; on failure it is left closed or null.
    virtual int32_t Open(const std::wstring& strPath, std::unique_ptr<IImageSource>& pSource,
                         std::wstring& strDetail) = 0;
};

// The platform's files, through platform/file.h.
std::unique_ptr<IImageFileSystem> CreateImageFileSystem();

// A source over bytes the caller keeps alive for the source's lifetime (not copied).
std::unique_ptr<IImageSource> CreateMemorySource(const uint8_t* pData, size_t nSize);
