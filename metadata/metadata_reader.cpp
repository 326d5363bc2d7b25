#include "metadata/metadata_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/format.h"

// Bytes of the image: the first block, read whole on the first access, then pages of a few KiB
// kept in a handful of slots. A typical photo's EXIF and GPS blocks lie in the first block, so a
// lookup costs one read of the file.
class CPagedSource {
  public:
    explicit CPagedSource(std::unique_ptr<IImageSource> pSource) : m_pSource(std::move(pSource)) {}

    // Serves another source (null: none, every read fails), keeping the pages' room; hands
    // back the one it served.
    std::unique_ptr<IImageSource> Reset(std::unique_ptr<IImageSource> pSource) {
        std::swap(m_pSource, pSource);
        m_pFirst = nullptr;
        m_nFirstValid = 0;
        // Most photos are read from their first block alone and fill no page.
        if (m_bPagesUsed)
            for (SPage& page : m_pages) page.nIndex = UINT64_MAX;
        m_bPagesUsed = false;
        m_nNextSlot = 0;
        return pSource;
    }

    uint64_t Size() const { return m_pSource ? m_pSource->Size() : 0; }
    uint64_t BytesRead() const { return m_pSource ? m_pSource->BytesRead() : 0; }

    // The source's first bytes (up to a block) and how many there are; null when they cannot
    // be read. A source shorter than a block is exactly that long.
    const uint8_t* First(size_t& nValid) {
        if (!LoadFirst()) return nullptr;
        nValid = m_nFirstValid;
        return m_pFirst;
    }
    // True when the source holds at least nEnd bytes; the size is looked at only past the
    // first block.
    bool Reaches(uint64_t nEnd) {
        if (LoadFirst() && nEnd <= m_nFirstValid) return true;
        return nEnd <= Size();
    }

    // Copies nSize bytes at nOffset; false when they are not all inside the source.
    bool Read(uint64_t nOffset, void* pBuffer, size_t nSize) {
        // The first block lies inside the source: what it holds needs no look at the size. This
        // test is all that most reads take, so it stays where the caller is.
        if (InFirst(nOffset, nSize)) {
            if (nSize) std::memcpy(pBuffer, m_pFirst + nOffset, nSize);
            return true;
        }
        return ReadBeyondFirst(nOffset, pBuffer, nSize);
    }

    // The nSize bytes at nOffset where they lie in one buffer already read (the first block or
    // one page), valid until the next Read or View; null otherwise (Read them instead).
    const uint8_t* View(uint64_t nOffset, size_t nSize) {
        if (InFirst(nOffset, nSize)) return m_pFirst + nOffset;
        return ViewBeyondFirst(nOffset, nSize);
    }

  private:
    static constexpr size_t kPageSize = 4096;
    static constexpr size_t kSlots = 8;
    struct SPage {
        uint64_t nIndex = UINT64_MAX;
        size_t nValid = 0;
        std::unique_ptr<uint8_t[]> data;  // allocated on first use, never zero-filled
    };

    // True when the first block is loaded and holds the range.
    bool InFirst(uint64_t nOffset, size_t nSize) const {
        return m_pFirst && nOffset <= m_nFirstValid && nSize <= m_nFirstValid - nOffset;
    }

    bool ReadBeyondFirst(uint64_t nOffset, void* pBuffer, size_t nSize) {
        if (!LoadFirst()) return false;
        if (InFirst(nOffset, nSize)) {
            if (nSize) std::memcpy(pBuffer, m_pFirst + nOffset, nSize);
            return true;
        }
        const uint64_t nTotal = Size();
        if (nOffset > nTotal || nSize > nTotal - nOffset) return false;
        // A value larger than the slots would evict everything else: read it directly.
        if (nSize > kPageSize * 2) return m_pSource->ReadAt(nOffset, pBuffer, nSize);
        auto* p = static_cast<uint8_t*>(pBuffer);
        while (nSize > 0) {
            const uint64_t nPage = nOffset / kPageSize;
            const SPage* pPage = Page(nPage);
            if (!pPage) return false;
            const size_t nIn = static_cast<size_t>(nOffset - nPage * kPageSize);
            if (nIn >= pPage->nValid) return false;
            const size_t n = std::min(nSize, pPage->nValid - nIn);
            std::memcpy(p, pPage->data.get() + nIn, n);
            p += n;
            nOffset += n;
            nSize -= n;
        }
        return true;
    }

    const uint8_t* ViewBeyondFirst(uint64_t nOffset, size_t nSize) {
        if (!LoadFirst()) return nullptr;
        if (InFirst(nOffset, nSize)) return m_pFirst + nOffset;
        const uint64_t nTotal = Size();
        if (nOffset > nTotal || nSize > nTotal - nOffset) return nullptr;
        const uint64_t nPage = nOffset / kPageSize;
        const size_t nIn = static_cast<size_t>(nOffset - nPage * kPageSize);
        if (nSize > kPageSize - nIn) return nullptr;
        const SPage* pPage = Page(nPage);
        if (!pPage || nIn > pPage->nValid || nSize > pPage->nValid - nIn) return nullptr;
        return pPage->data.get() + nIn;
    }

    bool LoadFirst() {
        if (m_pFirst) return true;
        if (!m_pSource) return false;
        // A source that holds its first block already lends it; others copy it out once.
        size_t nRead = 0;
        if (const uint8_t* pHeld = m_pSource->HeldFirst(kFirstBlockBytes, nRead)) {
            m_pFirst = pHeld;
            m_nFirstValid = nRead;
            return true;
        }
        if (!m_first) m_first.reset(new uint8_t[kFirstBlockBytes]);
        if (!m_pSource->ReadFirst(m_first.get(), kFirstBlockBytes, nRead)) return false;
        m_pFirst = m_first.get();
        m_nFirstValid = nRead;
        return true;
    }

