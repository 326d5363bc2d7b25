// The typed value of one metadata item, shaped like the platform's PROPVARIANT: a 16-bit type
// code, the vector flag in that code, and a payload. The codes are the platform's VARENUM values
// so that stored texts and the conversion rules stay the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMetadataQueryReader;

constexpr uint16_t kVtEmpty = 0;
constexpr uint16_t kVtI2 = 2;
constexpr uint16_t kVtI4 = 3;
constexpr uint16_t kVtR4 = 4;
constexpr uint16_t kVtR8 = 5;
constexpr uint16_t kVtCy = 6;
constexpr uint16_t kVtDate = 7;
constexpr uint16_t kVtBstr = 8;
constexpr uint16_t kVtError = 10;
constexpr uint16_t kVtBool = 11;
constexpr uint16_t kVtVariant = 12;
constexpr uint16_t kVtUnknown = 13;
constexpr uint16_t kVtI1 = 16;
constexpr uint16_t kVtUi1 = 17;
constexpr uint16_t kVtUi2 = 18;
constexpr uint16_t kVtUi4 = 19;
constexpr uint16_t kVtI8 = 20;   // signed rational: numerator low 32 bits, denominator high
constexpr uint16_t kVtUi8 = 21;  // unsigned rational, same packing
constexpr uint16_t kVtInt = 22;
constexpr uint16_t kVtUint = 23;
constexpr uint16_t kVtLpstr = 30;
constexpr uint16_t kVtLpwstr = 31;
constexpr uint16_t kVtFiletime = 64;
constexpr uint16_t kVtBlob = 65;
constexpr uint16_t kVtCf = 71;
constexpr uint16_t kVtClsid = 72;
constexpr uint16_t kVtVector = 0x1000;
constexpr uint16_t kVtArray = 0x2000;
constexpr uint16_t kVtByref = 0x4000;
constexpr uint16_t kVtTypeMask = 0x0FFF;

// Packs a rational the way the model carries it: numerator in the low 32 bits.
constexpr uint64_t PackRational(uint32_t nNumerator, uint32_t nDenominator) {
    return static_cast<uint64_t>(nNumerator) | (static_cast<uint64_t>(nDenominator) << 32);
}
constexpr uint32_t RationalNumerator(uint64_t nBits) {
    return static_cast<uint32_t>(nBits);
}
constexpr uint32_t RationalDenominator(uint64_t nBits) {
    return static_cast<uint32_t>(nBits >> 32);
}

// One value. Which payload member holds the data depends on the element type (vt without the
// vector flag):
//   integers, booleans, error codes, currency, rationals, FILETIME, CF, CLSID, VARIANT: m_bits
//     (the raw bits, sign-extended for signed integers); floats and DATE: m_doubles;
//   LPSTR: m_narrow; LPWSTR and BSTR: m_wide; BLOB: m_blob; UNKNOWN: m_pBlock.
// A scalar holds exactly one element; a vector holds any number (Count()).
class CPropVariant {
  public:
    uint16_t m_vt = kVtEmpty;
    std::vector<uint64_t> m_bits;
    std::vector<double> m_doubles;
    std::vector<std::string> m_narrow;
    std::vector<std::wstring> m_wide;
    std::vector<uint8_t> m_blob;
    std::shared_ptr<CMetadataQueryReader> m_pBlock;

    bool IsVector() const { return (m_vt & kVtVector) != 0; }
    uint16_t ElementType() const { return m_vt & kVtTypeMask; }
    // Elements held, whatever member holds them (bytes for a BLOB).
    size_t Count() const;
    // Back to the empty value (the PropVariantClear of the platform).
    void Clear();
};
