#include "cache/location_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Encode(const std::wstring& text) {
    std::string out;
    AppendCacheText(out, text);
    return out;
}

// Every wide value round-trips through the table's encoding; only what UTF-8 can carry counts as
// Unicode (the rest is never written to a file).
TEST(LocationCacheText, EveryWideValueRoundTripsAndOnlyUnicodeIsUnicode) {
    const struct {
        std::wstring text;
        bool bUnicode;
    } cases[] = {
        {L"", true},
        {std::wstring(1, L'\0') + L"nul inside", true},
        {L"Z\u00fcrich \U0001F600 \U0010FFFF", true},
        {std::wstring(1, static_cast<wchar_t>(0xDC00)) + L"lone surrogate", false},
        {std::wstring(1, static_cast<wchar_t>(0x110000)), false},
        {std::wstring(1, static_cast<wchar_t>(-1)), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeCacheText(Encode(c.text)), c.text);
        EXPECT_EQ(IsUnicodeCacheText(Encode(c.text)), c.bUnicode);
    }
    EXPECT_EQ(CountCacheChars(Encode(L"a\u00e9\U0001F600")), 3u);
}

// Lookups are exact (paths differing only in case are other files); a store replaces the entry
// of its path, through rehashing and churn that leaves dead records behind.
TEST(LocationCache, LookupIsExactAndEntriesSurviveRehashAndReplacementChurn) {
    CLocationCache cache;
    auto path = [](int i) { return L"/p/" + std::to_wstring(i) + L".jpg"; };
    cache.Store(L"/p/A.jpg", CCachedValue(L"Paris", L"48.8566000", L"2.3522000"));
    EXPECT_EQ(cache.Lookup(L"/p/a.jpg"), nullptr);
    ASSERT_NE(cache.Lookup(L"/p/A.jpg"), nullptr);
    EXPECT_EQ(cache.Lookup(L"/p/A.jpg")->m_strLat, L"48.8566000");
    EXPECT_EQ(cache.Lookup(L"/p/A.jpg")->m_strLon, L"2.3522000");
    cache.RemoveAll();
    for (int i = 0; i < 2000; ++i) cache.Store(path(i), CCachedValue(L"c", L"1", L"2"));
    cache.SetBucketCount(1);  // one long chain
    for (int i = 0; i < 2000; i += 7) ASSERT_NE(cache.Lookup(path(i)), nullptr) << i;
    cache.SetBucketCount(4001);
    // Rewriting every entry with a long caption many times leaves dead records behind, which
    // the table reclaims; every entry must keep its latest value throughout.
    const std::wstring strLong(600, L'x');
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 2000; ++i)
            cache.Store(path(i), CCachedValue(strLong + std::to_wstring(round), L"1", L"2"));
    }
    EXPECT_EQ(cache.GetCount(), 2000u);
    size_t nVisited = 0;
    cache.ForEach([&](const SCacheRecord& r) {
        ++nVisited;
        EXPECT_EQ(DecodeCacheText(r.text), strLong + L"4");
    });
    EXPECT_EQ(nVisited, 2000u);
    EXPECT_EQ(cache.Lookup(path(1999))->m_strText, strLong + L"4");
}

}  // namespace
