#include "metadata/prop_text.h"

#include <cmath>
#include <cstring>

#include "base/format.h"
#include "base/text.h"

size_t CPropVariant::Count() const {
    switch (ElementType()) {
        case kVtR4:
        case kVtR8:
        case kVtDate:
            return m_doubles.size();
        case kVtLpstr:
            return m_narrow.size();
        case kVtLpwstr:
        case kVtBstr:
            return m_wide.size();
        case kVtBlob:
            return m_blob.size();
        case kVtUnknown:
            return m_pBlock ? 1 : 0;
        case kVtEmpty:
            return 0;
        default:
            return m_bits.size();
    }
}

void CPropVariant::Clear() {
    // The lists keep their room: a value read again and again allocates once.
    m_vt = kVtEmpty;
    m_bits.clear();
    m_doubles.clear();
    m_narrow.clear();
    m_wide.clear();
    m_blob.clear();
    m_pBlock.reset();
}

namespace {

int32_t Signed32(uint32_t n) {
    return static_cast<int32_t>(n);
}

// The value of a rational element, signed or not; false when the denominator is 0.
bool RationalValue(uint64_t nBits, bool bSigned, double& dValue) {
    const uint32_t num = RationalNumerator(nBits), den = RationalDenominator(nBits);
    if (den == 0) return false;
    dValue = bSigned ? static_cast<double>(Signed32(num)) / static_cast<double>(Signed32(den))
                     : static_cast<double>(num) / static_cast<double>(den);
    return true;
}

// "cut to a 32-bit integer": a value outside that range cannot equal its cut.
bool IsWhole32(double v) {
    return std::fabs(v) < 2147483648.0 && v == static_cast<double>(static_cast<int32_t>(v));
}

std::wstring ExposureTimeText(uint64_t nBits, bool bSigned) {
    double v = 0.0;
    if (!RationalValue(nBits, bSigned, v)) return {};
    const uint32_t num = RationalNumerator(nBits), den = RationalDenominator(nBits);
    const bool bDenGreater = bSigned ? Signed32(den) > Signed32(num) : den > num;
    if (bDenGreater) {
        if (num == 0) return {};
        const double ratio = bSigned ? static_cast<double>(Signed32(den)) / Signed32(num)
                                     : static_cast<double>(den) / num;
        return FormatText(L"1/%.0f", ratio);
    }
    return FormatText(IsWhole32(v) ? L"%.0fs" : L"%.1fs", v);
}

std::wstring RationalText(uint64_t nBits, bool bSigned, int nItem) {
    double v = 0.0;
    const bool bValid = RationalValue(nBits, bSigned, v);
    switch (nItem) {
        case kTagExposureTime:
            return ExposureTimeText(nBits, bSigned);
        case kTagFNumber:
            return bValid ? FormatText(L"F%.1f", v) : std::wstring();
        case kTagShutterSpeedValue: {
            if (!bValid || !(std::fabs(v) < 100.0)) return {};
            const double t = 1.0 / std::pow(2.0, v);
            if (t > 0 && t < 0.25001) {
                // The integer part of a fast APEX value outgrows any integer type: print it
                // as a whole float instead of converting it.
                return FormatText(L"1/%.0f", std::floor(1.0 / t + 0.5));
            }
            return FormatText(L"%.1f", t);
        }
        case kTagApertureValue:
        case kTagMaxApertureValue:
            return bValid ? FormatText(L"F%.1f", std::pow(2.0, v * 0.5)) : std::wstring();
        case kTagExposureBiasValue:
            return bValid && std::fabs(v) >= 0.1 ? FormatText(L"EV %+.1f", v) : std::wstring();
        default:
            break;
    }
    if (bValid) return FormatText(L"%g", v);
    const uint32_t num = RationalNumerator(nBits), den = RationalDenominator(nBits);
    return bSigned ? FormatText(L"%d/%d", Signed32(num), Signed32(den))
                   : FormatText(L"%u/%u", num, den);
}

// Text of element i of the value; bHasRule false when the element type has no rule at all.
std::wstring ElementText(const CPropVariant& value, size_t i, bool bVector, int nItem,
                         bool& bHasRule) {
    bHasRule = true;
    const uint16_t vt = value.ElementType();
    auto bits = [&]() { return i < value.m_bits.size() ? value.m_bits[i] : 0; };
    auto dbl = [&]() { return i < value.m_doubles.size() ? value.m_doubles[i] : 0.0; };
    switch (vt) {
        case kVtI1:
        case kVtI2:
        case kVtI4:
            return FormatText(L"%d", static_cast<int32_t>(bits()));
        case kVtInt:
            if (bVector) break;
            return FormatText(L"%d", static_cast<int32_t>(bits()));
        case kVtUi1:
        case kVtUi2:
        case kVtUi4:
            return FormatText(L"%u", static_cast<uint32_t>(bits()));
        case kVtUint:
            if (bVector) break;
            return FormatText(L"%u", static_cast<uint32_t>(bits()));
        case kVtR4:
        case kVtR8:
            return FormatText(L"%g", dbl());
        case kVtDate:
            if (!bVector) break;
            return FormatText(L"%g", dbl());
        case kVtCy:
            return FormatText(L"%g", static_cast<double>(static_cast<int64_t>(bits())) / 10000.0);
        case kVtI8:
            return RationalText(bits(), true, nItem);
        case kVtUi8:
            return RationalText(bits(), false, nItem);
        case kVtLpstr:
            return i < value.m_narrow.size() ? Utf8ToWide(value.m_narrow[i]) : std::wstring();
        case kVtLpwstr:
        case kVtBstr:
            return i < value.m_wide.size() ? value.m_wide[i] : std::wstring();
        case kVtError:
            return bVector ? FormatText(L"%d", static_cast<int32_t>(bits()))
                           : FormatText(L"<Error: %u>", static_cast<uint32_t>(bits()));
        case kVtBool:
            if (bVector) return FormatText(L"%d", static_cast<int16_t>(bits()));
            return static_cast<uint16_t>(bits()) != 0 ? L"True" : L"False";
        case kVtFiletime:
        case kVtCf:
        case kVtVariant:
            if (!bVector) break;
            return L"<UnknownValue>";
        case kVtClsid:
            if (!bVector) break;
            return {};
        default:
            break;
    }
    bHasRule = false;
    return {};
}

}  // namespace

