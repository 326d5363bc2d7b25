// One query: agent strings, body pieces, size cap, stop flag, error texts and log lines. The
// transfer itself is HttpGet (http_client.h).
#include "http/query.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/log.h"
#include "base/text.h"
#include "http/error_texts.h"
#include "http/http_client.h"
#include "http/url.h"

namespace {

constexpr int kStatusOk = 200;
constexpr int kUserAgentCount = 20;
constexpr size_t kMaxLoggedAnswerBytes = 4 * kLogBufferChars;

const wchar_t* const kUserAgents[kUserAgentCount] = {
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36",
    L"Mozilla/5.0 (Macintosh; Intel Mac OS X 13_5) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36",
    L"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36",
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:115.0) Gecko/20100101 Firefox/115.0",
    L"Mozilla/5.0 (Macintosh; Intel Mac OS X 13.5; rv:115.0) Gecko/20100101 Firefox/115.0",
    L"Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0",
    L"Mozilla/5.0 (Macintosh; Intel Mac OS X 13_5) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    L"Version/16.5 Safari/605.1.15",
    L"Mozilla/5.0 (iPhone; CPU iPhone OS 16_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    L"Gecko) Version/16.5 Mobile/15E148 Safari/604.1",
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36 Edg/115.0.0.0",
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36 OPR/100.0.0.0",
    L"Mozilla/5.0 (Linux; Android 13; SM-G991B) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Mobile Safari/537.36",
    L"Mozilla/5.0 (Android 13; Mobile; rv:115.0) Gecko/115.0 Firefox/115.0",
    L"Mozilla/5.0 (iPad; CPU OS 16_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    L"Version/16.5 Mobile/15E148 Safari/604.1",
    L"Mozilla/5.0 (Linux; Android 13; SAMSUNG SM-G998B) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"SamsungBrowser/20.0 Chrome/115.0.0.0 Mobile Safari/537.36",
    // The same as the first row, so that agent is drawn twice as often.
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36",
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/115.0.0.0 Safari/537.36 Vivaldi/6.2",
    L"Mozilla/5.0 (Linux; U; Android 13; en-US; SM-G998B) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Version/13.0.0.0 UCBrowser/13.4.0.1306 Mobile Safari/537.36",
    L"Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/98.0.4758.102 Safari/537.36",
    L"Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:91.0) Gecko/20100101 Firefox/91.0",
    L"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    L"Version/15.0 Safari/605.1.15",
};

// Headers of every request besides the agent: text wanted, and no cache on the way may answer.
const char* const kRequestHeaders[] = {"Accept: text/*", "Pragma: no-cache",
                                       "Cache-Control: no-cache"};

// Both made once: every request sends them unchanged.
const std::string& UserAgentUtf8(int nRow) {
    static const std::vector<std::string> agents = [] {
        std::vector<std::string> texts;
        for (const wchar_t* pszAgent : kUserAgents) texts.push_back(WideToUtf8(pszAgent));
        return texts;
    }();
    return agents[static_cast<size_t>(nRow)];
}

const std::vector<std::string>& RequestHeaders() {
    static const std::vector<std::string> headers(std::begin(kRequestHeaders),
                                                  std::end(kRequestHeaders));
    return headers;
}

int UnknownException(std::wstring& strError) {
    WriteLog(kLogError, L"QueryServerLow(), Unknown exception");
    strError = LoadStringText(kIdsUnknownException);
    return kQueryException;
}

// Takes the body as it arrives and cuts it into pieces as a line reader would: a piece ends
// after a line feed or when it holds kAnswerPieceBytes bytes; carriage returns are left out,
// and a zero byte ends what the piece contributes. The stop flag is read after every piece.
// The bytes go straight into the answer; an unfinished piece that is neither kept
// (KeepPartialPiece) nor finished (Finish) is taken out again when the reader goes.
class CAnswerReader : public IHttpAnswerSink {
  public:
    CAnswerReader(std::wstring& strError, const std::wstring& strUrl, std::string& strAnswer,
                  const std::atomic<int32_t>* pStopFlag, size_t nMaxAnswerBytes,
                  int32_t nTimeLimitSeconds)
        : m_strError(strError),
          m_strUrl(strUrl),
          m_strAnswer(strAnswer),
          m_pStopFlag(pStopFlag),
          m_nMaxAnswerBytes(nMaxAnswerBytes),
          m_deadline(std::chrono::steady_clock::now() + std::chrono::seconds(nTimeLimitSeconds)),
          m_nPieceStart(strAnswer.size()) {}
    ~CAnswerReader() override { m_strAnswer.resize(m_nPieceStart); }
    CAnswerReader(const CAnswerReader&) = delete;
    CAnswerReader& operator=(const CAnswerReader&) = delete;

    void OnStatus(int nStatus) override {
        m_nStatus = nStatus;
        if (nStatus == kStatusOk || nStatus <= 0) return;
        WriteLog(kLogError, L"QueryServerLow(), HTTP Error %d, url=%s", nStatus, m_strUrl);
        m_strError = FormatText(LoadStringText(kIdsHttpError), nStatus);
    }

