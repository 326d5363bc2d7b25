// A whole file mapped read-only into memory, for data that is read often and in small pieces
// (the place data). Pages are read from the disk only when they are first touched.
//
// The object owns the mapping: the bytes stay valid until it is destroyed. Reading the bytes
// from several threads at once is safe; the object itself is not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CMappedFile {
  public:
    virtual ~CMappedFile() = default;
    // First byte of the file; null for an empty file.
    virtual const uint8_t* GetData() const = 0;
    // Size of the file when it was mapped, in bytes.
    virtual size_t GetSize() const = 0;
};

// Maps an existing file. Null with the reason in strError (naming the operation and the path)
// when the file cannot be opened, measured or mapped.
std::unique_ptr<CMappedFile> MapFile(const std::wstring& strPath, std::wstring& strError);
