#include "cache/location_cache.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/utf.h"

namespace {

// Records are packed into blocks of this size; a larger record gets a block of its own.
constexpr size_t kBlockSize = size_t{1} << 20;
constexpr uint32_t kMaxEntries = UINT32_MAX - 1;

// A size_t takes at most ten groups of seven bits.
constexpr size_t kMaxVarintBytes = 10;

// Writes n at p, seven bits a byte, low bits first, the top bit marking that more follow; the
// end of what it wrote.
char* PutVarint(char* p, size_t n) {
    while (n >= 0x80) {
        *p++ = static_cast<char>(0x80 | (n & 0x7F));
        n >>= 7;
    }
    *p++ = static_cast<char>(n);
    return p;
}

size_t ReadVarint(const char*& p) {
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const unsigned char b = static_cast<unsigned char>(*p++);
        n |= static_cast<size_t>(b & 0x7F) << shift;
        if (b < 0x80) return n;
    }
}

size_t VarintSize(size_t n) {
    size_t size = 1;
    while (n >= 0x80) {
        n >>= 7;
        ++size;
    }
    return size;
}

// A record is the four lengths as varints, then the four texts.
SCacheRecord ParseRecord(const char* p) {
    const size_t nPath = ReadVarint(p);
    const size_t nLat = ReadVarint(p);
    const size_t nLon = ReadVarint(p);
    const size_t nText = ReadVarint(p);
    SCacheRecord record;
    record.path = std::string_view(p, nPath);
    record.lat = std::string_view(p + nPath, nLat);
    record.lon = std::string_view(p + nPath + nLat, nLon);
    record.text = std::string_view(p + nPath + nLat + nLon, nText);
    return record;
}

}  // namespace

void AppendCacheText(std::string& out, std::wstring_view text) {
    // The ASCII head, most often the whole text, is narrowed into room made at once.
    const size_t nStart = out.size();
    out.resize(nStart + text.size());
    char* const pOut = out.data() + nStart;
    size_t nAscii = 0;
    for (; nAscii < text.size(); ++nAscii) {
        const auto u = static_cast<uint32_t>(text[nAscii]);
        if (u >= 0x80) break;
        pOut[nAscii] = static_cast<char>(u);
    }
    out.resize(nStart + nAscii);
    for (size_t i = nAscii; i < text.size(); ++i) {
        uint32_t u = static_cast<uint32_t>(text[i]);
        if (u < 0x80) {
            out += static_cast<char>(u);
            continue;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            u &= 0xFFFF;
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size()) {
                uint32_t lo = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
        }
        AppendLosslessUtf8(out, u);
    }
}

std::wstring DecodeCacheText(std::string_view encoded) {
    std::wstring out;
    DecodeCacheTextTo(encoded, out);
    return out;
}

void DecodeCacheTextTo(std::string_view encoded, std::wstring& out) {
    // A character never takes more wide units than it has bytes encoded: room for the whole
    // text is made at once, and the ASCII head, most often all of it, widened into it.
    const auto* p = reinterpret_cast<const unsigned char*>(encoded.data());
    out.resize(encoded.size());
    wchar_t* pOut = out.data();
    size_t nAscii = 0;
    // Eight bytes at a time while none has its high bit set.
    for (; encoded.size() - nAscii >= 8; nAscii += 8) {
        uint64_t word;
        std::memcpy(&word, p + nAscii, sizeof word);
        if ((word & 0x8080808080808080u) != 0) break;
        for (size_t k = 0; k < 8; ++k) pOut[nAscii + k] = static_cast<wchar_t>(p[nAscii + k]);
    }
    for (; nAscii < encoded.size() && p[nAscii] < 0x80; ++nAscii)
        pOut[nAscii] = static_cast<wchar_t>(p[nAscii]);
    if (nAscii == encoded.size()) return;
    // The rest: ASCII and the two-byte forms of accented letters decoded here, longer forms
    // by DecodeLosslessUtf8.
    const unsigned char* q = p + nAscii;
    const unsigned char* const pEnd = p + encoded.size();
    pOut += nAscii;
    while (q != pEnd) {
        const unsigned char b = *q;
        if (b < 0x80) {
            *pOut++ = static_cast<wchar_t>(b);
            ++q;
            continue;
        }
        if (b >= 0xC0 && b < 0xE0 && pEnd - q >= 2) {
            *pOut++ = static_cast<wchar_t>(((b & 0x1Fu) << 6) | (q[1] & 0x3Fu));
            q += 2;
            continue;
        }
        uint32_t u = b;
        q += DecodeLosslessUtf8(q, static_cast<size_t>(pEnd - q), u);
        if constexpr (sizeof(wchar_t) == 2) {
            if (u >= 0x10000 && u <= 0x10FFFF) {
                u -= 0x10000;
                *pOut++ = static_cast<wchar_t>(0xD800 + (u >> 10));
                *pOut++ = static_cast<wchar_t>(0xDC00 + (u & 0x3FF));
                continue;
            }
        }
        *pOut++ = static_cast<wchar_t>(u);
    }
    out.resize(static_cast<size_t>(pOut - out.data()));
}