    const SPage* Page(uint64_t nPage) {
        for (const SPage& page : m_pages)
            if (page.nIndex == nPage) return &page;
        SPage& slot = m_pages[m_nNextSlot];
        m_nNextSlot = (m_nNextSlot + 1) % kSlots;
        const uint64_t nStart = nPage * kPageSize;
        const uint64_t nLeft = Size() - nStart;
        const size_t nWant = nLeft < kPageSize ? static_cast<size_t>(nLeft) : kPageSize;
        slot.nIndex = UINT64_MAX;
        m_bPagesUsed = true;
        if (!slot.data) slot.data.reset(new uint8_t[kPageSize]);
        if (!m_pSource->ReadAt(nStart, slot.data.get(), nWant)) return nullptr;
        slot.nIndex = nPage;
        slot.nValid = nWant;
        return &slot;
    }

    std::unique_ptr<IImageSource> m_pSource;
    std::unique_ptr<uint8_t[]> m_first;  // the first block when copied out of the source
    const uint8_t* m_pFirst = nullptr;   // the first block: m_first, or held by the source
    size_t m_nFirstValid = 0;
    std::array<SPage, kSlots> m_pages;
    size_t m_nNextSlot = 0;
    bool m_bPagesUsed = false;  // a slot may hold a page of the source
};

// Where the TIFF structure lies in the file and how to decode it. Immutable once located,
// except for the page cache behind it.
struct STiffLayout {
    std::shared_ptr<CPagedSource> pSource;
    EContainer eContainer = EContainer::kJpeg;
    bool bPresent = false;  // a JPEG without an "Exif" APP1 segment has none
    int32_t nAbsentCode = kMetaErrNotFound;
    uint64_t nBase = 0;  // file offset of the TIFF header
    uint32_t nSize = 0;  // bytes from the header to the end of the block
    bool bBigEndian = false;
    uint32_t nIfd0 = 0;
    // The EXIF and GPS blocks' offsets once looked up (GetItem), with the lookup's result.
    struct SSubIfd {
        bool bResolved = false;
        int32_t nResult = kMetaOk;
        uint32_t nOffset = 0;
    };
    mutable SSubIfd exifIfd, gpsIfd;
};

