#include "metadata/prop_text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

CPropVariant Bits(uint16_t vt, std::vector<uint64_t> bits) {
    CPropVariant v;
    v.m_vt = vt;
    v.m_bits = std::move(bits);
    return v;
}

CPropVariant Doubles(uint16_t vt, std::vector<double> values) {
    CPropVariant v;
    v.m_vt = vt;
    v.m_doubles = std::move(values);
    return v;
}

uint64_t R(uint32_t num, uint32_t den) {
    return PackRational(num, den);
}
uint64_t SR(int32_t num, int32_t den) {
    return PackRational(static_cast<uint32_t>(num), static_cast<uint32_t>(den));
}
uint64_t Neg(int64_t n) {
    return static_cast<uint64_t>(n);
}

std::wstring Text(const CPropVariant& v, int nItem = 0) {
    std::wstring s = L"stale";
    PropVariantToText(v, nItem, s);
    return s;
}

struct SCase {
    const char* pszName;
    CPropVariant value;
    int nItem;
    const wchar_t* pszExpected;
};

constexpr uint16_t V = kVtVector;

TEST(PropVariantToText, FollowsTheRuleOfEachTypeAndItem) {
    CPropVariant narrow;
    narrow.m_vt = kVtLpstr;
    narrow.m_narrow = {"N"};
    CPropVariant wide;
    wide.m_vt = kVtLpwstr;
    wide.m_wide = {L"caf\u00e9"};
    CPropVariant latitudeAsText = narrow;
    latitudeAsText.m_narrow = {"48 51 24.0"};
    CPropVariant block;
    block.m_vt = kVtUnknown;
    CPropVariant blob;
    blob.m_vt = kVtBlob;
    blob.m_blob = {1, 2, 3};

    const SCase cases[] = {
        {"GPS latitude", Bits(kVtUi8 | V, {R(45, 1), R(27, 1), R(511, 10)}), 2, L"45.4641944"},
        {"GPS minutes 0/0 dropped", Bits(kVtUi8 | V, {R(12, 1), R(0, 0), R(30, 1)}), 2,
         L"12.0083333"},
        {"GPS degrees 45/0", Bits(kVtUi8 | V, {R(45, 0), R(1, 1), R(1, 1)}), 2, L""},
        {"GPS no elements", Bits(kVtUi8 | V, {}), 4, L""},
        {"GPS fourth ignored", Bits(kVtUi8 | V, {R(1, 1), R(30, 1), R(0, 1), R(99, 1)}), 2,
         L"1.5000000"},
        {"GPS signed read unsigned", Bits(kVtI8 | V, {SR(-1, 1)}), 2, L"4294967295.0000000"},
        {"GPS scalar rational", Bits(kVtUi8, {R(91, 2)}), 2, L"45.5"},
        {"GPS scalar zero denominator", Bits(kVtUi8, {R(5, 0)}), 2, L"5/0"},
        {"GPS coordinate as text", latitudeAsText, 2, L"48 51 24.0"},
        {"unsigned rational 5/0", Bits(kVtUi8, {R(5, 0)}), 0, L"5/0"},
        {"signed rational -5/0", Bits(kVtI8, {SR(-5, 0)}), 0, L"-5/0"},
        {"signed rational", Bits(kVtI8, {SR(-3, 4)}), 0, L"-0.75"},
        {"UI4 vector", Bits(kVtUi4 | V, {1, 2, 3}), 0, L"1,2,3"},
        {"I1 vector", Bits(kVtI1 | V, {Neg(-1), 5}), 0, L"-1,5"},
        {"R4 vector", Doubles(kVtR4 | V, {1.5, 1e20}), 0, L"1.5,1e+20"},
        {"array flag", Bits(kVtUi4 | kVtArray, {1}), 0, L""},
        {"LPWSTR", wide, 0, L"caf\u00e9"},
        {"nested block", block, 0, L""},
        {"blob", blob, 0, L""},
    };
    for (const SCase& c : cases) EXPECT_EQ(Text(c.value, c.nItem), c.pszExpected) << c.pszName;
}

TEST(PropVariantToText, ShowsTheFirst250ElementsOnly) {
    std::vector<uint64_t> bits(300, 7);
    bits[249] = 8;
    bits[250] = 9;
    const std::wstring text = Text(Bits(kVtUi1 | kVtVector, bits));
    EXPECT_EQ(std::count(text.begin(), text.end(), L','), 249);
    EXPECT_EQ(text.substr(text.size() - 2), L",8");
}

TEST(PropVariantToText, EmptyElementTextsAddNoSeparator) {
    CPropVariant v;
    v.m_vt = kVtLpstr | kVtVector;
    v.m_narrow = {"a", "", "b"};
    EXPECT_EQ(Text(v), L"a,b");
}

TEST(FormatGpsCoordinate, UsesAPointWhateverTheLocale) {
    // A locale with a decimal comma, if the system has one; the texts must not change.
    const char* pszOld = std::setlocale(LC_ALL, nullptr);
    const std::string old = pszOld ? pszOld : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const uint64_t elements[] = {R(45, 1), R(27, 1), R(511, 10)};
    std::wstring s;
    FormatGpsCoordinate(3, elements, s);
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(s, L"45.4641944");
}

TEST(FormatGpsCoordinate, LeavesTheTextAloneWhenThereIsNothingToWrite) {
    std::wstring s = L"keep";
    FormatGpsCoordinate(0, nullptr, s);
    const uint64_t zero[] = {R(45, 0)};
    FormatGpsCoordinate(1, zero, s);
    EXPECT_EQ(s, L"keep");
}

}  // namespace
