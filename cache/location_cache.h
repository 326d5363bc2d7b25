// In-memory location cache: photo path -> caption and the coordinates it was made for.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

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

// h = h * 33 + unit over the key's characters, unsigned 32 bits, from 0.
struct CCacheKeyHash {
    size_t operator()(const std::wstring& key) const noexcept {
        uint32_t h = 0;
        for (wchar_t c : key) h = h * 33u + static_cast<uint32_t>(c);
        return h;
    }
};

class CLocationCache {
public:
    CLocationCache() { m_map.rehash(kCacheInitialBuckets); }

    // The entry for the path (exact, case-sensitive), or null.
    const CCachedValue* Lookup(const std::wstring& strPath) const {
        auto it = m_map.find(strPath);
        return it == m_map.end() ? nullptr : &it->second;
    }
    // Stores or replaces the entry for the path.
    void Store(const std::wstring& strPath, CCachedValue value) {
        m_map.insert_or_assign(strPath, std::move(value));
    }
    void RemoveAll() { m_map.clear(); }
    size_t GetCount() const { return m_map.size(); }
    void SetBucketCount(size_t nBuckets) { m_map.rehash(nBuckets); }

private:
    std::unordered_map<std::wstring, CCachedValue, CCacheKeyHash> m_map;
};
