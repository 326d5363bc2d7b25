// HttpGet on libcurl: one easy handle per thread, kept between requests and reset for each.
// libcurl is loaded at the first request, so that a show answered from the cache never pays
// for linking it and the TLS libraries it brings.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "http/http_client.h"

namespace {

constexpr long kMaxRedirects = 10;
// How long one wait for the network lasts before the sink is asked again whether to go on.
constexpr int kPollIntervalMs = 50;
constexpr const char* kCurlLibraryName = "libcurl.so.4";
// Names another libcurl file to load instead (a path, or a name found on the library path).
constexpr const char* kCurlLibraryVariable = "LOCANYM_CURL_LIBRARY";

// The few libcurl functions this file calls, resolved once from the library. Loaded is false,
// with the reason in m_strError, when the library or one of them is missing.
class CCurlLibrary {
  public:
    static const CCurlLibrary& Get() {
        static const CCurlLibrary library;
        return library;
    }
    ~CCurlLibrary() {
        if (m_hLibrary) dlclose(m_hLibrary);
    }
    CCurlLibrary(const CCurlLibrary&) = delete;
    CCurlLibrary& operator=(const CCurlLibrary&) = delete;

    bool Loaded() const { return m_bLoaded; }
    const std::string& Error() const { return m_strError; }