    bool OnBody(const char* pData, size_t nSize) override {
        if (nSize > m_nMaxAnswerBytes - m_nReceived) {
            m_bTooLarge = true;
            return false;
        }
        m_nReceived += nSize;
        const char* p = pData;
        const char* const pEnd = pData + nSize;
        while (p < pEnd) {
            // Copy up to the next carriage return, line feed or the end of the piece at once.
            const size_t nRoom = kAnswerPieceBytes - m_nPieceBytes;
            const char* pStop = p + std::min(nRoom, static_cast<size_t>(pEnd - p));
            const char* q = FindByte(p, pStop, '\n');
            q = FindByte(p, q, '\r');
            m_strAnswer.append(p, q);
            m_nPieceBytes += static_cast<size_t>(q - p);
            if (q == pStop) {
                p = q;
                if (m_nPieceBytes == kAnswerPieceBytes && !EndPiece()) return false;
                continue;
            }
            p = q + 1;
            if (*q == '\r') continue;
            m_strAnswer.push_back('\n');
            if (!EndPiece()) return false;
        }
        return true;
    }

    bool ShouldContinue() override { return !StopSeen() && !TimeUp(); }

    // The body ended: its last piece, if it had no line feed, counts too.
    void Finish() {
        if (m_nPieceBytes != 0) EndPiece();
    }

    // The transfer broke: what came of the unfinished piece stays in the answer.
    void KeepPartialPiece() {
        const size_t nZero = m_strAnswer.find('\0', m_nPieceStart);
        if (nZero != std::string::npos) m_strAnswer.resize(nZero);
        m_nPieceStart = m_strAnswer.size();
        m_nPieceBytes = 0;
    }

    int Status() const { return m_nStatus; }
    bool Stopped() const { return m_bStopped; }
    bool TimedOut() const { return m_bTimedOut; }
    bool TooLarge() const { return m_bTooLarge; }

  private:
    // The first c in [p, pEnd), or pEnd. Answers have few line breaks and fewer carriage
    // returns: two library scans cost less than one loop over every byte for both.
    static const char* FindByte(const char* p, const char* pEnd, char c) {
        const void* pFound = std::memchr(p, c, static_cast<size_t>(pEnd - p));
        return pFound ? static_cast<const char*>(pFound) : pEnd;
    }

    bool EndPiece() {
        KeepPartialPiece();
        return !StopSeen() && !TimeUp();
    }

    bool TimeUp() {
        if (!m_bTimedOut && std::chrono::steady_clock::now() >= m_deadline) m_bTimedOut = true;
        return m_bTimedOut;
    }

    bool StopSeen() {
        if (m_bStopped) return true;
        if (!m_pStopFlag || m_pStopFlag->load() == 0) return false;
        m_bStopped = true;
        WriteLog(kLogError, L"QueryServerLow(), aborted by user");
        return true;
    }

    std::wstring& m_strError;
    const std::wstring& m_strUrl;
    std::string& m_strAnswer;
    const std::atomic<int32_t>* m_pStopFlag;
    const size_t m_nMaxAnswerBytes;
    const std::chrono::steady_clock::time_point m_deadline;
    size_t m_nPieceStart;      // where the unfinished piece begins in m_strAnswer
    size_t m_nPieceBytes = 0;  // bytes taken into that piece, a zero byte and those after it too
    size_t m_nReceived = 0;
    int m_nStatus = 0;
    bool m_bStopped = false;
    bool m_bTooLarge = false;
    bool m_bTimedOut = false;
};

}  // namespace

namespace {
std::mutex g_configMutex;

// Built on first use: the module's start-up sets it from another file's static constructor.
SHttpConfig& Config() {
    static SHttpConfig config;
    return config;
}
}  // namespace

SHttpConfig ReadHttpConfigFromEnvironment() {
    SHttpConfig config;
    if (const char* pszUrl = std::getenv("LOCANYM_SERVICE_URL"))
        config.strServiceUrl = Utf8ToWide(pszUrl);
    if (const char* pszFile = std::getenv("LOCANYM_CA_FILE")) config.strCaFile = pszFile;
    return config;
}

void SetHttpConfig(const SHttpConfig& config) {
    std::lock_guard<std::mutex> lock(g_configMutex);
    Config() = config;
}

SHttpConfig GetHttpConfig() {
    std::lock_guard<std::mutex> lock(g_configMutex);
    return Config();
}

namespace {
int RunQuery(const SHttpQuery& query, SHttpQueryResult& answer);
}  // namespace

SHttpQueryResult HttpQuery(const SHttpQuery& query) {
    SHttpQueryResult answer;
    answer.strUrl = query.strUrl;
    answer.nResult = RunQuery(query, answer);
    return answer;
}

