// Our own bounded reader of the metadata of JPEG and TIFF files: the decoder decides by content
// whether a file can be read, the frame locates the TIFF structure (a JPEG's first APP1 "Exif"
// segment, or the TIFF file itself), and query readers look items up by path (or, from the
// frame's root, by block and number with GetItem):
//
//   JPEG: "/app1/ifd/{ushort=271}", "/app1/ifd/exif/{ushort=33437}", "/app1/ifd/gps/{ushort=2}"
//   TIFF: "/ifd/{ushort=271}",      "/ifd/exif/{ushort=33437}",      "/ifd/gps/{ushort=2}"
//
// plus "exif/interop/" below the EXIF block. A path that names a block, or an item that points
// to one (34665 EXIF, 34853 GPS, 40965 interoperability), gives a nested reader (kVtUnknown).
//
// Every offset, count and size taken from the file is checked against the bytes that hold it;
// a structure that points outside its block, loops or nests too deep ends that read with an
// error code, never with a read past a buffer. The file's first block (kFirstBlockBytes) is read
// in one go when it is opened; anything beyond it is read in pages of a few KiB, only where the
// answer lies; pixel data is never read. PNG, GIF, BMP, WebP and HEIF files open as images
// without metadata: every item is absent. Objects are not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/image_source.h"
#include "metadata/prop_value.h"

// The reader's result codes: 0 success, anything else a failure that MetadataErrorText names.
constexpr int32_t kMetaOk = 0;
constexpr int32_t kMetaErrNotFound = 0x1001;  // the item or block is not in this file
constexpr int32_t kMetaErrFileNotFound = 0x1002;
constexpr int32_t kMetaErrOpenFailed = 0x1003;
constexpr int32_t kMetaErrUnknownFormat = 0x1004;  // neither JPEG nor classic TIFF
constexpr int32_t kMetaErrCorrupt = 0x1005;        // an offset, count or size outside the file
constexpr int32_t kMetaErrLoop = 0x1006;           // a block that contains itself
constexpr int32_t kMetaErrTooDeep = 0x1007;
constexpr int32_t kMetaErrTooLarge = 0x1008;  // a value or an IFD beyond the reader's caps
constexpr int32_t kMetaErrReadFailed = 0x1009;
constexpr int32_t kMetaErrBadPath = 0x100A;  // a query path this reader cannot parse
constexpr int32_t kMetaErrNoFrame = 0x100B;

// "Error %08xh: %s" with the code and what it means.
std::wstring MetadataErrorText(int32_t nCode);

// Largest value the reader decodes, entries an IFD may have, and blocks nested in one another.
constexpr uint32_t kMaxValueBytes = 256 * 1024;
constexpr uint32_t kMaxIfdEntries = 1000;
constexpr int kMaxNesting = 6;
// Segments (not fill bytes: their run is bounded by the file size) walked before the EXIF one.
constexpr int kMaxJpegSegments = 1024;
// Read at once when a file is opened: most JPEGs' EXIF segments start in it, and for many the
// IFDs up to the GPS position lie in it too. From the page cache the copy is most of a read's
// cost, so further bytes come in pages of the same size, only where the answer lies.
constexpr size_t kFirstBlockBytes = 4 * 1024;

// kOther: an image format whose metadata this reader does not read (PNG, GIF, BMP, WebP, HEIF).
enum class EContainer { kJpeg, kTiff, kOther };

// What GetContainerFormat reports for a block.
enum class EBlockFormat {
    kFrameJpeg,
    kFrameTiff,
    kApp1,
    kIfd,
    kExif,
    kGps,
    kInterop,
    kXmpAlt,
    kFrameOther
};

class CPagedSource;
struct STiffLayout;

class CImageDecoder;
class CImageFrame;

