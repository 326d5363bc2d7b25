#include "metadata/wic_utility.h"

#include <charconv>
#include <new>

#include "base/log.h"
#include "base/text.h"
#include "metadata/prop_text.h"

namespace {

constexpr int kSectionExif = 0;
constexpr int kSectionGps = 1;
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;

// A coordinate text is a number; the degrees of one that lies outside the earth (such as a
// signed -45/1 read unsigned as 4294967251) name no place, so the photo has no location.
bool IsCoordinateInRange(int nItem, const std::wstring& strText) {
    const std::string narrow = WideToUtf8(strText);
    double v = 0.0;
    auto res = std::from_chars(narrow.data(), narrow.data() + narrow.size(), v);
    if (res.ec != std::errc()) return true;  // not a number this check can judge
    return v <= (nItem == kTagGpsLatitude ? kMaxLatitude : kMaxLongitude);
}

}  // namespace

std::wstring GetExtension(const std::wstring& strPath) {
    const size_t nSlash = strPath.find_last_of(L"\\/");
    const size_t nNameStart = nSlash == std::wstring::npos ? 0 : nSlash + 1;
    const size_t nDot = strPath.rfind(L'.');
    if (nDot == std::wstring::npos || nDot < nNameStart) return {};
    return strPath.substr(nDot + 1);
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
    m_piFactory = std::move(pFileSystem);
    m_bInit = 1;
    return true;
}

void CWicUtility::Uninit() {
    m_bInit = 0;
    m_piFactory.reset();
}

void CWicUtility::Close() {
    m_piQueryReader.reset();
    m_piFrameDecode.reset();
    m_piDecoder.reset();
    m_strFile.clear();
}

uint64_t CWicUtility::BytesRead() const {
    return m_piDecoder ? m_piDecoder->BytesRead() : 0;
}

bool CWicUtility::OpenFile(const std::wstring& strPath) {
    if (!m_bInit) Init();
    if (!m_bInit) return false;
    // A caller that forgot Close would otherwise keep the previous file open behind this one.
    Close();
    try {
        std::unique_ptr<IImageSource> pSource;
        std::wstring strDetail;
        int32_t hr = m_piFactory->Open(strPath, pSource, strDetail);
        if (hr == kMetaOk) hr = CImageDecoder::Create(std::move(pSource), m_piDecoder);
        if (hr != kMetaOk) {
            std::wstring strError = MetadataErrorText(hr);
            if (!strDetail.empty()) strError += L" (" + strDetail + L")";
            WriteLog(kLogError,
                     L"CWicUtility::OpenFile: CreateDecoderFromFilename failed, %x (%s), file : %s",
                     hr, strError, strPath);
            Close();
            return false;
        }
        hr = m_piDecoder->GetFrame(0, m_piFrameDecode);
        if (hr != kMetaOk) {
            WriteLog(kLogError, L"CWicUtility::OpenFile: GetFrame failed, error %x (%s), file : %s",
                     hr, MetadataErrorText(hr), strPath);
            Close();
            return false;
        }
        const std::wstring strExt = GetExtension(strPath);
        m_bTiff = EqualsNoCaseAscii(strExt, L"tif") || EqualsNoCaseAscii(strExt, L"tiff");
        m_strFile = strPath;
        return true;
    } catch (...) {
        // Reported as a failure: a half-opened file has nothing to read.
        WriteLog(kLogError, L">>> Unknown exception in CWicUtility::OpenFile, file : %s", strPath);
        Close();
        return false;
    }
}

bool CWicUtility::ReadItem(int nItem, int nSection, std::wstring& strOut) {
    const wchar_t* pszRoot = m_bTiff ? L"/ifd/" : L"/app1/ifd/";
    const wchar_t* pszBlock = nSection == kSectionExif  ? L"exif/"
                              : nSection == kSectionGps ? L"gps/"
                                                        : L"";
    const std::wstring strQuery = FormatText(L"%s%s{ushort=%d}", pszRoot, pszBlock, nItem);
    const bool bResult = ReadItemEx(strQuery, strOut, nItem);
    if (!bResult || (nItem != kTagGpsLatitude && nItem != kTagGpsLongitude) || strOut.empty())
        return bResult;

    if (nSection == kSectionGps && !IsCoordinateInRange(nItem, strOut)) {
        WriteLog(kLogError, L"CWicUtility::ReadItem: GPS item %d out of range (%s), file : %s",
                 nItem, strOut, m_strFile);
        strOut.clear();
        return false;
    }
    std::wstring strRef;
    if (ReadItem(nItem - 1, kSectionGps, strRef)) {
        const std::wstring strFirst = ToLowerAscii(strRef.substr(0, 1));
        if ((nItem == kTagGpsLatitude && strFirst == L"s") ||
            (nItem == kTagGpsLongitude && strFirst == L"w"))
            strOut.insert(0, L"-");
    }
    return bResult;
}

bool CWicUtility::ReadItemEx(const std::wstring& strQuery, std::wstring& strOut, int nItem) {
    if (!m_bInit) return false;
    strOut.clear();
    if (!m_piDecoder || !m_piFrameDecode) {
        WriteLog(kLogError, L"CWicUtility::ReadItemEx: piDecoder==%x piFrameDecode==%x",
                 static_cast<const void*>(m_piDecoder.get()),
                 static_cast<const void*>(m_piFrameDecode.get()));
        return false;
    }
    try {
        if (!m_piQueryReader) {
            const int32_t hr = m_piFrameDecode->GetMetadataQueryReader(m_piQueryReader);
            if (hr != kMetaOk) {
                WriteLog(kLogError,
                         L"CWicUtility::ReadItem: GetMetadataQueryReader failed, error %x, file:%s",
                         hr, m_strFile);
                return false;
            }
        }
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
