// Open-and-read-all-items over any bytes: the input is served as the photo file, named once
// .jpg and once .tif (the name picks the query root), and every item is read: the GPS items as
// message 19 reads them, the item-specific EXIF formats, and every block walked whole.
#include <cstddef>
#include <cstdint>

#include "metadata/wic_utility.h"

namespace {

class CFuzzFileSystem final : public IImageFileSystem {
  public:
    CFuzzFileSystem(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}
    int32_t Open(const std::wstring&, std::unique_ptr<IImageSource>& pSource,
                 std::wstring&) override {
        pSource = CreateMemorySource(m_pData, m_nSize);
        return kMetaOk;
    }

  private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CWicUtility wic;
    wic.Init(std::make_unique<CFuzzFileSystem>(pData, nSize));
    for (const wchar_t* pszName : {L"photo.jpg", L"photo.tif"}) {
        if (!wic.OpenFile(pszName)) continue;
        std::wstring text;
        for (int nItem = 0; nItem <= 6; ++nItem) wic.ReadItem(nItem, 1, text);
        for (int nItem : {33434, 33437, 37377, 37378, 37380, 37381, 42034})
            wic.ReadItem(nItem, 0, text);
        wic.ReadItem(271, 2, text);
        const std::wstring strRoot = wic.m_bTiff ? L"/ifd" : L"/app1";
        wic.ReadItemEx(strRoot, text, 0);
        wic.ReadItemEx(strRoot + (wic.m_bTiff ? L"/exif/interop" : L"/ifd/exif/interop"), text, 0);
        wic.Close();
    }
    return 0;
}