namespace {
int RunQuery(const SHttpQuery& query, SHttpQueryResult& answer) {
    std::string& strAnswer = answer.strBody;
    std::wstring& strError = answer.strError;
    // Log lines show the URL with its key masked; the request goes to query.strUrl.
    const std::wstring& strUrl = query.strLogUrl.empty() ? query.strUrl : query.strLogUrl;
    const int nAgentRow = std::rand() % kUserAgentCount;
    strAnswer.clear();

    SUrlParts url;
    if (!ParseUrl(query.strUrl, url)) {
        WriteLog(kLogError, L"QueryServerLow(), AfxParseURL failed, %s", strUrl);
        strError = LoadStringText(kIdsWrongUrlFormat);
        return kQueryFailed;
    }
    if (url.nServiceType != kInetServiceHttp && url.nServiceType != kInetServiceHttps) {
        WriteLog(kLogError, L"QueryServerLow(), Unsupported service type (%d), %s",
                 url.nServiceType, strUrl);
        strError = LoadStringText(kIdsWrongUrlFormat);
        return kQueryFailed;
    }

    int nResult = 0;
    try {
        SHttpGetRequest request;
        request.strUrl = WideToUtf8(query.strUrl);
        request.strUserAgent = UserAgentUtf8(nAgentRow);
        request.pHeaders = &RequestHeaders();
        request.strCaFile = GetHttpConfig().strCaFile;
        request.nConnectTimeoutMs = query.nConnectTimeoutMs;
        request.nStallTimeoutSeconds =
            query.nStallTimeoutSeconds > 0 ? query.nStallTimeoutSeconds : 1;

        CAnswerReader reader(strError, strUrl, strAnswer, query.pStopFlag, query.nMaxAnswerBytes,
                             query.nAttemptTimeoutSeconds > 0 ? query.nAttemptTimeoutSeconds : 1);
        const SHttpGetResult result = HttpGet(request, reader);
        switch (result.eOutcome) {
            case EHttpOutcome::kNoRequest:
                strError = LoadStringText(kIdsOpenRequestFailed);
                // A missing HTTP library is named, so the user knows what to install.
                if (!result.strErrorText.empty())
                    strError += L", " + Utf8ToWide(result.strErrorText);
                WriteLog(kLogError, L"QueryServerLow(), OpenRequest failed, %s, %s", strUrl,
                         Utf8ToWide(result.strErrorText));
                return kQueryFailed;
            case EHttpOutcome::kNotSent:
                strError = LoadStringText(kIdsSendRequestFailed);
                WriteLog(kLogError, L"QueryServerLow(), SendRequest failed");
                return kQueryFailed;
            case EHttpOutcome::kSinkException:
                return UnknownException(strError);
            case EHttpOutcome::kEndedBySink:
                if (reader.Stopped()) return kQueryStopped;
                if (reader.TimedOut()) {
                    reader.KeepPartialPiece();
                    const int nLimit =
                        query.nAttemptTimeoutSeconds > 0 ? query.nAttemptTimeoutSeconds : 1;
                    WriteLog(kLogError, L"QueryServerLow(), no complete answer within %d s",
                             nLimit);
                    strError = FormatText(LoadStringText(kIdsTimeLimit), nLimit);
                    answer.bUnreachable = true;
                    return kQueryException;
                }
                if (reader.TooLarge()) {
                    const std::wstring strWhy =
                        FormatText(L"answer larger than %u bytes", query.nMaxAnswerBytes);
                    WriteLog(kLogError, L"QueryServerLow(), Error %d (%s)", result.nErrorCode,
                             strWhy);
                    strError =
                        FormatText(LoadStringText(kIdsTransportError), result.nErrorCode, strWhy);
                    return kQueryException;
                }
                [[fallthrough]];
            case EHttpOutcome::kTransportError:
                reader.KeepPartialPiece();
                answer.bUnreachable = result.bUnreachable;
                WriteLog(kLogError, L"QueryServerLow(), Error %d (%s)", result.nErrorCode,
                         result.strErrorText);
                strError = FormatText(LoadStringText(kIdsTransportError), result.nErrorCode,
                                      result.strErrorText);
                return kQueryException;
            case EHttpOutcome::kCompleted:
                break;
        }
        reader.Finish();
        if (reader.Stopped()) return kQueryStopped;
        if (reader.Status() <= 0) {
            const std::wstring strWhy = L"no HTTP status in the answer";
            WriteLog(kLogError, L"QueryServerLow(), Error %d (%s)", 0, strWhy);
            strError = FormatText(LoadStringText(kIdsTransportError), 0, strWhy);
            return kQueryException;
        }
        nResult = reader.Status() == kStatusOk ? 0 : reader.Status();
    } catch (...) {
        return UnknownException(strError);
    }
    // The log keeps kLogBufferChars characters of a line and no character takes more than
    // four bytes: the rest of an answer of up to 8 MiB is not worth decoding.
    if (nResult > 0)
        WriteLog(kLogInfo, L"   Response: %s",
                 std::string_view(strAnswer).substr(0, kMaxLoggedAnswerBytes));
    return nResult;
}
}  // namespace
