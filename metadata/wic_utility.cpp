#include "metadata/wic_utility.h"

#include <charconv>
#include <cmath>
#include <new>

#include "base/log.h"
#include "metadata/prop_text.h"

namespace {

constexpr int kSectionExif = 0;
constexpr int kSectionGps = 1;
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
constexpr size_t kMaxLoggedValueChars = 64;
constexpr size_t kKeptValueBytes = 4096;
constexpr size_t kMaxDigitByDigitDecimals = 10;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// "45.5", "-7": what a person or a tool writes as decimal degrees in a text item. nPoint gets
// where its point stands (its length when it has none).
bool IsPlainDecimal(const std::wstring& strText, size_t& nPoint) {
    size_t i = strText.size() > 0 && strText[0] == L'-' ? 1 : 0;
    const size_t nIntStart = i;
    while (i < strText.size() && IsDigit(strText[i])) ++i;
    nPoint = i;
    if (i == nIntStart) return false;
    if (i == strText.size()) return true;
    if (strText[i] != L'.') return false;
    const size_t nFracStart = ++i;
    while (i < strText.size() && IsDigit(strText[i])) ++i;
    return i > nFracStart && i == strText.size();
}

// A coordinate text is one finite number of degrees on the earth once the hemisphere reference
// has signed it. Anything else (a double of -1e300 or -inf, a list of numbers, a negative value
// with an S or W reference, which would become "--45.5", degrees of a signed -45/1 read unsigned
// as 4294967251) names no place, so the photo has no location.
bool IsCoordinate(int nItem, const std::wstring& strText, bool bWasText, bool bNegate) {
    size_t nPoint = 0;
    const bool bPlain = IsPlainDecimal(strText, nPoint);
    if (bWasText && !bPlain) return false;
    const double dMax = nItem == kTagGpsLatitude ? kMaxLatitude : kMaxLongitude;
    // A plain unsigned decimal with few decimals, as every rational position is written, is
    // compared digit by digit with the whole number of degrees allowed: the same answer as
    // parsing it (with at most ten decimals no value above the limit rounds down to it), without
    // the parse.
    if (bPlain && strText[0] != L'-' && strText.size() - nPoint <= kMaxDigitByDigitDecimals + 1) {
        size_t nFirst = 0;
        while (nFirst + 1 < nPoint && strText[nFirst] == L'0') ++nFirst;
        if (nPoint - nFirst > 3) return false;
        unsigned nWhole = 0;
        for (size_t i = nFirst; i < nPoint; ++i)
            nWhole = nWhole * 10 + static_cast<unsigned>(strText[i] - L'0');
        const auto nMax = static_cast<unsigned>(dMax);
        if (nWhole != nMax) return nWhole < nMax;
        for (size_t i = nPoint + 1; i < strText.size(); ++i)
            if (strText[i] != L'0') return false;
        return true;
    }
    std::string narrow;
    narrow.reserve(strText.size());
    for (wchar_t c : strText) {
        if (c <= 0 || c > 0x7E) return false;
        narrow.push_back(static_cast<char>(c));
    }
    double v = 0.0;
    const char* pEnd = narrow.data() + narrow.size();
    const auto res = std::from_chars(narrow.data(), pEnd, v);
    if (res.ec != std::errc() || res.ptr != pEnd || !std::isfinite(v)) return false;
    if (bNegate && std::signbit(v)) return false;
    return std::fabs(v) <= dMax;
}

// A value from the file, fit for one log line: control characters escaped, length capped.
std::wstring LoggableValue(const std::wstring& strText) {
    std::wstring out;
    for (size_t i = 0; i < strText.size() && i < kMaxLoggedValueChars; ++i) {
        const wchar_t c = strText[i];
        if (c < 0x20 || c == 0x7F)
            out += FormatText(L"\\x%02x", static_cast<unsigned>(c));
        else
            out += c;
    }
    if (strText.size() > kMaxLoggedValueChars) out += L"...";
    return out;
}

bool IsTextValue(const CPropVariant& value) {
    const uint16_t vt = value.ElementType();
    return vt == kVtLpstr || vt == kVtLpwstr || vt == kVtBstr;
}

}  // namespace