namespace {

constexpr uint16_t kTypeByte = 1, kTypeAscii = 2, kTypeShort = 3, kTypeLong = 4, kTypeRational = 5,
                   kTypeSByte = 6, kTypeUndefined = 7, kTypeSShort = 8, kTypeSLong = 9,
                   kTypeSRational = 10, kTypeFloat = 11, kTypeDouble = 12, kTypeIfd = 13;
constexpr uint16_t kTagExifIfd = 34665, kTagGpsIfd = 34853, kTagInteropIfd = 40965;
constexpr uint32_t kEntrySize = 12;
constexpr size_t kSmallValueBytes = 64;
constexpr uint8_t kJpegMarkerStart = 0xFF, kJpegSoi = 0xD8, kJpegEoi = 0xD9, kJpegSos = 0xDA,
                  kJpegApp1 = 0xE1, kJpegTem = 0x01, kJpegRst0 = 0xD0, kJpegRst7 = 0xD7;
const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

uint32_t TypeSize(uint16_t nType) {
    switch (nType) {
        case kTypeByte:
        case kTypeAscii:
        case kTypeSByte:
        case kTypeUndefined:
            return 1;
        case kTypeShort:
        case kTypeSShort:
            return 2;
        case kTypeLong:
        case kTypeSLong:
        case kTypeFloat:
        case kTypeIfd:
            return 4;
        case kTypeRational:
        case kTypeSRational:
        case kTypeDouble:
            return 8;
        default:
            return 0;
    }
}

uint16_t Get16(const uint8_t* p, bool bBig) {
    return bBig ? static_cast<uint16_t>((p[0] << 8) | p[1])
                : static_cast<uint16_t>((p[1] << 8) | p[0]);
}

uint32_t Get32(const uint8_t* p, bool bBig) {
    return bBig ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

uint64_t Get64(const uint8_t* p, bool bBig) {
    const uint64_t a = Get32(p, bBig), b = Get32(p + 4, bBig);
    return bBig ? (a << 32) | b : (b << 32) | a;
}

struct SEntry {
    uint16_t nTag = 0;
    uint16_t nType = 0;
    uint32_t nCount = 0;
    uint8_t raw[4] = {};  // the value field as stored: the value itself or its offset
};

// Reads within the TIFF block only: offsets are relative to its header.
bool BlockRead(const STiffLayout& layout, uint32_t nOffset, void* pBuffer, size_t nSize) {
    if (nOffset > layout.nSize || nSize > layout.nSize - nOffset) return false;
    return layout.pSource->Read(layout.nBase + nOffset, pBuffer, nSize);
}

int32_t ReadEntries(const STiffLayout& layout, uint32_t nIfd, std::vector<SEntry>& entries) {
    uint8_t countBytes[2];
    if (!BlockRead(layout, nIfd, countBytes, 2)) return kMetaErrCorrupt;
    const uint32_t nCount = Get16(countBytes, layout.bBigEndian);
    if (nCount > kMaxIfdEntries) return kMetaErrTooLarge;
    std::vector<uint8_t> bytes(nCount * kEntrySize);
    if (!BlockRead(layout, nIfd + 2, bytes.data(), bytes.size())) return kMetaErrCorrupt;
    entries.resize(nCount);
    for (uint32_t i = 0; i < nCount; ++i) {
        const uint8_t* p = bytes.data() + i * kEntrySize;
        entries[i].nTag = Get16(p, layout.bBigEndian);
        entries[i].nType = Get16(p + 2, layout.bBigEndian);
        entries[i].nCount = Get32(p + 4, layout.bBigEndian);
        std::memcpy(entries[i].raw, p + 8, 4);
    }
    return kMetaOk;
}

int32_t FindEntry(const STiffLayout& layout, uint32_t nIfd, uint16_t nTag, SEntry& entry) {
    if (nIfd > layout.nSize || 2 > layout.nSize - nIfd) return kMetaErrCorrupt;
    uint8_t countBytes[2];
    if (const uint8_t* pCount = layout.pSource->View(layout.nBase + nIfd, 2))
        std::memcpy(countBytes, pCount, 2);
    else if (!BlockRead(layout, nIfd, countBytes, 2))
        return kMetaErrCorrupt;
    const uint32_t nCount = Get16(countBytes, layout.bBigEndian);
    if (nCount > kMaxIfdEntries) return kMetaErrTooLarge;
    // The whole table must be there, whichever entry is asked for.
    if (2 + nCount * kEntrySize > layout.nSize - nIfd) return kMetaErrCorrupt;
    // The usual case: the table lies in bytes already read, and is scanned in place, the tag
    // compared as the file stores it.
    if (const uint8_t* pTable =
            layout.pSource->View(layout.nBase + nIfd + 2, nCount * size_t{kEntrySize})) {
        const uint8_t nFirstByte = static_cast<uint8_t>(layout.bBigEndian ? nTag >> 8 : nTag);
        const uint8_t nSecondByte = static_cast<uint8_t>(layout.bBigEndian ? nTag : nTag >> 8);
        for (uint32_t i = 0; i < nCount; ++i) {
            const uint8_t* p = pTable + i * kEntrySize;
            if (p[0] != nFirstByte || p[1] != nSecondByte) continue;
            entry.nTag = nTag;
            entry.nType = Get16(p + 2, layout.bBigEndian);
            entry.nCount = Get32(p + 4, layout.bBigEndian);
            std::memcpy(entry.raw, p + 8, 4);
            return kMetaOk;
        }
        return kMetaErrNotFound;
    }
    for (uint32_t i = 0; i < nCount; ++i) {
        uint8_t p[kEntrySize];
        if (!BlockRead(layout, nIfd + 2 + i * kEntrySize, p, kEntrySize)) return kMetaErrCorrupt;
        if (Get16(p, layout.bBigEndian) != nTag) continue;
        entry.nTag = nTag;
        entry.nType = Get16(p + 2, layout.bBigEndian);
        entry.nCount = Get32(p + 4, layout.bBigEndian);
        std::memcpy(entry.raw, p + 8, 4);
        return kMetaOk;
    }
    return kMetaErrNotFound;
}

// The block a tag of this block points to, if it is one of the known sub-IFD pointers.
bool IsPointerTag(EBlockFormat eFormat, uint16_t nTag, EBlockFormat& eChild) {
    if (eFormat == EBlockFormat::kIfd && nTag == kTagExifIfd)
        eChild = EBlockFormat::kExif;
    else if (eFormat == EBlockFormat::kIfd && nTag == kTagGpsIfd)
        eChild = EBlockFormat::kGps;
    else if (eFormat == EBlockFormat::kExif && nTag == kTagInteropIfd)
        eChild = EBlockFormat::kInterop;
    else
        return false;
    return true;
}

// A sub-IFD pointer is one offset, typed LONG, IFD or (as some writers store it) SLONG; anything
// else is a broken pointer.
int32_t PointerTarget(const STiffLayout& layout, const SEntry& entry, uint32_t& nTarget) {
    if ((entry.nType != kTypeLong && entry.nType != kTypeIfd && entry.nType != kTypeSLong) ||
        entry.nCount != 1)
        return kMetaErrCorrupt;
    nTarget = Get32(entry.raw, layout.bBigEndian);
    return kMetaOk;
}

bool IsIfdFormat(EBlockFormat e) {
    return e == EBlockFormat::kIfd || e == EBlockFormat::kExif || e == EBlockFormat::kGps ||
           e == EBlockFormat::kInterop;
}

int32_t DecodeValue(const STiffLayout& layout, const SEntry& entry, CPropVariant& value) {
    const uint32_t nTypeSize = TypeSize(entry.nType);
    // A type the reader does not know has no size, so no value can be located.
    if (nTypeSize == 0) return kMetaErrCorrupt;
    if (uint64_t{entry.nCount} * nTypeSize > kMaxValueBytes) return kMetaErrTooLarge;
    const uint32_t nBytes = entry.nCount * nTypeSize;
    const uint32_t nOffset = Get32(entry.raw, layout.bBigEndian);
    // Nothing is allocated for a value the block does not hold.
    if (nBytes > 4 && (nOffset > layout.nSize || nBytes > layout.nSize - nOffset))
        return kMetaErrCorrupt;
    // The values a photo is read for (a coordinate's three rationals, a reference letter) fit
    // on the stack; only larger ones are allocated.
    uint8_t small[kSmallValueBytes];
    std::vector<uint8_t> large;
    uint8_t* const pBytes = nBytes <= sizeof small ? small : (large.resize(nBytes), large.data());
    const uint8_t* p = pBytes;
    if (nBytes == 0) {
        // Nothing to copy.
    } else if (nBytes <= 4) {
        p = entry.raw;
    } else if (nBytes <= sizeof small) {
        // A small value in bytes already read is decoded where it lies.
        p = layout.pSource->View(layout.nBase + nOffset, nBytes);
        if (!p) {
            p = pBytes;
            if (!BlockRead(layout, nOffset, pBytes, nBytes)) return kMetaErrCorrupt;
        }
    } else if (!BlockRead(layout, nOffset, pBytes, nBytes)) {
        return kMetaErrCorrupt;
    }

    const bool bBig = layout.bBigEndian;
    const uint32_t n = entry.nCount;
    // Both callers hand in a value they have just cleared.
    auto setType = [&](uint16_t vt) {
        value.m_vt = n == 1 ? vt : static_cast<uint16_t>(vt | kVtVector);
    };
    switch (entry.nType) {
        case kTypeAscii: {
            value.m_vt = kVtLpstr;
            const void* pNul = nBytes ? std::memchr(p, 0, nBytes) : nullptr;
            const size_t nLen =
                pNul ? static_cast<size_t>(static_cast<const uint8_t*>(pNul) - p) : nBytes;
            value.m_narrow.emplace_back(nLen ? reinterpret_cast<const char*>(p) : "", nLen);
            return kMetaOk;
        }
        case kTypeUndefined:
            value.m_vt = kVtBlob;
            if (large.empty())
                value.m_blob.assign(p, p + nBytes);
            else
                value.m_blob = std::move(large);
            return kMetaOk;
        case kTypeFloat:
        case kTypeDouble:
            setType(entry.nType == kTypeFloat ? kVtR4 : kVtR8);
            value.m_doubles.resize(n);
            for (uint32_t i = 0; i < n; ++i) {
                if (entry.nType == kTypeFloat) {
                    const uint32_t bits = Get32(p + 4 * i, bBig);
                    float f;
                    std::memcpy(&f, &bits, sizeof f);
                    value.m_doubles[i] = f;
                } else {
                    const uint64_t bits = Get64(p + 8 * i, bBig);
                    double d;
                    std::memcpy(&d, &bits, sizeof d);
                    value.m_doubles[i] = d;
                }
            }
            return kMetaOk;
        default:
            break;
    }
    value.m_bits.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t& out = value.m_bits[i];
        switch (entry.nType) {
            case kTypeByte:
                out = p[i];
                break;
            case kTypeSByte:
                out = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(p[i])));
                break;
            case kTypeShort:
                out = Get16(p + 2 * i, bBig);
                break;
            case kTypeSShort:
                out = static_cast<uint64_t>(
                    static_cast<int64_t>(static_cast<int16_t>(Get16(p + 2 * i, bBig))));
                break;
            case kTypeLong:
            case kTypeIfd:
                out = Get32(p + 4 * i, bBig);
                break;
            case kTypeSLong:
                out = static_cast<uint64_t>(
                    static_cast<int64_t>(static_cast<int32_t>(Get32(p + 4 * i, bBig))));
                break;
            default:  // the two rationals: numerator first in the file
                out = PackRational(Get32(p + 8 * i, bBig), Get32(p + 8 * i + 4, bBig));
                break;
        }
    }
    switch (entry.nType) {
        case kTypeByte:
            setType(kVtUi1);
            break;
        case kTypeSByte:
            setType(kVtI1);
            break;
        case kTypeShort:
            setType(kVtUi2);
            break;
        case kTypeSShort:
            setType(kVtI2);
            break;
        case kTypeLong:
        case kTypeIfd:
            setType(kVtUi4);
            break;
        case kTypeSLong:
            setType(kVtI4);
            break;
        case kTypeRational:
            setType(kVtUi8);
            break;
        default:
            setType(kVtI8);
            break;
    }
    return kMetaOk;
}

