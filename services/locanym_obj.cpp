#include "services/locanym_obj.h"

#include "base/log.h"
#include "http/url.h"

namespace {
bool IsFinalStatus(int nResult) {
    return nResult <= 0 || nResult == 400 || nResult == 401 || nResult == 403;
}
}  // namespace

CLocanymObj::CLocanymObj(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
    : m_strHostName(L"Slidora"), m_settings(settings), m_stopFlag(stopFlag) {}
CLocanymObj::~CLocanymObj() = default;

void CLocanymObj::AppendServerError(const std::wstring& strText) {
    if (!m_strError.empty()) m_strError += L"\r\n";
    m_strError += strText;
}

int CLocanymObj::QueryServer(const std::wstring& strBaseUrl, const CParamList& params,
                             std::string& strAnswer) {
    m_bUnreachable = false;
    std::wstring strBase;
    if (!ApplyEndpointOverride(strBaseUrl, strBase, m_strError)) {
        WriteLog(kLogError, L"QueryServer: %s", m_strError);
        strAnswer.clear();
        return kQueryFailed;
    }
    int nResult = kQueryFailed;
    for (int nAttempt = 1; nAttempt <= kMaxQueryAttempts; ++nAttempt) {
        // Each attempt builds from the caller's list, so a retry carries the key only once.
        CParamList attemptParams;
        attemptParams.reserve(params.size() + 1);  // and the key: no second allocation
        attemptParams.assign(params.begin(), params.end());
        BuildRequestUrl(m_strUrl, strBase, attemptParams, 0);
        // The parameter the service appended is its key: logs are pasted into bug reports.
        m_strLogUrl = MaskQueryValue(m_strUrl, attemptParams.size() > params.size()
                                                   ? attemptParams.back().m_strName
                                                   : std::wstring());
        WriteLog(kLogInfo, L"QueryServer: %s", m_strLogUrl);
        m_strError.clear();
        nResult = QueryServerLow(m_strUrl, strAnswer, m_strLogUrl);
        if (IsFinalStatus(nResult)) break;
    }
    return nResult;
}

int CLocanymObj::QueryServerLow(const std::wstring& strUrl, std::string& strAnswer,
                                const std::wstring& strLogUrl) {
    SHttpQuery query;
    query.strUrl = strUrl;
    query.strLogUrl = strLogUrl;
    query.nStallTimeoutSeconds = m_nStallTimeoutSeconds;
    query.nAttemptTimeoutSeconds = m_nAttemptTimeoutSeconds;
    query.pStopFlag = &m_stopFlag;
    SHttpQueryResult result = HttpQuery(query);
    strAnswer = std::move(result.strBody);
    m_bUnreachable = result.bUnreachable;
    // A success leaves an error text set by the caller in place.
    if (!result.strError.empty()) m_strError = std::move(result.strError);
    return result.nResult;
}