namespace {

// The extension of a path's file name, as GetExtension, without a copy.
std::wstring_view ExtensionOf(std::wstring_view strPath) {
    // One pass from the end: the last point of the name, if one comes before a separator.
    for (size_t i = strPath.size(); i > 0; --i) {
        const wchar_t c = strPath[i - 1];
        if (c == L'.') return strPath.substr(i);
        if (c == L'\\' || c == L'/') break;
    }
    return {};
}

// "tif" or "tiff" in any case.
bool IsTiffExtension(std::wstring_view strExt) {
    if (strExt.size() != 3 && strExt.size() != 4) return false;
    auto lower = [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    };
    return lower(strExt[0]) == L't' && lower(strExt[1]) == L'i' && lower(strExt[2]) == L'f' &&
           (strExt.size() == 3 || lower(strExt[3]) == L'f');
}

}  // namespace

std::wstring GetExtension(const std::wstring& strPath) {
    return std::wstring(ExtensionOf(strPath));
}

CWicUtility::~CWicUtility() {
    Close();
    Uninit();
}

bool CWicUtility::Init() {
    if (m_bInit) return true;
    try {
        m_piFactory = CreateImageFileSystem();
        if (!m_piFactory) {
            WriteLog(kLogInfo, L"CoCreateInstance failed, calling CoInitialize()");
            m_piFactory = CreateImageFileSystem();
        }
        if (m_piFactory) {
            WriteLog(kLogInfo, L"CWicUtility::Init: WIC Ok");
            m_bInit = 1;
            return true;
        }
        WriteLog(kLogError, L"CWicUtility::Init: %s (%x), WIC will not be used",
                 MetadataErrorText(kMetaErrOpenFailed), kMetaErrOpenFailed);
    } catch (...) {
        WriteLog(kLogError, L">>> Unknown exception in CWicUtility::Init");
    }
    return false;
}

bool CWicUtility::Init(std::unique_ptr<IImageFileSystem> pFileSystem) {
    if (!pFileSystem) return Init();
    m_pSpareSource.reset();
    m_piFactory = std::move(pFileSystem);
    m_bInit = 1;
    return true;
}

void CWicUtility::Uninit() {
    m_bInit = 0;
    m_pSpareSource.reset();
    m_piFactory.reset();
}

void CWicUtility::Close() {
    // A nested block's reader in the last value holds the file open; a large value's room is
    // not kept for the next photo.
    m_value.Clear();
    if (m_value.m_bits.capacity() * sizeof(uint64_t) +
            m_value.m_doubles.capacity() * sizeof(double) + m_value.m_blob.capacity() >
        kKeptValueBytes)
        m_value = CPropVariant();
    // The file is closed; the objects that read it wait for the next one.
    if (m_piDecoder) {
        std::unique_ptr<IImageSource> pSource = m_piDecoder->ReleaseSource();
        if (pSource) m_pSpareSource = std::move(pSource);
    }
    m_bOpen = 0;
    m_strFile.clear();
}

uint64_t CWicUtility::BytesRead() const {
    return m_bOpen ? m_piDecoder->BytesRead() : 0;
}