// Parses "{ushort=N}" (N decimal, 0 to 65535).
bool ParseItemName(std::wstring_view seg, uint16_t& nTag) {
    constexpr std::wstring_view kPrefix = L"{ushort=";
    if (seg.size() <= kPrefix.size() + 1 || seg.back() != L'}') return false;
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if ((seg[i] | 0x20) != (kPrefix[i] | 0x20)) return false;
    const std::wstring_view digits = seg.substr(kPrefix.size(), seg.size() - kPrefix.size() - 1);
    if (digits.size() > 5) return false;
    uint32_t n = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + static_cast<uint32_t>(c - L'0');
    }
    if (n > 0xFFFF) return false;
    nTag = static_cast<uint16_t>(n);
    return true;
}

bool SegmentIs(std::wstring_view seg, std::wstring_view name) {
    if (seg.size() != name.size()) return false;
    for (size_t i = 0; i < seg.size(); ++i) {
        wchar_t c = seg[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        if (c != name[i]) return false;
    }
    return true;
}

// Position of the first byte after the run of 0xFF fill bytes that starts at nPos; the run may
// be as long as the file. False when the file ends inside it.
bool SkipFill(CPagedSource& src, uint64_t& nPos) {
    // Within the first block the bytes are looked at where they lie.
    size_t nFirst = 0;
    if (const uint8_t* pFirst = src.First(nFirst)) {
        while (nPos < nFirst) {
            if (pFirst[nPos] != kJpegMarkerStart) return true;
            ++nPos;
        }
        // A short source ends within its first block.
        if (nFirst < kFirstBlockBytes) return false;
    }
    uint8_t chunk[256];
    while (true) {
        const uint64_t nLeft = nPos < src.Size() ? src.Size() - nPos : 0;
        if (nLeft == 0) return false;
        const size_t n = nLeft < sizeof chunk ? static_cast<size_t>(nLeft) : sizeof chunk;
        if (!src.Read(nPos, chunk, n)) return false;
        for (size_t i = 0; i < n; ++i)
            if (chunk[i] != kJpegMarkerStart) {
                nPos += i;
                return true;
            }
        nPos += n;
    }
}

// Finds the first APP1 "Exif" segment of a JPEG, and the TIFF header inside it.
int32_t LocateJpegExif(STiffLayout& layout) {
    CPagedSource& src = *layout.pSource;
    // The segments of most photos start in the first block: their bytes are taken where they
    // lie, the same bytes as Read gives.
    size_t nFirst = 0;
    const uint8_t* const pFirst = src.First(nFirst);
    if (!pFirst) nFirst = 0;
    auto read = [&](uint64_t nAt, uint8_t* pOut, size_t nSize) {
        if (nAt <= nFirst && nSize <= nFirst - nAt) {
            std::memcpy(pOut, pFirst + nAt, nSize);
            return true;
        }
        return src.Read(nAt, pOut, nSize);
    };
    uint64_t nPos = 2;  // after SOI
    for (int nSegments = 0; nSegments < kMaxJpegSegments; ++nSegments) {
        uint8_t head[4];
        if (!read(nPos, head, 1)) return kMetaErrCorrupt;
        if (head[0] != kJpegMarkerStart) return kMetaErrCorrupt;
        // Any number of fill bytes may stand before a marker; the last 0xFF is the marker's.
        uint64_t nMarkerPos = nPos + 1;
        if (!SkipFill(src, nMarkerPos)) return kMetaErrCorrupt;
        nPos = nMarkerPos - 1;
        if (!read(nMarkerPos, head + 1, 1)) return kMetaErrCorrupt;
        const uint8_t nMarker = head[1];
        if (nMarker == kJpegSoi || nMarker == kJpegTem ||
            (nMarker >= kJpegRst0 && nMarker <= kJpegRst7)) {
            nPos += 2;
            continue;
        }
        // Image data follows: the metadata the reader knows comes before it.
        if (nMarker == kJpegEoi || nMarker == kJpegSos) return kMetaOk;
        if (!read(nPos + 2, head + 2, 2)) return kMetaErrCorrupt;
        const uint32_t nLength = (uint32_t{head[2]} << 8) | head[3];
        if (nLength < 2) return kMetaErrCorrupt;
        const uint64_t nEnd = nPos + 2 + nLength;
        if (!src.Reaches(nEnd)) return kMetaErrCorrupt;
        if (nMarker == kJpegApp1 && nLength >= 2 + sizeof kExifHeader + 8) {
            uint8_t ident[sizeof kExifHeader];
            if (!read(nPos + 4, ident, sizeof ident)) return kMetaErrCorrupt;
            if (std::memcmp(ident, kExifHeader, sizeof ident) == 0) {
                layout.nBase = nPos + 4 + sizeof kExifHeader;
                layout.nSize = nLength - 2 - static_cast<uint32_t>(sizeof kExifHeader);
                return kMetaOk;
            }
        }
        nPos = nEnd;
    }
    return kMetaErrTooLarge;
}

// Reads the TIFF header at the start of the block: byte order, 42, offset of the first IFD.
int32_t ReadTiffHeader(STiffLayout& layout) {
    uint8_t header[8];
    if (!BlockRead(layout, 0, header, sizeof header)) return kMetaErrCorrupt;
    if (header[0] == 'I' && header[1] == 'I')
        layout.bBigEndian = false;
    else if (header[0] == 'M' && header[1] == 'M')
        layout.bBigEndian = true;
    else
        return kMetaErrCorrupt;
    if (Get16(header + 2, layout.bBigEndian) != 42) return kMetaErrCorrupt;
    layout.nIfd0 = Get32(header + 4, layout.bBigEndian);
    return kMetaOk;
}

EBlockFormat RootFormat(EContainer eContainer) {
    return eContainer == EContainer::kJpeg   ? EBlockFormat::kFrameJpeg
           : eContainer == EContainer::kTiff ? EBlockFormat::kFrameTiff
                                             : EBlockFormat::kFrameOther;
}

}  // namespace

