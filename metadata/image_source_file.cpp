#include <atomic>
#include <memory>
#include <typeinfo>

#include "metadata/image_source.h"
#include "metadata/metadata_reader.h"
#include "platform/file.h"

namespace {

// One first-block buffer kept between sources: a block of this size is among the costlier ones
// to allocate. Shared by the file system and its sources, so that a source may outlive the
// file system.
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

// One photo file after another: a show opens them in turn, and the source, its file object and
// its first block serve each of them.
class CFileImageSource final : public IImageSource {
  public:
    explicit CFileImageSource(std::shared_ptr<CFirstBlockSpare> pSpare)
        : m_first(pSpare->Take()), m_pSpare(std::move(pSpare)) {}
    ~CFileImageSource() override { m_pSpare->Give(std::move(m_first)); }
    CFileImageSource(const CFileImageSource&) = delete;
    CFileImageSource& operator=(const CFileImageSource&) = delete;

    // Opens strPath with its first block read at once: for most photos it is all the walk reads.
    int32_t Open(const std::wstring& strPath, std::wstring& strDetail) {
        EOpenFailure eFailure = EOpenFailure::kNone;
        m_nFirst = 0;
        m_nBytesRead = 0;
        if (!ReopenRandomAccessFile(m_pFile, strPath, eFailure, strDetail,
                                    reinterpret_cast<char*>(m_first.get()), kFirstBlockBytes,
                                    &m_nFirst)) {
            m_nFirst = 0;
            return eFailure == EOpenFailure::kNotFound ? kMetaErrFileNotFound : kMetaErrOpenFailed;
        }
        m_nBytesRead = m_nFirst;
        return kMetaOk;
    }

    // A photo whose metadata lies in its first block never asks.
    uint64_t Size() const override { return m_pFile ? m_pFile->GetSize() : 0; }
    uint64_t BytesRead() const override { return m_nBytesRead; }
    void Close() override {
        if (m_pFile) m_pFile->Close();
        m_nFirst = 0;
    }

    const uint8_t* HeldFirst(size_t nMax, size_t& nValid) override {
        // Fewer bytes than a block were read only where the file ends.
        if (nMax > m_nFirst && m_nFirst == kFirstBlockBytes) return nullptr;
        nValid = nMax < m_nFirst ? nMax : m_nFirst;
        return m_first.get();
    }

    bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) override {
        // A source whose first opening failed has no file object yet.
        if (!m_pFile) return false;
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
    std::unique_ptr<uint8_t[]> m_first;  // the file's first m_nFirst bytes
    size_t m_nFirst = 0;
    uint64_t m_nBytesRead = 0;
    std::shared_ptr<CFirstBlockSpare> m_pSpare;
};

class CFileImageFileSystem final : public IImageFileSystem {
  public:
    int32_t Open(const std::wstring& strPath, std::unique_ptr<IImageSource>& pSource,
                 std::wstring& strDetail) override {
        // A source handed back from an earlier photo is opened again; any other is replaced.
        if (!pSource || typeid(*pSource) != typeid(CFileImageSource))
            pSource = std::make_unique<CFileImageSource>(m_pSpare);
        return static_cast<CFileImageSource&>(*pSource).Open(strPath, strDetail);
    }

  private:
    std::shared_ptr<CFirstBlockSpare> m_pSpare = std::make_shared<CFirstBlockSpare>();
};

}  // namespace

std::unique_ptr<IImageFileSystem> CreateImageFileSystem() {
    return std::make_unique<CFileImageFileSystem>();
}
