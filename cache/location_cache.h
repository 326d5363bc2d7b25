// In-memory location cache: photo path -> caption and the coordinates it was made for.
//
// The table is built for a million entries and more: all texts of an entry sit in one record in
// large shared blocks, and the chains of the hash table link entry numbers, not pointers, so an
// entry costs little beyond its text. Texts are held in an extended UTF-8 that keeps every wide
// character value (a lone surrogate as well), so what is stored is exactly what a lookup gives
// back. Not thread-safe: one message at a time uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kCacheInitialBuckets = 110069;

class CCachedValue {
  public:
    CCachedValue() = default;
    CCachedValue(std::wstring strText, std::wstring strLat, std::wstring strLon)
        : m_strText(std::move(strText)), m_strLat(std::move(strLat)), m_strLon(std::move(strLon)) {}

    std::wstring m_strText;  // composed caption
    std::wstring m_strLat;   // latitude text it was made for
    std::wstring m_strLon;   // longitude text it was made for
};

// One entry as the table holds it, each text in the table's encoding. The views stay valid
// until the table is next changed.
struct SCacheRecord {
    std::string_view path, lat, lon, text;
};

// The table's encoding: UTF-8, extended with the longer forms that UTF-8 once had so that lone
// surrogates and values beyond U+10FFFF survive. Valid UTF-8 is its own encoding.
void AppendCacheText(std::string& out, std::wstring_view text);
std::wstring DecodeCacheText(std::string_view encoded);
// The same into out, replacing what it held (its room is kept).
void DecodeCacheTextTo(std::string_view encoded, std::wstring& out);
// True when the text holds only characters that standard UTF-8 can carry.
bool IsUnicodeCacheText(std::string_view encoded);
// Number of characters (code points) in an encoded text.
size_t CountCacheChars(std::string_view encoded);
// h = h * 33 + unit over the key's UTF-16 code units, unsigned 32 bits, from 0.
uint32_t HashCacheKey(std::string_view encodedPath);

class CLocationCache {
  public:
    CLocationCache();
    ~CLocationCache();
    CLocationCache(const CLocationCache&) = delete;
    CLocationCache& operator=(const CLocationCache&) = delete;

    // The entry for the path (exact, case-sensitive), or null. The value lives in the table
    // and stays valid until the next call on the table.
    const CCachedValue* Lookup(const std::wstring& strPath) const;
    // Stores or replaces the entry for the path.
    void Store(const std::wstring& strPath, CCachedValue value);
    // The same for texts already in the table's encoding (as the file loader has them).
    void StoreEncoded(std::string_view path, std::string_view lat, std::string_view lon,
                      std::string_view text);
    // The same with the path's HashCacheKey already computed.
    void StoreEncoded(std::string_view path, std::string_view lat, std::string_view lon,
                      std::string_view text, uint32_t nHash) {
        Put(path, lat, lon, text, nHash);
    }
    // Asks the processor to fetch what a store of a path with this hash will read first, so
    // that a caller storing many entries can overlap the memory waits of several of them.
    // Stage 0 fetches the bucket; stage 1, issued later, the entry that heads its chain.
    void Prefetch(uint32_t nHash, int nStage) const;
    // True when the table holds an entry for a path in the table's encoding.
    bool ContainsEncoded(std::string_view path) const {
        return Find(path, HashCacheKey(path)) != 0;
    }
    // Removes every entry; the bucket count stays.
    void RemoveAll();
    size_t GetCount() const { return m_entries.size(); }
    // Grows with every Store, StoreEncoded and RemoveAll: equal counts mean equal entries.
    uint64_t GetChangeCount() const { return m_nChanges; }
    // Sets the number of buckets (at least 1); the entries stay. When the entries come to
    // outnumber the buckets, a store sets twice their number plus one.
    void SetBucketCount(size_t nBuckets);
    size_t GetBucketCount() const { return m_buckets.size(); }
    // Room for this many entries without growing the entry list.
    void Reserve(size_t nEntries) { m_entries.reserve(nEntries); }

    // Calls fn(const SCacheRecord&) for each entry, in no particular order.
    template <class F>
    void ForEach(F&& fn) const {
        for (const SEntry& entry : m_entries) fn(RecordAt(entry));
    }

  private:
    struct SEntry {
        uint32_t nBlock;
        uint32_t nOffset;
        uint32_t nNext;  // next entry of the bucket's chain, plus one; 0 ends the chain
        uint32_t nHash;
    };
    struct SBlock {
        std::unique_ptr<char[]> pData;
        size_t nSize;
        size_t nUsed;
    };

    void Put(std::string_view path, std::string_view lat, std::string_view lon,
             std::string_view text, uint32_t nHash);
    // Entry number plus one, or 0.
    uint32_t Find(std::string_view path, uint32_t nHash) const;
    size_t BucketOf(uint32_t nHash) const {
        // Most tables have fewer than 2^32 buckets, and a 32-bit division is much faster.
        const size_t nBuckets = m_buckets.size();
        return nBuckets <= UINT32_MAX ? nHash % static_cast<uint32_t>(nBuckets) : nHash % nBuckets;
    }
    SCacheRecord RecordAt(const SEntry& entry) const;
    size_t RecordSize(const SEntry& entry) const;
    void WriteRecord(SEntry& entry, std::string_view path, std::string_view lat,
                     std::string_view lon, std::string_view text);
    void Compact();

    std::vector<uint32_t> m_buckets;  // first entry of each chain, plus one; 0 is empty
    std::vector<SEntry> m_entries;
    std::vector<SBlock> m_blocks;
    size_t m_nLiveBytes = 0;
    size_t m_nDeadBytes = 0;  // records left behind by replaced entries
    uint64_t m_nChanges = 0;
    mutable std::string m_strKey;
    mutable CCachedValue m_found;
};