void PropVariantToText(const CPropVariant& value, int nItem, std::wstring& strOut) {
    strOut.clear();
    if (value.m_vt & (kVtArray | kVtByref)) return;
    const uint16_t vt = value.ElementType();
    bool bHasRule = true;
    if (!value.IsVector()) {
        if (value.Count() == 0) return;
        strOut = ElementText(value, 0, false, nItem, bHasRule);
        return;
    }
    if (vt == kVtI8 || vt == kVtUi8) {
        if (nItem == kTagGpsLatitude || nItem == kTagGpsLongitude) {
            FormatGpsCoordinate(value.m_bits.size(), value.m_bits.data(), strOut);
            return;
        }
        if (nItem == kTagLensSpecification) {
            FormatLensSpecification(value.m_bits.size(), value.m_bits.data(), strOut);
            return;
        }
    }
    const size_t n =
        value.Count() < kMaxVectorElementsShown ? value.Count() : kMaxVectorElementsShown;
    for (size_t i = 0; i < n; ++i) {
        std::wstring element = ElementText(value, i, true, nItem, bHasRule);
        if (!bHasRule) {
            strOut.clear();
            return;
        }
        if (element.empty()) continue;
        if (!strOut.empty()) strOut += L',';
        strOut += element;
    }
}

namespace {

// "%.7f" of a value from 0 to 2^40, digit for digit as printf writes it, for every photo's two
// coordinates at a fraction of printf's cost: the double is m / 2^s exactly, so its 10^7-fold
// is m * 10^7 / 2^s, rounded to the nearest integer with ties to even (as printf rounds) in
// 128-bit integers. False, writing nothing, for any other value.
bool WriteSevenDecimals(double value, std::wstring& strOut) {
#if defined(__SIZEOF_INT128__)
    constexpr double kLimit = 1099511627776.0;  // 2^40: the result fits 64 bits
    constexpr uint64_t kScale = 10000000;
    if (!(value >= 0.0 && value < kLimit)) return false;
    // The mantissa and exponent are taken from the double's bits: the value is not negative, so
    // its sign bit is clear.
    uint64_t nBits = 0;
    static_assert(sizeof nBits == sizeof value);
    std::memcpy(&nBits, &value, sizeof nBits);
    const auto nBiased = static_cast<int>(nBits >> 52);
    uint64_t nMantissa = nBits & ((uint64_t{1} << 52) - 1);
    if (nBiased != 0) nMantissa |= uint64_t{1} << 52;
    // value = nMantissa / 2^nShift; nShift > 13 below the limit, at least 1074 for a subnormal.
    const int nShift = nBiased != 0 ? 1075 - nBiased : 1074;
    using uint128 = unsigned __int128;
    const uint128 nScaled = static_cast<uint128>(nMantissa) * kScale;  // below 2^77
    uint64_t nUnits = 0;  // the value in units of 10^-7
    if (nShift < 128) {
        const uint128 nHalf = uint128{1} << (nShift - 1);
        const uint128 nRest = nScaled & ((uint128{1} << nShift) - 1);
        nUnits = static_cast<uint64_t>(nScaled >> nShift);
        if (nRest > nHalf || (nRest == nHalf && (nUnits & 1) != 0)) ++nUnits;
    }
    wchar_t szText[32];
    wchar_t* const pEnd = szText + sizeof szText / sizeof szText[0];
    wchar_t* p = pEnd;
    // Below 10^7: 32-bit arithmetic serves the decimals, two digits a step.
    auto nFraction = static_cast<uint32_t>(nUnits % kScale);
    uint64_t nWhole = nUnits / kScale;
    for (int i = 0; i < 3; ++i, nFraction /= 100) {
        const uint32_t nPair = nFraction % 100;
        *--p = static_cast<wchar_t>(L'0' + nPair % 10);
        *--p = static_cast<wchar_t>(L'0' + nPair / 10);
    }
    *--p = static_cast<wchar_t>(L'0' + nFraction);
    *--p = L'.';
    do {
        *--p = static_cast<wchar_t>(L'0' + nWhole % 10);
        nWhole /= 10;
    } while (nWhole != 0);
    const auto nLen = static_cast<size_t>(pEnd - p);
    // One more than the text: CWicUtility::ReadItem puts the sign of a southern or western
    // coordinate before it, in place instead of in a new allocation.
    strOut.reserve(nLen + 1);
    strOut.assign(p, nLen);
    return true;
#else
    (void)value;
    (void)strOut;
    return false;
#endif
}

}  // namespace