std::wstring MetadataErrorText(int32_t nCode) {
    const wchar_t* pszText = L"Unknown error";
    switch (nCode) {
        case kMetaOk:
            pszText = L"The operation completed successfully";
            break;
        case kMetaErrNotFound:
            pszText = L"The item was not found in the image's metadata";
            break;
        case kMetaErrFileNotFound:
            pszText = L"The file does not exist";
            break;
        case kMetaErrOpenFailed:
            pszText = L"The file cannot be opened for reading";
            break;
        case kMetaErrUnknownFormat:
            pszText = L"The file is not a JPEG or TIFF image";
            break;
        case kMetaErrCorrupt:
            pszText = L"The image's metadata points outside the file or is malformed";
            break;
        case kMetaErrLoop:
            pszText = L"The image's metadata refers to itself in a loop";
            break;
        case kMetaErrTooDeep:
            pszText = L"The image's metadata is nested too deeply";
            break;
        case kMetaErrTooLarge:
            pszText = L"The image's metadata is larger than the reader accepts";
            break;
        case kMetaErrReadFailed:
            pszText = L"The file cannot be read";
            break;
        case kMetaErrBadPath:
            pszText = L"The metadata query path is not valid";
            break;
        case kMetaErrNoFrame:
            pszText = L"The image has no such frame";
            break;
        default:
            break;
    }
    return FormatText(L"Error %08xh: %s", static_cast<uint32_t>(nCode), pszText);
}