// The items of one block, addressed by query paths relative to it.
class CMetadataQueryReader {
  public:
    CMetadataQueryReader(std::shared_ptr<const STiffLayout> pLayout, EBlockFormat eFormat,
                         uint32_t nIfdOffset, int nDepth, std::vector<uint32_t> ancestors);
    // The value at the path; kMetaErrNotFound when the item or any block on the way is absent.
    int32_t GetMetadataByName(std::wstring_view strPath, CPropVariant& value) const;
    // The names of the block's items in file order; each one is a path GetMetadataByName takes.
    int32_t GetEnumerator(std::vector<std::wstring>& names) const;
    int32_t GetContainerFormat(EBlockFormat& eFormat) const;
    // Item nTag of the root IFD (eBlock kIfd), of its EXIF block (kExif) or of its GPS block
    // (kGps), found by number: the same result as GetMetadataByName with the path
    // "<root>/ifd[/exif|/gps]/{ushort=nTag}", where the root is "/ifd" when bTiffRoot is set and
    // "/app1" otherwise. Only the frame's own reader answers; any other block gives
    // kMetaErrNotFound. The blocks' offsets are resolved once per file.
    int32_t GetItem(bool bTiffRoot, EBlockFormat eBlock, uint16_t nTag, CPropVariant& value) const;

  private:
    friend int32_t OpenImage(std::unique_ptr<IImageSource> pSource,
                             std::shared_ptr<CImageDecoder>& pDecoder,
                             std::shared_ptr<CImageFrame>& pFrame,
                             std::shared_ptr<CMetadataQueryReader>& pReader, bool& bFrameStage);

    std::shared_ptr<const STiffLayout> m_pLayout;
    EBlockFormat m_eFormat;
    uint32_t m_nIfdOffset;
    int m_nDepth;
    std::vector<uint32_t> m_ancestors;  // IFD offsets from the root down to this block
};

// The file's first image. Holds the located TIFF structure.
class CImageFrame {
  public:
    explicit CImageFrame(std::shared_ptr<const STiffLayout> pLayout);
    // The reader of the frame's root: "/app1" (JPEG) or "/ifd" (TIFF) below it.
    int32_t GetMetadataQueryReader(std::shared_ptr<CMetadataQueryReader>& pReader) const;

  private:
    friend int32_t OpenImage(std::unique_ptr<IImageSource> pSource,
                             std::shared_ptr<CImageDecoder>& pDecoder,
                             std::shared_ptr<CImageFrame>& pFrame,
                             std::shared_ptr<CMetadataQueryReader>& pReader, bool& bFrameStage);

    std::shared_ptr<const STiffLayout> m_pLayout;
};

// An open image file whose content was recognised as JPEG, TIFF or another image format.
class CImageDecoder {
  public:
    // Takes the source; fails with kMetaErrUnknownFormat for content that is no image this
    // reader recognises (BigTIFF, text, empty files), kMetaErrReadFailed when the first bytes
    // cannot be read.
    static int32_t Create(std::unique_ptr<IImageSource> pSource,
                          std::shared_ptr<CImageDecoder>& pDecoder);
    // Frame 0 only. A JPEG's segments are walked here up to its first APP1 "Exif" segment (or its
    // image data); a segment that runs past the end of the file fails with kMetaErrCorrupt.
    int32_t GetFrame(uint32_t nIndex, std::shared_ptr<CImageFrame>& pFrame);
    EContainer Container() const { return m_eContainer; }
    uint64_t BytesRead() const;
    // Closes the source and hands it back (for IImageFileSystem::Open to open it again); every
    // read through this decoder, its frames and their readers fails from then on. Null when
    // it was let go of before.
    std::unique_ptr<IImageSource> ReleaseSource();

    CImageDecoder(std::shared_ptr<CPagedSource> pSource, EContainer eContainer);

  private:
    friend int32_t OpenImage(std::unique_ptr<IImageSource> pSource,
                             std::shared_ptr<CImageDecoder>& pDecoder,
                             std::shared_ptr<CImageFrame>& pFrame,
                             std::shared_ptr<CMetadataQueryReader>& pReader, bool& bFrameStage);

    std::shared_ptr<CPagedSource> m_pSource;
    EContainer m_eContainer;
};

// CImageDecoder::Create, GetFrame(0) and GetMetadataQueryReader in one step, for a reader of one
// photo after another: when the caller alone holds pDecoder, pFrame and pReader from the last
// image (no other copy, no nested reader made from them alive), they are filled again instead of
// allocated anew. Returns Create's code (bFrameStage false) or GetFrame's (bFrameStage true);
// on any failure the source is let go of (a file is closed) and the three objects are not to
// be read, only handed in again.
int32_t OpenImage(std::unique_ptr<IImageSource> pSource, std::shared_ptr<CImageDecoder>& pDecoder,
                  std::shared_ptr<CImageFrame>& pFrame,
                  std::shared_ptr<CMetadataQueryReader>& pReader, bool& bFrameStage);