    decltype(&curl_global_init) m_pfnGlobalInit = nullptr;
    decltype(&curl_easy_init) m_pfnEasyInit = nullptr;
    decltype(&curl_easy_reset) m_pfnEasyReset = nullptr;
    decltype(&curl_easy_cleanup) m_pfnEasyCleanup = nullptr;
    CURLcode (*m_pfnEasySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*m_pfnEasyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    decltype(&curl_easy_strerror) m_pfnEasyStrerror = nullptr;
    decltype(&curl_slist_append) m_pfnSlistAppend = nullptr;
    decltype(&curl_slist_free_all) m_pfnSlistFreeAll = nullptr;
    decltype(&curl_multi_init) m_pfnMultiInit = nullptr;
    decltype(&curl_multi_cleanup) m_pfnMultiCleanup = nullptr;
    decltype(&curl_multi_add_handle) m_pfnMultiAddHandle = nullptr;
    decltype(&curl_multi_remove_handle) m_pfnMultiRemoveHandle = nullptr;
    decltype(&curl_multi_perform) m_pfnMultiPerform = nullptr;
    decltype(&curl_multi_poll) m_pfnMultiPoll = nullptr;
    decltype(&curl_multi_info_read) m_pfnMultiInfoRead = nullptr;

  private:
    CCurlLibrary() {
        const char* pszOverride = std::getenv(kCurlLibraryVariable);
        const char* pszName = pszOverride && *pszOverride ? pszOverride : kCurlLibraryName;
        // Never unloaded: libcurl's TLS library keeps process-wide state of its own.
        m_hLibrary = dlopen(pszName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!m_hLibrary) {
            const char* pszReason = dlerror();
            m_strError = std::string("cannot load ") + pszName + " (" +
                         (pszReason ? pszReason : "unknown reason") + ")";
            return;
        }
        bool bAll = true;
        auto resolve = [&](auto& pfn, const char* pszSymbol) {
            pfn = reinterpret_cast<std::remove_reference_t<decltype(pfn)>>(
                dlsym(m_hLibrary, pszSymbol));
            if (!pfn && bAll) {
                bAll = false;
                m_strError = std::string(pszName) + " has no " + pszSymbol +
                             " (libcurl 7.66 or later is needed)";
            }
        };
        resolve(m_pfnGlobalInit, "curl_global_init");
        resolve(m_pfnEasyInit, "curl_easy_init");
        resolve(m_pfnEasyReset, "curl_easy_reset");
        resolve(m_pfnEasyCleanup, "curl_easy_cleanup");
        resolve(m_pfnEasySetopt, "curl_easy_setopt");
        resolve(m_pfnEasyGetinfo, "curl_easy_getinfo");
        resolve(m_pfnEasyStrerror, "curl_easy_strerror");
        resolve(m_pfnSlistAppend, "curl_slist_append");
        resolve(m_pfnSlistFreeAll, "curl_slist_free_all");
        resolve(m_pfnMultiInit, "curl_multi_init");
        resolve(m_pfnMultiCleanup, "curl_multi_cleanup");
        resolve(m_pfnMultiAddHandle, "curl_multi_add_handle");
        resolve(m_pfnMultiRemoveHandle, "curl_multi_remove_handle");
        resolve(m_pfnMultiPerform, "curl_multi_perform");
        resolve(m_pfnMultiPoll, "curl_multi_poll");
        resolve(m_pfnMultiInfoRead, "curl_multi_info_read");
        if (!bAll) return;
        const CURLcode code = m_pfnGlobalInit(CURL_GLOBAL_DEFAULT);
        if (code != CURLE_OK) {
            m_strError = std::string("libcurl could not start: ") + m_pfnEasyStrerror(code);
            return;
        }
        m_bLoaded = true;
    }

    void* m_hLibrary = nullptr;
    bool m_bLoaded = false;
    std::string m_strError;
};

const CCurlLibrary& Curl() {
    return CCurlLibrary::Get();
}

struct SCurlEasyDeleter {
    void operator()(CURL* p) const { Curl().m_pfnEasyCleanup(p); }
};
using CCurlEasy = std::unique_ptr<CURL, SCurlEasyDeleter>;

struct SCurlMultiDeleter {
    void operator()(CURLM* p) const { Curl().m_pfnMultiCleanup(p); }
};
using CCurlMulti = std::unique_ptr<CURLM, SCurlMultiDeleter>;

struct SCurlListDeleter {
    void operator()(curl_slist* p) const { Curl().m_pfnSlistFreeAll(p); }
};
using CCurlList = std::unique_ptr<curl_slist, SCurlListDeleter>;

// What a thread keeps from one request to the next. Making and freeing an easy handle (with
// its buffers) and the header list costs as much as reading a small answer; the connection is
// never kept (CURLOPT_FORBID_REUSE).
struct SThreadCurl {
    CCurlMulti multi;
    CCurlEasy easy;
    CCurlList headers;
    std::vector<std::string> headerLines;  // what headers was built from
};

struct STransfer {
    CURL* pCurl = nullptr;
    IHttpAnswerSink* pSink = nullptr;
    bool bStatusSent = false;
    bool bLocationSeen = false;  // the answer whose headers arrive names a redirect target
    bool bEndedBySink = false;
    bool bSinkThrew = false;  // no exception may cross libcurl's C frames: it is noted here
};

// pszLower: lower-case ASCII.
bool StartsWithNoCase(std::string_view text, std::string_view lower) {
    if (text.size() < lower.size()) return false;
    for (size_t i = 0; i < lower.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

void SendStatus(STransfer& t) {
    if (t.bStatusSent) return;
    long nStatus = 0;
    Curl().m_pfnEasyGetinfo(t.pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    t.bStatusSent = true;
    t.pSink->OnStatus(static_cast<int>(nStatus));
}

// The blank line after the headers of the final answer sends its status at once, so that an
// error status is known even when its body then stalls or breaks. A redirect that libcurl
// follows is no final answer.
size_t OnHeader(char* pData, size_t nSize, size_t nCount, void* pUser) {
    auto& t = *static_cast<STransfer*>(pUser);
    const size_t nBytes = nSize * nCount;
    const std::string_view line(pData, nBytes);
    if (line.rfind("HTTP/", 0) == 0) t.bLocationSeen = false;
    if (StartsWithNoCase(line, "location:")) t.bLocationSeen = true;
    const bool bEndOfHeaders = line == "\r\n" || line == "\n";
    if (!bEndOfHeaders || t.bStatusSent) return nBytes;
    long nStatus = 0;
    Curl().m_pfnEasyGetinfo(t.pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    if (nStatus < 200) return nBytes;
    if (nStatus >= 300 && nStatus < 400 && t.bLocationSeen) return nBytes;
    try {
        SendStatus(t);
        return nBytes;
    } catch (...) {
        t.bSinkThrew = true;
    }
    t.bEndedBySink = true;
    return 0;
}

size_t OnWrite(char* pData, size_t nSize, size_t nCount, void* pUser) {
    auto& t = *static_cast<STransfer*>(pUser);
    const size_t nBytes = nSize * nCount;
    try {
        SendStatus(t);
        if (t.pSink->OnBody(pData, nBytes)) return nBytes;
    } catch (...) {
        t.bSinkThrew = true;
    }
    t.bEndedBySink = true;
    return 0;  // less than given: libcurl ends the transfer
}

// Also asked by libcurl during its own waits (name lookup, TLS handshake).
int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<STransfer*>(pUser);
    try {
        if (t.pSink->ShouldContinue()) return 0;
    } catch (...) {
        t.bSinkThrew = true;
    }
    t.bEndedBySink = true;
    return 1;
}

// Every libcurl failure becomes its number and text here, so nothing above sees a CURLcode.
SHttpGetResult CurlFailure(EHttpOutcome eOutcome, CURLcode code, const char* pszDetail) {
    SHttpGetResult result;
    result.eOutcome = eOutcome;
    result.nErrorCode = static_cast<int>(code);
    result.strErrorText = pszDetail && *pszDetail ? pszDetail : Curl().m_pfnEasyStrerror(code);
    return result;
}

bool IsUnreachable(CURLcode code) {
    return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
           code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT;
}

bool IsNotSent(CURLcode code) {
    return code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT ||
           code == CURLE_NOT_BUILT_IN || code == CURLE_FAILED_INIT ||
           code == CURLE_BAD_FUNCTION_ARGUMENT || code == CURLE_OUT_OF_MEMORY;
}

// curl_easy_perform, except that the sink is asked every kPollIntervalMs whether to go on, so
// that a stop request ends a transfer that waits for a silent server at once.
CURLcode Perform(const CCurlLibrary& curl, CURLM* pMulti, CURL* h, STransfer& transfer) {
    if (curl.m_pfnMultiAddHandle(pMulti, h) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode code = CURLE_OK;
    int nRunning = 1;
    while (nRunning) {
        if (curl.m_pfnMultiPerform(pMulti, &nRunning) != CURLM_OK) {
            code = CURLE_RECV_ERROR;
            break;
        }
        if (!nRunning) break;
        if (!transfer.pSink->ShouldContinue()) {
            transfer.bEndedBySink = true;
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl.m_pfnMultiPoll(pMulti, nullptr, 0, kPollIntervalMs, nullptr);
    }
    int nLeft = 0;
    while (CURLMsg* pMsg = curl.m_pfnMultiInfoRead(pMulti, &nLeft)) {
        if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == h) code = pMsg->data.result;
    }
    curl.m_pfnMultiRemoveHandle(pMulti, h);
    return code;
}

// The thread's handles, made at its first request; false when libcurl cannot make them.
bool PrepareThreadCurl(const CCurlLibrary& curl, SThreadCurl& kept) {
    if (!kept.multi) kept.multi.reset(curl.m_pfnMultiInit());
    if (kept.easy) {
        curl.m_pfnEasyReset(kept.easy.get());
    } else {
        kept.easy.reset(curl.m_pfnEasyInit());
    }
    return kept.multi && kept.easy;
}

// The header list of the request, rebuilt only when its lines differ from the last request's.
bool PrepareHeaders(const CCurlLibrary& curl, SThreadCurl& kept,
                    const std::vector<std::string>& lines) {
    if (kept.headers && kept.headerLines == lines) return true;
    kept.headers.reset();
    kept.headerLines.clear();
    CCurlList headers;
    for (const std::string& line : lines) {
        curl_slist* p = curl.m_pfnSlistAppend(headers.get(), line.c_str());
        if (!p) return false;
        headers.release();
        headers.reset(p);
    }
    kept.headerLines = lines;
    kept.headers = std::move(headers);
    return true;
}

}  // namespace

SHttpGetResult HttpGet(const SHttpGetRequest& request, IHttpAnswerSink& sink) {
    const CCurlLibrary& curl = Curl();
    if (!curl.Loaded()) {
        SHttpGetResult result;
        result.eOutcome = EHttpOutcome::kNoRequest;
        result.strErrorText = curl.Error();
        return result;
    }
    thread_local SThreadCurl kept;
    if (!PrepareThreadCurl(curl, kept))
        return CurlFailure(EHttpOutcome::kNoRequest, CURLE_FAILED_INIT, nullptr);
    static const std::vector<std::string> kNoHeaders;
    if (!PrepareHeaders(curl, kept, request.pHeaders ? *request.pHeaders : kNoHeaders))
        return CurlFailure(EHttpOutcome::kNoRequest, CURLE_OUT_OF_MEMORY, nullptr);
    CURL* h = kept.easy.get();

    STransfer transfer;
    transfer.pCurl = h;
    transfer.pSink = &sink;
    char szError[CURL_ERROR_SIZE] = {0};

    CURLcode code = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (code == CURLE_OK) code = curl.m_pfnEasySetopt(h, option, value);
    };
    set(CURLOPT_URL, request.strUrl.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_USERAGENT, request.strUserAgent.c_str());
    set(CURLOPT_HTTPHEADER, kept.headers.get());
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_CONNECTTIMEOUT_MS, request.nConnectTimeoutMs);
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, request.nStallTimeoutSeconds);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.strCaFile.empty()) set(CURLOPT_CAINFO, request.strCaFile.c_str());
    set(CURLOPT_ERRORBUFFER, szError);
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
    set(CURLOPT_WRITEFUNCTION, &OnWrite);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(&transfer));
    set(CURLOPT_NOPROGRESS, 0L);
    if (code != CURLE_OK) {
        SHttpGetResult result = CurlFailure(EHttpOutcome::kNotSent, code, szError);
        curl.m_pfnEasySetopt(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
        return result;
    }

    code = Perform(curl, kept.multi.get(), h, transfer);
    // The kept handle must not point at this frame's buffer after it returns.
    curl.m_pfnEasySetopt(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    SHttpGetResult result;
    long nStatus = 0;
    curl.m_pfnEasyGetinfo(h, CURLINFO_RESPONSE_CODE, &nStatus);
    if (transfer.bSinkThrew) {
        result = CurlFailure(EHttpOutcome::kSinkException, code, szError);
    } else if (transfer.bEndedBySink) {
        result = CurlFailure(EHttpOutcome::kEndedBySink, code, szError);
    } else if (code == CURLE_OK) {
        // An answer without a body still has a status to report.
        try {
            SendStatus(transfer);
        } catch (...) {
            result = CurlFailure(EHttpOutcome::kSinkException, code, szError);
        }
    } else {
        // A refusal before anything came back means the request never left.
        const bool bNotSent = IsNotSent(code) && nStatus == 0;
        result = CurlFailure(bNotSent ? EHttpOutcome::kNotSent : EHttpOutcome::kTransportError,
                             code, szError);
        result.bUnreachable = IsUnreachable(code);
    }
    result.nStatus = static_cast<int>(nStatus);
    return result;
}