bool CWicUtility::OpenFile(const std::wstring& strPath) {
    if (!m_bInit) Init();
    if (!m_bInit) return false;
    // A caller that forgot Close would otherwise keep the previous file open behind this one.
    // A closed reader was left as Close leaves it: nothing reads m_value until a file is open.
    if (m_bOpen) Close();
    try {
        std::unique_ptr<IImageSource> pSource = std::move(m_pSpareSource);
        std::wstring strDetail;
        int32_t hr = m_piFactory->Open(strPath, pSource, strDetail);
        if (hr != kMetaOk) m_pSpareSource = std::move(pSource);
        bool bFrameStage = false;
        if (hr == kMetaOk)
            hr = OpenImage(std::move(pSource), m_piDecoder, m_piFrameDecode, m_piQueryReader,
                           bFrameStage);
        if (hr != kMetaOk && !bFrameStage) {
            std::wstring strError = MetadataErrorText(hr);
            if (!strDetail.empty()) strError += L" (" + strDetail + L")";
            WriteLog(kLogError,
                     L"CWicUtility::OpenFile: CreateDecoderFromFilename failed, %x (%s), file : %s",
                     hr, strError, strPath);
            Close();
            return false;
        }
        if (hr != kMetaOk) {
            WriteLog(kLogError, L"CWicUtility::OpenFile: GetFrame failed, error %x (%s), file : %s",
                     hr, MetadataErrorText(hr), strPath);
            Close();
            return false;
        }
        m_bTiff = IsTiffExtension(ExtensionOf(strPath));
        m_strFile = strPath;
        m_bOpen = 1;
        return true;
    } catch (...) {
        // Reported as a failure: a half-opened file has nothing to read.
        WriteLog(kLogError, L">>> Unknown exception in CWicUtility::OpenFile, file : %s", strPath);
        Close();
        return false;
    }
}

bool CWicUtility::ReadItem(int nItem, int nSection, std::wstring& strOut) {
    bool bWasText = false;
    const bool bResult = ReadItemByNumber(nItem, nSection, strOut, bWasText);
    if (!bResult || (nItem != kTagGpsLatitude && nItem != kTagGpsLongitude) || strOut.empty())
        return bResult;

    const bool bNegate = IsNegativeHemisphere(nItem);
    if (nSection == kSectionGps && !IsCoordinate(nItem, strOut, bWasText, bNegate)) {
        WriteLog(kLogError, L"CWicUtility::ReadItem: GPS item %d out of range (%s), file : %s",
                 nItem, LoggableValue(strOut), m_strFile);
        strOut.clear();
        return false;
    }
    if (bNegate) strOut.insert(strOut.begin(), L'-');
    return bResult;
}

bool CWicUtility::ReadItemByNumber(int nItem, int nSection, std::wstring& strOut, bool& bWasText) {
    bWasText = false;
    if (!m_bInit) return false;
    strOut.clear();
    if (!m_bOpen) {
        WriteLog(kLogError, L"CWicUtility::ReadItemEx: piDecoder==%x piFrameDecode==%x",
                 static_cast<const void*>(nullptr), static_cast<const void*>(nullptr));
        return false;
    }
    // Item numbers are EXIF tags: nothing else can be in the file.
    if (nItem < 0 || nItem > 0xFFFF) return false;
    const EBlockFormat eBlock = nSection == kSectionExif  ? EBlockFormat::kExif
                                : nSection == kSectionGps ? EBlockFormat::kGps
                                                          : EBlockFormat::kIfd;
    try {
        CPropVariant& value = m_value;
        const int32_t hr =
            m_piQueryReader->GetItem(m_bTiff != 0, eBlock, static_cast<uint16_t>(nItem), value);
        if (hr == kMetaOk)
            FoundItemText(value, nItem, strOut, bWasText);
        else
            LogItemFailure(hr, nItem, nSection);
    } catch (...) {
        strOut.clear();
        WriteLog(kLogError, L">>> Unknown exception in ReadItemEx");
    }
    return !strOut.empty();
}

void CWicUtility::FoundItemText(const CPropVariant& value, int nItem, std::wstring& strOut,
                                bool& bWasText) {
    if (value.m_vt == kVtUnknown) {
        if (value.m_pBlock) WicReadEmbedItem(*value.m_pBlock, strOut);
    } else {
        bWasText = IsTextValue(value);
        PropVariantToText(value, nItem, strOut);
    }
}

void CWicUtility::LogItemFailure(int32_t hr, int nItem, int nSection) const {
    if (hr == kMetaErrNotFound) return;
    // The query text is made only here: the lookup itself goes by number.
    const wchar_t* pszBlock = nSection == kSectionExif  ? L"exif/"
                              : nSection == kSectionGps ? L"gps/"
                                                        : L"";
    WriteLog(kLogError, L"CWicUtility::ReadItemEx: %s, query %s%s{ushort=%d}, file : %s",
             MetadataErrorText(hr), m_bTiff ? L"/ifd/" : L"/app1/ifd/", pszBlock, nItem, m_strFile);
}

