#include <windows.h>

#include <cstdint>
#include <limits>

#include "base/format.h"
#include "platform/long_path_win32.h"
#include "platform/mapped_file.h"
#include "platform/system_error_win32.h"

namespace {

class CHandle {
  public:
    explicit CHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~CHandle() {
        if (m_h) CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }

  private:
    HANDLE m_h;
};

class CWin32MappedFile : public CMappedFile {
  public:
    CWin32MappedFile(const void* pView, size_t nSize) : m_pView(pView), m_nSize(nSize) {}
    ~CWin32MappedFile() override {
        if (m_pView) UnmapViewOfFile(m_pView);
    }
    CWin32MappedFile(const CWin32MappedFile&) = delete;
    CWin32MappedFile& operator=(const CWin32MappedFile&) = delete;

    const uint8_t* GetData() const override { return static_cast<const uint8_t*>(m_pView); }
    size_t GetSize() const override { return m_nSize; }

  private:
    const void* m_pView;
    size_t m_nSize;
};

}  // namespace

std::unique_ptr<CMappedFile> MapFile(const std::wstring& strPath, std::wstring& strError) {
    // The file and the mapping object are needed only until the view exists: the view keeps
    // both alive.
    CHandle file(CreateFileW(Win32FilePath(strPath).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Get()) {
        strError = Win32Error(FormatText(L"CreateFileW %s", strPath), GetLastError());
        return nullptr;
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        strError = FormatText(L"MapViewOfFile %s: not a regular file", strPath);
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) {
        strError = Win32Error(FormatText(L"GetFileSizeEx %s", strPath), GetLastError());
        return nullptr;
    }
    if (static_cast<uint64_t>(size.QuadPart) > std::numeric_limits<size_t>::max()) {
        strError = FormatText(L"MapViewOfFile %s: file too large", strPath);
        return nullptr;
    }
    const size_t nSize = static_cast<size_t>(size.QuadPart);
    // A mapping of an empty file is refused; an empty file is an empty mapping.
    if (nSize == 0) return std::make_unique<CWin32MappedFile>(nullptr, 0);
    CHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Get()) {
        strError = Win32Error(FormatText(L"CreateFileMappingW %s", strPath), GetLastError());
        return nullptr;
    }
    const void* pView = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!pView) {
        strError = Win32Error(FormatText(L"MapViewOfFile %s", strPath), GetLastError());
        return nullptr;
    }
    return std::make_unique<CWin32MappedFile>(pView, nSize);
}