CMetadataQueryReader::CMetadataQueryReader(std::shared_ptr<const STiffLayout> pLayout,
                                           EBlockFormat eFormat, uint32_t nIfdOffset, int nDepth,
                                           std::vector<uint32_t> ancestors)
    : m_pLayout(std::move(pLayout)),
      m_eFormat(eFormat),
      m_nIfdOffset(nIfdOffset),
      m_nDepth(nDepth),
      m_ancestors(std::move(ancestors)) {}

int32_t CMetadataQueryReader::GetContainerFormat(EBlockFormat& eFormat) const {
    eFormat = m_eFormat;
    return kMetaOk;
}

int32_t CMetadataQueryReader::GetEnumerator(std::vector<std::wstring>& names) const {
    names.clear();
    const STiffLayout& layout = *m_pLayout;
    switch (m_eFormat) {
        case EBlockFormat::kFrameJpeg:
            if (layout.bPresent) names.push_back(L"/app1");
            return kMetaOk;
        case EBlockFormat::kFrameTiff:
        case EBlockFormat::kApp1:
            if (layout.bPresent) names.push_back(L"/ifd");
            return kMetaOk;
        default:
            break;
    }
    if (!IsIfdFormat(m_eFormat)) return kMetaOk;
    std::vector<SEntry> entries;
    if (int32_t hr = ReadEntries(layout, m_nIfdOffset, entries)) return hr;
    names.reserve(entries.size());
    for (const SEntry& e : entries) names.push_back(FormatText(L"/{ushort=%u}", e.nTag));
    return kMetaOk;
}

int32_t CMetadataQueryReader::GetMetadataByName(std::wstring_view strPath,
                                                CPropVariant& value) const {
    value.Clear();
    const STiffLayout& layout = *m_pLayout;
    if (strPath.empty() || strPath.front() != L'/') return kMetaErrBadPath;
    strPath.remove_prefix(1);

    EBlockFormat eFormat = m_eFormat;
    uint32_t nIfd = m_nIfdOffset;
    int nDepth = m_nDepth;
    std::vector<uint32_t> ancestors = m_ancestors;
    while (true) {
        const size_t nSlash = strPath.find(L'/');
        const std::wstring_view seg = strPath.substr(0, nSlash);
        const bool bLast = nSlash == std::wstring_view::npos;
        if (seg.empty()) return kMetaErrBadPath;

        EBlockFormat eChild = eFormat;
        uint32_t nChildIfd = 0;
        bool bChildIsIfd = false;
        uint16_t nTag = 0;
        if (ParseItemName(seg, nTag)) {
            if (!IsIfdFormat(eFormat)) return kMetaErrNotFound;
            if (!layout.bPresent) return layout.nAbsentCode;
            SEntry entry;
            if (int32_t hr = FindEntry(layout, nIfd, nTag, entry)) return hr;
            if (!IsPointerTag(eFormat, nTag, eChild)) {
                if (!bLast) return kMetaErrNotFound;
                return DecodeValue(layout, entry, value);
            }
            if (int32_t hr = PointerTarget(layout, entry, nChildIfd)) return hr;
            bChildIsIfd = true;
        } else if (eFormat == EBlockFormat::kFrameJpeg && SegmentIs(seg, L"app1")) {
            eChild = EBlockFormat::kApp1;
        } else if ((eFormat == EBlockFormat::kFrameTiff || eFormat == EBlockFormat::kApp1) &&
                   SegmentIs(seg, L"ifd")) {
            eChild = EBlockFormat::kIfd;
            nChildIfd = layout.nIfd0;
            bChildIsIfd = true;
        } else {
            uint16_t nPointer = 0;
            if (eFormat == EBlockFormat::kIfd && SegmentIs(seg, L"exif"))
                nPointer = kTagExifIfd;
            else if (eFormat == EBlockFormat::kIfd && SegmentIs(seg, L"gps"))
                nPointer = kTagGpsIfd;
            else if (eFormat == EBlockFormat::kExif && SegmentIs(seg, L"interop"))
                nPointer = kTagInteropIfd;
            else
                return kMetaErrNotFound;
            if (!layout.bPresent) return layout.nAbsentCode;
            SEntry entry;
            if (int32_t hr = FindEntry(layout, nIfd, nPointer, entry)) return hr;
            if (int32_t hr = PointerTarget(layout, entry, nChildIfd)) return hr;
            IsPointerTag(eFormat, nPointer, eChild);
            bChildIsIfd = true;
        }
        if (!layout.bPresent) return layout.nAbsentCode;
        if (++nDepth > kMaxNesting) return kMetaErrTooDeep;
        if (bChildIsIfd) {
            for (uint32_t nSeen : ancestors)
                if (nSeen == nChildIfd) return kMetaErrLoop;
            ancestors.push_back(nChildIfd);
        }
        eFormat = eChild;
        nIfd = nChildIfd;
        if (bLast) {
            value.m_vt = kVtUnknown;
            value.m_pBlock = std::make_shared<CMetadataQueryReader>(m_pLayout, eFormat, nIfd,
                                                                    nDepth, std::move(ancestors));
            return kMetaOk;
        }
        strPath.remove_prefix(nSlash + 1);
    }
}