bool CWicUtility::IsNegativeHemisphere(int nItem) {
    const int nRef = nItem - 1;
    auto isNegative = [nItem](wchar_t c) {
        return nItem == kTagGpsLatitude ? c == L's' || c == L'S' : c == L'w' || c == L'W';
    };
    try {
        CPropVariant& value = m_value;
        const int32_t hr = m_piQueryReader->GetItem(m_bTiff != 0, EBlockFormat::kGps,
                                                    static_cast<uint16_t>(nRef), value);
        if (hr != kMetaOk) {
            LogItemFailure(hr, nRef, kSectionGps);
            return false;
        }
        // The usual reference, one ASCII letter, needs no text: the text of UTF-8 that starts
        // with an ASCII byte starts with that character, and only empty UTF-8 gives no text.
        if (value.m_vt == kVtLpstr && value.m_narrow.size() == 1) {
            const std::string& strNarrow = value.m_narrow[0];
            if (strNarrow.empty()) return false;
            const auto cFirst = static_cast<unsigned char>(strNarrow[0]);
            if (cFirst < 0x80) return isNegative(static_cast<wchar_t>(cFirst));
        }
        std::wstring strRef;
        bool bWasText = false;
        FoundItemText(value, nRef, strRef, bWasText);
        return !strRef.empty() && isNegative(strRef[0]);
    } catch (...) {
        WriteLog(kLogError, L">>> Unknown exception in ReadItemEx");
        return false;
    }
}

bool CWicUtility::ReadItemEx(const std::wstring& strQuery, std::wstring& strOut, int nItem) {
    if (!m_bInit) return false;
    strOut.clear();
    if (!m_bOpen) {
        WriteLog(kLogError, L"CWicUtility::ReadItemEx: piDecoder==%x piFrameDecode==%x",
                 static_cast<const void*>(nullptr), static_cast<const void*>(nullptr));
        return false;
    }
    try {
        CPropVariant value;
        const int32_t hr = m_piQueryReader->GetMetadataByName(strQuery, value);
        if (hr == kMetaOk) {
            if (value.m_vt == kVtUnknown) {
                if (value.m_pBlock) WicReadEmbedItem(*value.m_pBlock, strOut);
            } else {
                PropVariantToText(value, nItem, strOut);
            }
        } else if (hr != kMetaErrNotFound) {
            // Absence is normal and silent; a damaged file says what stopped the read.
            WriteLog(kLogError, L"CWicUtility::ReadItemEx: %s, query %s, file : %s",
                     MetadataErrorText(hr), strQuery, m_strFile);
        }
    } catch (...) {
        strOut.clear();
        WriteLog(kLogError, L">>> Unknown exception in ReadItemEx");
    }
    return !strOut.empty();
}

void WicReadEmbedItem(const CMetadataQueryReader& reader, std::wstring& strOut) {
    try {
        std::vector<std::wstring> names;
        if (reader.GetEnumerator(names) != kMetaOk) return;
        for (const std::wstring& strName : names) {
            CPropVariant value;
            if (reader.GetMetadataByName(strName, value) != kMetaOk) return;
            if (value.m_vt == kVtUnknown) {
                if (value.m_pBlock) WicReadEmbedItem(*value.m_pBlock, strOut);
            } else {
                std::wstring strText;
                PropVariantToText(value, 0, strText);
                if (!strText.empty()) {
                    if (!strOut.empty()) strOut += L", ";
                    strOut += strText;
                }
            }
            EBlockFormat eFormat;
            if (reader.GetContainerFormat(eFormat) != kMetaOk || eFormat == EBlockFormat::kXmpAlt)
                return;
        }
    } catch (...) {
        WriteLog(kLogError, L">>> Unknown exception in WicReadEmbedItem");
    }
}
