#include <atomic>
#include <memory>

#include "metadata/image_source.h"
#include "metadata/metadata_reader.h"
#include "platform/file.h"

namespace {

// One first-block buffer kept between photos: a show opens one file after another, and a
// block of this size is among the costlier ones to allocate. Shared by the file system and
// its sources, so that a source may outlive the file system.
class CFirstBlockSpare {
  public:
    CFirstBlockSpare() = default;
    CFirstBlockSpare(const CFirstBlockSpare&) = delete;
    CFirstBlockSpare& operator=(const CFirstBlockSpare&) = delete;
    ~CFirstBlockSpare() { delete[] m_pSpare.exchange(nullptr); }

    std::unique_ptr<uint8_t[]> Take() {
        if (uint8_t* p = m_pSpare.exchange(nullptr)) return std::unique_ptr<uint8_t[]>(p);
        return std::unique_ptr<uint8_t[]>(new uint8_t[kFirstBlockBytes]);
    }
    void Give(std::unique_ptr<uint8_t[]> block) { delete[] m_pSpare.exchange(block.release()); }

  private:
    std::atomic<uint8_t*> m_pSpare{nullptr};
};

class CFileImageSource final : public IImageSource {
  public:
    // first: the file's first nFirst bytes, read when it was opened; it goes back to spare
    // when the source ends.
    CFileImageSource(std::unique_ptr<CRandomAccessFile> pFile, std::unique_ptr<uint8_t[]> first,
                     size_t nFirst, std::shared_ptr<CFirstBlockSpare> pSpare)
        : m_pFile(std::move(pFile)),
          m_first(std::move(first)),
          m_nFirst(nFirst),
          m_nBytesRead(nFirst),
          m_pSpare(std::move(pSpare)) {}
    ~CFileImageSource() override { m_pSpare->Give(std::move(m_first)); }
    CFileImageSource(const CFileImageSource&) = delete;
    CFileImageSource& operator=(const CFileImageSource&) = delete;

    // A photo whose metadata lies in its first block never asks.
    uint64_t Size() const override { return m_pFile->GetSize(); }
    uint64_t BytesRead() const override { return m_nBytesRead; }

    const uint8_t* HeldFirst(size_t nMax, size_t& nValid) override {
        // Fewer bytes than a block were read only where the file ends.
        if (nMax > m_nFirst && m_nFirst == kFirstBlockBytes) return nullptr;
        nValid = nMax < m_nFirst ? nMax : m_nFirst;
        return m_first.get();
    }

    bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) override {
        const uint64_t nTotal = Size();
        if (nOffset > nTotal || nSize > nTotal - nOffset) return false;
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
    std::unique_ptr<uint8_t[]> m_first;
    size_t m_nFirst;
    uint64_t m_nBytesRead;
    std::shared_ptr<CFirstBlockSpare> m_pSpare;
};

class CFileImageFileSystem final : public IImageFileSystem {
  public:
    int32_t Open(const std::wstring& strPath, std::unique_ptr<IImageSource>& pSource,
                 std::wstring& strDetail) override {
        EOpenFailure eFailure = EOpenFailure::kNone;
        // The first block comes with the opening: for most photos it is all the walk reads.
        std::unique_ptr<uint8_t[]> first = m_pSpare->Take();
        size_t nFirst = 0;
        std::unique_ptr<CRandomAccessFile> pFile =
            OpenRandomAccessFile(strPath, eFailure, strDetail, reinterpret_cast<char*>(first.get()),
                                 kFirstBlockBytes, &nFirst);
        if (!pFile) {
            m_pSpare->Give(std::move(first));
            return eFailure == EOpenFailure::kNotFound ? kMetaErrFileNotFound : kMetaErrOpenFailed;
        }
        pSource = std::make_unique<CFileImageSource>(std::move(pFile), std::move(first), nFirst,
                                                     m_pSpare);
        return kMetaOk;
    }

  private:
    std::shared_ptr<CFirstBlockSpare> m_pSpare = std::make_shared<CFirstBlockSpare>();
};

}  // namespace

std::unique_ptr<IImageFileSystem> CreateImageFileSystem() {
    return std::make_unique<CFileImageFileSystem>();
}