bool IsUnicodeCacheText(std::string_view encoded) {
    const auto* p = reinterpret_cast<const unsigned char*>(encoded.data());
    const size_t n = encoded.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0xED) continue;
        const unsigned char next = i + 1 < n ? p[i + 1] : 0;
        if (b == 0xED && next >= 0xA0 && next < 0xC0) return false;  // a surrogate
        if (b == 0xF4 && next >= 0x90 && next < 0xC0) return false;  // beyond U+10FFFF
        if (b >= 0xF5) return false;
    }
    return true;
}

size_t CountCacheChars(std::string_view encoded) {
    size_t count = 0;
    for (char c : encoded) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

uint32_t HashCacheKey(std::string_view encodedPath) {
    // Paths are mostly ASCII: eight or four such characters fold in at once, h * 33^8 + the
    // eight weighted, which is the same value as eight steps but without their chain of
    // products.
    constexpr uint32_t k33p2 = 33u * 33u, k33p3 = k33p2 * 33u, k33p4 = k33p3 * 33u;
    const auto* p = reinterpret_cast<const unsigned char*>(encodedPath.data());
    size_t n = encodedPath.size();
    uint32_t h = 0;
    constexpr uint32_t k33p5 = k33p4 * 33u, k33p6 = k33p5 * 33u, k33p7 = k33p6 * 33u,
                       k33p8 = k33p7 * 33u;
    constexpr uint64_t kHighBits = 0x8080808080808080u;
    while (n > 0) {
        uint64_t word = 0;
        if (n >= 8 && (std::memcpy(&word, p, sizeof word), (word & kHighBits) == 0)) {
            h = h * k33p8 + (p[0] * k33p7 + p[1] * k33p6 + p[2] * k33p5 + p[3] * k33p4 +
                             p[4] * k33p3 + p[5] * k33p2 + p[6] * 33u + p[7]);
            p += 8;
            n -= 8;
            continue;
        }
        if (n >= 4 && ((p[0] | p[1] | p[2] | p[3]) & 0x80) == 0) {
            h = h * k33p4 + (p[0] * k33p3 + p[1] * k33p2 + p[2] * 33u + p[3]);
            p += 4;
            n -= 4;
            continue;
        }
        uint32_t u = *p;
        const size_t len = u < 0x80 ? 1 : DecodeLosslessUtf8(p, n, u);
        p += len;
        n -= len;
        if (u >= 0x10000 && u <= 0x10FFFF) {
            u -= 0x10000;
            h = h * 33u + (0xD800 + (u >> 10));
            h = h * 33u + (0xDC00 + (u & 0x3FF));
        } else {
            h = h * 33u + u;
        }
    }
    return h;
}

CLocationCache::CLocationCache() : m_buckets(kCacheInitialBuckets, 0) {}
CLocationCache::~CLocationCache() = default;

const CCachedValue* CLocationCache::Lookup(const std::wstring& strPath) const {
    m_strKey.clear();
    AppendCacheText(m_strKey, strPath);
    uint32_t nIndex = Find(m_strKey, HashCacheKey(m_strKey));
    if (nIndex == 0) return nullptr;
    SCacheRecord record = RecordAt(m_entries[nIndex - 1]);
    DecodeCacheTextTo(record.text, m_found.m_strText);
    DecodeCacheTextTo(record.lat, m_found.m_strLat);
    DecodeCacheTextTo(record.lon, m_found.m_strLon);
    return &m_found;
}

void CLocationCache::Store(const std::wstring& strPath, CCachedValue value) {
    // One buffer holds the four encoded texts so that a store allocates once.
    std::string buffer;
    AppendCacheText(buffer, strPath);
    const size_t nPath = buffer.size();
    AppendCacheText(buffer, value.m_strLat);
    const size_t nLat = buffer.size() - nPath;
    AppendCacheText(buffer, value.m_strLon);
    const size_t nLon = buffer.size() - nPath - nLat;
    AppendCacheText(buffer, value.m_strText);
    std::string_view all(buffer);
    std::string_view path = all.substr(0, nPath);
    Put(path, all.substr(nPath, nLat), all.substr(nPath + nLat, nLon),
        all.substr(nPath + nLat + nLon), HashCacheKey(path));
}

void CLocationCache::StoreEncoded(std::string_view path, std::string_view lat, std::string_view lon,
                                  std::string_view text) {
    Put(path, lat, lon, text, HashCacheKey(path));
}

void CLocationCache::Put(std::string_view path, std::string_view lat, std::string_view lon,
                         std::string_view text, uint32_t nHash) {
    ++m_nChanges;
    if (uint32_t nIndex = Find(path, nHash)) {
        SEntry& entry = m_entries[nIndex - 1];
        const size_t nOld = RecordSize(entry);
        m_nLiveBytes -= nOld;
        m_nDeadBytes += nOld;
        WriteRecord(entry, path, lat, lon, text);
        if (m_nDeadBytes > kBlockSize && m_nDeadBytes > m_nLiveBytes) Compact();
        return;
    }
    if (m_entries.size() >= kMaxEntries) throw std::length_error("location cache is full");
    // The table is sized by what it holds, so a count that a file only announces never
    // costs memory before its entries are there.
    if (m_entries.size() >= m_buckets.size()) SetBucketCount(2 * m_entries.size() + 1);
    SEntry entry{};
    entry.nHash = nHash;
    WriteRecord(entry, path, lat, lon, text);
    uint32_t& head = m_buckets[BucketOf(nHash)];
    entry.nNext = head;
    m_entries.push_back(entry);
    head = static_cast<uint32_t>(m_entries.size());
}

void CLocationCache::Prefetch(uint32_t nHash, int nStage) const {
#if defined(__GNUC__) || defined(__clang__)
    const uint32_t* pHead = &m_buckets[BucketOf(nHash)];
    if (nStage == 0) {
        __builtin_prefetch(pHead);
    } else if (*pHead != 0) {
        __builtin_prefetch(&m_entries[*pHead - 1]);
    }
#else
    (void)nHash;
    (void)nStage;
#endif
}

uint32_t CLocationCache::Find(std::string_view path, uint32_t nHash) const {
    for (uint32_t i = m_buckets[BucketOf(nHash)]; i != 0; i = m_entries[i - 1].nNext) {
        const SEntry& entry = m_entries[i - 1];
        if (entry.nHash == nHash && RecordAt(entry).path == path) return i;
    }
    return 0;
}

SCacheRecord CLocationCache::RecordAt(const SEntry& entry) const {
    return ParseRecord(m_blocks[entry.nBlock].pData.get() + entry.nOffset);
}

size_t CLocationCache::RecordSize(const SEntry& entry) const {
    SCacheRecord r = RecordAt(entry);
    return VarintSize(r.path.size()) + VarintSize(r.lat.size()) + VarintSize(r.lon.size()) +
           VarintSize(r.text.size()) + r.path.size() + r.lat.size() + r.lon.size() + r.text.size();
}

void CLocationCache::WriteRecord(SEntry& entry, std::string_view path, std::string_view lat,
                                 std::string_view lon, std::string_view text) {
    // The four lengths are made on the stack: a load writes a million records.
    char szHead[4 * kMaxVarintBytes];
    char* pHead = szHead;
    for (size_t nLength : {path.size(), lat.size(), lon.size(), text.size()})
        pHead = PutVarint(pHead, nLength);
    const std::string_view head(szHead, static_cast<size_t>(pHead - szHead));
    const size_t nSize = head.size() + path.size() + lat.size() + lon.size() + text.size();
    if (m_blocks.empty() || m_blocks.back().nSize - m_blocks.back().nUsed < nSize) {
        if (m_blocks.size() >= UINT32_MAX) throw std::length_error("location cache is full");
        const size_t nBlockSize = std::max(kBlockSize, nSize);
        // Left uninitialised: every byte is written before it is read, and clearing a block
        // would be one more pass over all the table's text.
        m_blocks.push_back(SBlock{std::unique_ptr<char[]>(new char[nBlockSize]), nBlockSize, 0});
    }
    SBlock& block = m_blocks.back();
    char* p = block.pData.get() + block.nUsed;
    entry.nBlock = static_cast<uint32_t>(m_blocks.size() - 1);
    entry.nOffset = static_cast<uint32_t>(block.nUsed);
    for (std::string_view part : {std::string_view(head), path, lat, lon, text}) {
        if (!part.empty()) std::memcpy(p, part.data(), part.size());
        p += part.size();
    }
    block.nUsed += nSize;
    m_nLiveBytes += nSize;
}

void CLocationCache::Compact() {
    std::vector<SBlock> old;
    old.swap(m_blocks);
    m_nLiveBytes = 0;
    m_nDeadBytes = 0;
    for (SEntry& entry : m_entries) {
        SCacheRecord r = ParseRecord(old[entry.nBlock].pData.get() + entry.nOffset);
        WriteRecord(entry, r.path, r.lat, r.lon, r.text);
    }
}

void CLocationCache::RemoveAll() {
    ++m_nChanges;
    // An empty table has nothing in its buckets; clearing them again would cost a pass over
    // a few hundred kilobytes at every load.
    if (!m_entries.empty()) std::memset(m_buckets.data(), 0, m_buckets.size() * sizeof(uint32_t));
    std::vector<SEntry>().swap(m_entries);
    std::vector<SBlock>().swap(m_blocks);
    m_nLiveBytes = 0;
    m_nDeadBytes = 0;
}

void CLocationCache::SetBucketCount(size_t nBuckets) {
    if (nBuckets == 0) nBuckets = 1;
    // An empty table of that size already has its empty buckets: the start sets the size the
    // table was made with, and filling them again would cost a pass over a few hundred KiB.
    if (m_entries.empty() && nBuckets == m_buckets.size()) return;
    m_buckets.assign(nBuckets, 0);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        uint32_t& head = m_buckets[m_entries[i].nHash % nBuckets];
        m_entries[i].nNext = head;
        head = static_cast<uint32_t>(i + 1);
    }
}
