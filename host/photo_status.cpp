#include "host/photo_status.h"

namespace {
// Views with their lengths known when compiled: two log lines a photo are compared with them.
constexpr std::wstring_view kRequestLine = L"QueryServer: ";
constexpr std::wstring_view kCachedLine = L"Cached";
constexpr std::wstring_view kNoPositionHead = L"Missing gps location";
// The plug-in's own error texts all start so (HTTP and transport errors, unknown exceptions).
constexpr std::wstring_view kPlugInErrorHead = L"Locnm: ";

bool StartsWith(std::wstring_view strText, std::wstring_view strHead) {
    return strText.size() >= strHead.size() && strText.compare(0, strHead.size(), strHead) == 0;
}

std::string Counted(size_t n, const char* pszOne, const char* pszMany) {
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}
}  // namespace

const char* PhotoStatusName(EPhotoStatus eStatus) {
    switch (eStatus) {
        case EPhotoStatus::kOk:
            return "ok";
        case EPhotoStatus::kCached:
            return "cached";
        case EPhotoStatus::kNoPosition:
            return "no-position";
        case EPhotoStatus::kUnreadable:
            return "unreadable";
        case EPhotoStatus::kLookupFailed:
            return "lookup-failed";
    }
    return "unknown";
}

void CPhotoTrace::AddLine(bool bError, std::wstring_view strText) {
    if (bError) {
        m_bErrorSinceRequest = true;
        m_strLastError = strText;
        return;
    }
    if (strText == kCachedLine) {
        m_bCached = true;
    } else if (StartsWith(strText, kNoPositionHead)) {
        m_bNoPosition = true;
    } else if (StartsWith(strText, kRequestLine)) {
        // A retry starts afresh: errors of an earlier attempt do not fail a later success.
        m_bErrorSinceRequest = false;
    }
}

EPhotoStatus CPhotoTrace::Classify(const wchar_t* pszAnswer, std::wstring& strError) const {
    strError.clear();
    if (!pszAnswer) {
        if (m_bNoPosition) return EPhotoStatus::kNoPosition;
        strError = m_strLastError.empty() ? L"the photo could not be read" : m_strLastError;
        return EPhotoStatus::kUnreadable;
    }
    if (m_bCached) return EPhotoStatus::kCached;
    const std::wstring strAnswer = pszAnswer;
    if (strAnswer.empty() || m_bErrorSinceRequest || StartsWith(strAnswer, kPlugInErrorHead)) {
        // The answer is the service's own error text when "ErrMsg" is on; it says the most.
        strError = !strAnswer.empty()        ? strAnswer
                   : !m_strLastError.empty() ? m_strLastError
                                             : L"the place lookup gave no caption";
        return EPhotoStatus::kLookupFailed;
    }
    return EPhotoStatus::kOk;
}

void CRunTally::Add(EPhotoStatus eStatus) {
    ++m_counts[static_cast<size_t>(eStatus)];
}

size_t CRunTally::Total() const {
    size_t n = 0;
    for (size_t nCount : m_counts) n += nCount;
    return n;
}

std::string CRunTally::Summary() const {
    const size_t nCached = Count(EPhotoStatus::kCached);
    std::string strText = Counted(Total(), "photo", "photos") + ": " +
                          std::to_string(Count(EPhotoStatus::kOk) + nCached) + " captioned";
    if (nCached) strText += " (" + std::to_string(nCached) + " from the cache)";
    if (size_t n = Count(EPhotoStatus::kNoPosition))
        strText += ", " + std::to_string(n) + " without a position";
    if (size_t n = Count(EPhotoStatus::kLookupFailed))
        strText += ", " + Counted(n, "lookup failed", "lookups failed");
    if (size_t n = Count(EPhotoStatus::kUnreadable))
        strText += ", " + std::to_string(n) + " could not be read";
    return strText;
}

int CRunTally::ExitStatus() const {
    if (Count(EPhotoStatus::kUnreadable)) return 1;
    if (Count(EPhotoStatus::kLookupFailed)) return kExitLookupFailed;
    return 0;
}