int32_t CMetadataQueryReader::GetItem(bool bTiffRoot, EBlockFormat eBlock, uint16_t nTag,
                                      CPropVariant& value) const {
    value.Clear();
    const STiffLayout& layout = *m_pLayout;
    if (m_eFormat != (bTiffRoot ? EBlockFormat::kFrameTiff : EBlockFormat::kFrameJpeg))
        return kMetaErrNotFound;
    if (!layout.bPresent) return layout.nAbsentCode;
    // "/app1" and "/ifd", or "/ifd" alone, lie between the frame and IFD0.
    int nDepth = m_nDepth + (bTiffRoot ? 1 : 2);
    uint32_t nIfd = layout.nIfd0;
    if (eBlock == EBlockFormat::kExif || eBlock == EBlockFormat::kGps) {
        STiffLayout::SSubIfd& sub = eBlock == EBlockFormat::kExif ? layout.exifIfd : layout.gpsIfd;
        if (!sub.bResolved) {
            SEntry entry;
            sub.nResult =
                FindEntry(layout, layout.nIfd0,
                          eBlock == EBlockFormat::kExif ? kTagExifIfd : kTagGpsIfd, entry);
            if (sub.nResult == kMetaOk) sub.nResult = PointerTarget(layout, entry, sub.nOffset);
            if (sub.nResult == kMetaOk && sub.nOffset == layout.nIfd0) sub.nResult = kMetaErrLoop;
            sub.bResolved = true;
        }
        if (sub.nResult != kMetaOk) return sub.nResult;
        if (++nDepth > kMaxNesting) return kMetaErrTooDeep;
        nIfd = sub.nOffset;
    } else if (eBlock != EBlockFormat::kIfd) {
        return kMetaErrNotFound;
    }
    SEntry entry;
    if (int32_t hr = FindEntry(layout, nIfd, nTag, entry)) return hr;
    EBlockFormat eChild;
    if (!IsPointerTag(eBlock, nTag, eChild)) return DecodeValue(layout, entry, value);
    uint32_t nChildIfd = 0;
    if (int32_t hr = PointerTarget(layout, entry, nChildIfd)) return hr;
    if (++nDepth > kMaxNesting) return kMetaErrTooDeep;
    if (nChildIfd == layout.nIfd0 || nChildIfd == nIfd) return kMetaErrLoop;
    std::vector<uint32_t> ancestors = {layout.nIfd0};
    if (nIfd != layout.nIfd0) ancestors.push_back(nIfd);
    ancestors.push_back(nChildIfd);
    value.m_vt = kVtUnknown;
    value.m_pBlock = std::make_shared<CMetadataQueryReader>(m_pLayout, eChild, nChildIfd, nDepth,
                                                            std::move(ancestors));
    return kMetaOk;
}

CImageFrame::CImageFrame(std::shared_ptr<const STiffLayout> pLayout)
    : m_pLayout(std::move(pLayout)) {}

int32_t CImageFrame::GetMetadataQueryReader(std::shared_ptr<CMetadataQueryReader>& pReader) const {
    pReader = std::make_shared<CMetadataQueryReader>(m_pLayout, RootFormat(m_pLayout->eContainer),
                                                     0, 0, std::vector<uint32_t>());
    return kMetaOk;
}

CImageDecoder::CImageDecoder(std::shared_ptr<CPagedSource> pSource, EContainer eContainer)
    : m_pSource(std::move(pSource)), m_eContainer(eContainer) {}

uint64_t CImageDecoder::BytesRead() const {
    return m_pSource->BytesRead();
}

