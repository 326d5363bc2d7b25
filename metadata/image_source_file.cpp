#include <memory>

#include "metadata/image_source.h"
#include "metadata/metadata_reader.h"
#include "platform/file.h"

namespace {

class CFileImageSource final : public IImageSource {
  public:
    explicit CFileImageSource(std::unique_ptr<CRandomAccessFile> pFile)
        : m_pFile(std::move(pFile)), m_nSize(m_pFile->GetSize()) {}

    uint64_t Size() const override { return m_nSize; }
    uint64_t BytesRead() const override { return m_nBytesRead; }

    bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) override {
        if (nOffset > m_nSize || nSize > m_nSize - nOffset) return false;
        size_t nRead = 0;
        std::wstring strError;
        const bool bOk =
            m_pFile->ReadAt(nOffset, nSize, static_cast<char*>(pBuffer), nRead, strError);
        m_nBytesRead += nRead;
        // A file that shrank since it was opened ends the read like a short file.
        return bOk && nRead == nSize;
    }

  private:
    std::unique_ptr<CRandomAccessFile> m_pFile;
    uint64_t m_nSize;
    uint64_t m_nBytesRead = 0;
};

class CFileImageFileSystem final : public IImageFileSystem {
  public:
    int32_t Open(const std::wstring& strPath, std::unique_ptr<IImageSource>& pSource,
                 std::wstring& strDetail) override {
        EOpenFailure eFailure = EOpenFailure::kNone;
        std::unique_ptr<CRandomAccessFile> pFile =
            OpenRandomAccessFile(strPath, eFailure, strDetail);
        if (!pFile)
            return eFailure == EOpenFailure::kNotFound ? kMetaErrFileNotFound : kMetaErrOpenFailed;
        pSource = std::make_unique<CFileImageSource>(std::move(pFile));
        return kMetaOk;
    }
};

}  // namespace

std::unique_ptr<IImageFileSystem> CreateImageFileSystem() {
    return std::make_unique<CFileImageFileSystem>();
}