void FormatGpsCoordinate(size_t nCount, const uint64_t* pElements, std::wstring& strOut) {
    if (nCount == 0 || !pElements || RationalDenominator(pElements[0]) == 0) return;
    auto part = [&](size_t i) {
        if (i >= nCount || RationalDenominator(pElements[i]) == 0) return 0.0;
        return static_cast<double>(RationalNumerator(pElements[i])) /
               static_cast<double>(RationalDenominator(pElements[i]));
    };
    const double degrees = part(0), minutes = part(1), seconds = part(2);
    const double value = (minutes / 60.0 + degrees) + seconds / 3600.0;
    if (!WriteSevenDecimals(value, strOut)) strOut = FormatText(L"%.7f", value);
}

void FormatLensSpecification(size_t nCount, const uint64_t* pElements, std::wstring& strOut) {
    if (nCount < 4 || !pElements) return;
    std::wstring parts[4];
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t num = RationalNumerator(pElements[i]),
                       den = RationalDenominator(pElements[i]);
        if (den == 0) {
            parts[i] = L"?";
            continue;
        }
        const double v = static_cast<double>(num) / static_cast<double>(den);
        parts[i] = FormatText(i < 2 ? L"%.0f" : L"%g", v);
    }
    std::wstring text = parts[0] == parts[1] ? FormatText(L"%smm", parts[0])
                                             : FormatText(L"%s-%smm", parts[0], parts[1]);
    text += parts[2] == parts[3] ? FormatText(L" F%s", parts[2])
                                 : FormatText(L" F%s-%s", parts[2], parts[3]);
    strOut = text;
}