namespace {

bool StartsWith(const uint8_t* pMagic, size_t nMagic, size_t nAt, const char* pszText) {
    const size_t nLen = std::strlen(pszText);
    return nAt <= nMagic && nLen <= nMagic - nAt && std::memcmp(pMagic + nAt, pszText, nLen) == 0;
}

// Image formats a slide show holds whose metadata this reader does not read. Each signature is
// checked far enough that a text or other file starting with the same letters is not taken.
bool IsOtherImage(const uint8_t* p, size_t n) {
    if (StartsWith(p, n, 0, "\x89PNG\r\n\x1a\n")) return true;
    if (StartsWith(p, n, 0, "GIF87a") || StartsWith(p, n, 0, "GIF89a")) return true;
    if (StartsWith(p, n, 0, "RIFF") && StartsWith(p, n, 8, "WEBP")) return true;
    if (StartsWith(p, n, 0, "BM") && n >= 18) {
        // The size of the bitmap info header names the BMP version.
        const uint32_t nInfo = Get32(p + 14, false);
        for (uint32_t nKnown : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
            if (nInfo == nKnown) return true;
        return false;
    }
    if (StartsWith(p, n, 4, "ftyp")) {
        for (const char* pszBrand : {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs",
                                     "mif1", "msf1", "avif", "avis"})
            if (StartsWith(p, n, 8, pszBrand)) return true;
    }
    return false;
}

}  // namespace

namespace {

// What the source's first bytes say it is; Create's codes.
int32_t Recognise(CPagedSource& src, EContainer& eContainer) {
    constexpr size_t kMagicBytes = 18;
    size_t nFirst = 0;
    const uint8_t* const magic = src.First(nFirst);
    if (!magic) return kMetaErrReadFailed;
    if (nFirst < 4) return kMetaErrUnknownFormat;
    const size_t nMagic = nFirst < kMagicBytes ? nFirst : kMagicBytes;
    if (magic[0] == 0xFF && magic[1] == kJpegSoi && magic[2] == kJpegMarkerStart) {
        eContainer = EContainer::kJpeg;
    } else if ((magic[0] == 'I' && magic[1] == 'I' && magic[2] == 42 && magic[3] == 0) ||
               (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && magic[3] == 42)) {
        eContainer = EContainer::kTiff;
    } else if (IsOtherImage(magic, nMagic)) {
        eContainer = EContainer::kOther;
    } else {
        // BigTIFF (43) among them: its 64-bit offsets are a different structure.
        return kMetaErrUnknownFormat;
    }
    return kMetaOk;
}

// Locates frame 0's TIFF structure in a fresh layout whose source and container are set;
// GetFrame's codes.
int32_t LocateFrame(STiffLayout& layout) {
    if (layout.eContainer == EContainer::kOther) return kMetaOk;
    if (layout.eContainer == EContainer::kJpeg) {
        if (int32_t hr = LocateJpegExif(layout)) return hr;
        if (layout.nSize == 0) return kMetaOk;
    } else {
        // TIFF offsets are 32 bits: nothing beyond 4 GiB can be addressed.
        const uint64_t nSize = layout.pSource->Size();
        layout.nSize = nSize > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(nSize);
    }
    // A broken header inside an otherwise readable JPEG leaves its image viewable: the frame
    // opens, and every item read reports the damage.
    const int32_t hr = ReadTiffHeader(layout);
    if (hr == kMetaOk)
        layout.bPresent = true;
    else if (layout.eContainer == EContainer::kTiff)
        return hr;
    else
        layout.nAbsentCode = hr;
    return kMetaOk;
}

}  // namespace

int32_t CImageDecoder::Create(std::unique_ptr<IImageSource> pSource,
                              std::shared_ptr<CImageDecoder>& pDecoder) {
    pDecoder.reset();
    if (!pSource) return kMetaErrReadFailed;
    auto pPaged = std::make_shared<CPagedSource>(std::move(pSource));
    EContainer eContainer = EContainer::kOther;
    if (int32_t hr = Recognise(*pPaged, eContainer)) return hr;
    pDecoder = std::make_shared<CImageDecoder>(std::move(pPaged), eContainer);
    return kMetaOk;
}

std::unique_ptr<IImageSource> CImageDecoder::ReleaseSource() {
    std::unique_ptr<IImageSource> pSource = m_pSource->Reset(nullptr);
    if (pSource) pSource->Close();
    return pSource;
}

int32_t CImageDecoder::GetFrame(uint32_t nIndex, std::shared_ptr<CImageFrame>& pFrame) {
    pFrame.reset();
    if (nIndex != 0) return kMetaErrNoFrame;
    auto pLayout = std::make_shared<STiffLayout>();
    pLayout->pSource = m_pSource;
    pLayout->eContainer = m_eContainer;
    if (int32_t hr = LocateFrame(*pLayout)) return hr;
    pFrame = std::make_shared<CImageFrame>(std::move(pLayout));
    return kMetaOk;
}

int32_t OpenImage(std::unique_ptr<IImageSource> pSource, std::shared_ptr<CImageDecoder>& pDecoder,
                  std::shared_ptr<CImageFrame>& pFrame,
                  std::shared_ptr<CMetadataQueryReader>& pReader, bool& bFrameStage) {
    bFrameStage = false;
    // Every holder of these objects is counted: the decoder and the layout hold the bytes, the
    // frame and the root reader the layout. One more holder anywhere, and they are left alone.
    const bool bReuse =
        pDecoder && pFrame && pReader && pDecoder.use_count() == 1 && pFrame.use_count() == 1 &&
        pReader.use_count() == 1 && pFrame->m_pLayout == pReader->m_pLayout &&
        pFrame->m_pLayout.use_count() == 2 && pFrame->m_pLayout->pSource == pDecoder->m_pSource &&
        pDecoder->m_pSource.use_count() == 2;
    if (!bReuse) {
        pReader.reset();
        pFrame.reset();
        int32_t hr = CImageDecoder::Create(std::move(pSource), pDecoder);
        if (hr != kMetaOk) return hr;
        bFrameStage = true;
        hr = pDecoder->GetFrame(0, pFrame);
        if (hr == kMetaOk) hr = pFrame->GetMetadataQueryReader(pReader);
        if (hr != kMetaOk) pDecoder->ReleaseSource();
        return hr;
    }
    CPagedSource& src = *pDecoder->m_pSource;
    src.Reset(std::move(pSource)).reset();
    EContainer eContainer = EContainer::kOther;
    int32_t hr = Recognise(src, eContainer);
    if (hr == kMetaOk) {
        bFrameStage = true;
        pDecoder->m_eContainer = eContainer;
        // Made non-const by GetFrame; the frame and the root reader are its only holders.
        auto& layout = const_cast<STiffLayout&>(*pFrame->m_pLayout);
        std::shared_ptr<CPagedSource> pPaged = std::move(layout.pSource);
        layout = STiffLayout();
        layout.pSource = std::move(pPaged);
        layout.eContainer = eContainer;
        hr = LocateFrame(layout);
    }
    if (hr != kMetaOk) {
        src.Reset(nullptr);
        return hr;
    }
    CMetadataQueryReader& reader = *pReader;
    reader.m_eFormat = RootFormat(eContainer);
    reader.m_nIfdOffset = 0;
    reader.m_nDepth = 0;
    reader.m_ancestors.clear();
    return kMetaOk;
}
