#include "cache/location_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Encode(const std::wstring& text) {
    std::string out;
    AppendCacheText(out, text);
    return out;
}

TEST(LocationCacheText, EveryWideValueRoundTrips) {
    const std::wstring cases[] = {
        L"",
        std::wstring(1, L'\0') + L"nul inside",
        L"\U0001F600 beyond the basic plane",
        std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone surrogate",
        std::wstring(1, static_cast<wchar_t>(0x10FFFF)),
        std::wstring(1, static_cast<wchar_t>(-1)),
    };
    for (const std::wstring& text : cases) EXPECT_EQ(DecodeCacheText(Encode(text)), text);
}

TEST(LocationCacheText, UnicodeTestRejectsWhatUtf8CannotCarry) {
    EXPECT_TRUE(IsUnicodeCacheText(Encode(L"Zürich \U0001F600 \U0010FFFF")));
    EXPECT_FALSE(IsUnicodeCacheText(Encode(std::wstring(1, static_cast<wchar_t>(0xDC00)))));
    EXPECT_FALSE(IsUnicodeCacheText(Encode(std::wstring(1, static_cast<wchar_t>(0x110000)))));
    EXPECT_FALSE(IsUnicodeCacheText(Encode(std::wstring(1, static_cast<wchar_t>(-5)))));
    EXPECT_EQ(CountCacheChars(Encode(L"aé\U0001F600")), 3u);
}

TEST(LocationCache, LookupIsExactAndStoreReplaces) {
    CLocationCache cache;
    EXPECT_EQ(cache.GetBucketCount(), kCacheInitialBuckets);
    cache.Store(L"/a/Photo.jpg", CCachedValue(L"Paris", L"48.8566000", L"2.3522000"));
    EXPECT_EQ(cache.Lookup(L"/a/photo.jpg"), nullptr);
    EXPECT_EQ(cache.Lookup(L"/a/Photo.jpg "), nullptr);
    const CCachedValue* p = cache.Lookup(L"/a/Photo.jpg");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_strText, L"Paris");
    EXPECT_EQ(p->m_strLat, L"48.8566000");
    EXPECT_EQ(p->m_strLon, L"2.3522000");

    cache.Store(L"/a/Photo.jpg", CCachedValue(L"Lyon", L"45.7640000", L"4.8357000"));
    EXPECT_EQ(cache.GetCount(), 1u);
    EXPECT_EQ(cache.Lookup(L"/a/Photo.jpg")->m_strText, L"Lyon");

    cache.RemoveAll();
    EXPECT_EQ(cache.GetCount(), 0u);
    EXPECT_EQ(cache.Lookup(L"/a/Photo.jpg"), nullptr);
    EXPECT_EQ(cache.GetBucketCount(), kCacheInitialBuckets);
}

TEST(LocationCache, EntriesSurviveRehashAndReplacementChurn) {
    CLocationCache cache;
    auto path = [](int i) { return L"/p/" + std::to_wstring(i) + L".jpg"; };
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
