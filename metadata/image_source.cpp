#include "metadata/image_source.h"

#include <cstring>

namespace {

class CMemoryImageSource final : public IImageSource {
  public:
    CMemoryImageSource(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

    uint64_t Size() const override { return m_nSize; }
    uint64_t BytesRead() const override { return m_nBytesRead; }

    bool ReadAt(uint64_t nOffset, void* pBuffer, size_t nSize) override {
        if (nOffset > m_nSize || nSize > m_nSize - nOffset) return false;
        if (nSize) std::memcpy(pBuffer, m_pData + nOffset, nSize);
        m_nBytesRead += nSize;
        return true;
    }

  private:
    const uint8_t* m_pData;
    size_t m_nSize;
    uint64_t m_nBytesRead = 0;
};

}  // namespace

bool IImageSource::ReadFirst(void* pBuffer, size_t nMax, size_t& nRead) {
    const uint64_t nSize = Size();
    nRead = nSize < nMax ? static_cast<size_t>(nSize) : nMax;
    return nRead == 0 || ReadAt(0, pBuffer, nRead);
}

std::unique_ptr<IImageSource> CreateMemorySource(const uint8_t* pData, size_t nSize) {
    return std::make_unique<CMemoryImageSource>(pData, nSize);
}
