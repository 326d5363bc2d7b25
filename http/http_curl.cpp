// HttpGet on libcurl: one easy handle per request, released on every path.
#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "http/http_client.h"

namespace {

constexpr long kMaxRedirects = 10;
// How long one wait for the network lasts before the sink is asked again whether to go on.
constexpr int kPollIntervalMs = 50;

struct SCurlEasyDeleter {
    void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
using CCurlEasy = std::unique_ptr<CURL, SCurlEasyDeleter>;

struct SCurlMultiDeleter {
    void operator()(CURLM* p) const { curl_multi_cleanup(p); }
};
using CCurlMulti = std::unique_ptr<CURLM, SCurlMultiDeleter>;

struct SCurlListDeleter {
    void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};
using CCurlList = std::unique_ptr<curl_slist, SCurlListDeleter>;

struct STransfer {
    CURL* pCurl = nullptr;
    IHttpAnswerSink* pSink = nullptr;
    bool bStatusSent = false;
    bool bLocationSeen = false;  // the answer whose headers arrive names a redirect target
    bool bEndedBySink = false;
    bool bSinkThrew = false;  // no exception may cross libcurl's C frames: it is noted here
};

void SendStatus(STransfer& t) {
    if (t.bStatusSent) return;
    long nStatus = 0;
    curl_easy_getinfo(t.pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
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
    if (nBytes >= 9 && curl_strnequal(pData, "Location:", 9)) t.bLocationSeen = true;
    const bool bEndOfHeaders = line == "\r\n" || line == "\n";
    if (!bEndOfHeaders || t.bStatusSent) return nBytes;
    long nStatus = 0;
    curl_easy_getinfo(t.pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
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

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Every libcurl failure becomes its number and text here, so nothing above sees a CURLcode.
SHttpGetResult CurlFailure(EHttpOutcome eOutcome, CURLcode code, const char* pszDetail) {
    SHttpGetResult result;
    result.eOutcome = eOutcome;
    result.nErrorCode = static_cast<int>(code);
    result.strErrorText = pszDetail && *pszDetail ? pszDetail : curl_easy_strerror(code);
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
CURLcode Perform(CURL* h, STransfer& transfer) {
    // One multi handle per thread, kept: making one costs as much as a small transfer. It
    // carries no connection from one request to the next (CURLOPT_FORBID_REUSE).
    thread_local CCurlMulti multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), h) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode code = CURLE_OK;
    int nRunning = 1;
    while (nRunning) {
        if (curl_multi_perform(multi.get(), &nRunning) != CURLM_OK) {
            code = CURLE_RECV_ERROR;
            break;
        }
        if (!nRunning) break;
        if (!transfer.pSink->ShouldContinue()) {
            transfer.bEndedBySink = true;
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollIntervalMs, nullptr);
    }
    int nLeft = 0;
    while (CURLMsg* pMsg = curl_multi_info_read(multi.get(), &nLeft)) {
        if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == h) code = pMsg->data.result;
    }
    curl_multi_remove_handle(multi.get(), h);
    return code;
}

}  // namespace

SHttpGetResult HttpGet(const SHttpGetRequest& request, IHttpAnswerSink& sink) {
    InitCurlOnce();
    CCurlEasy curl(curl_easy_init());
    if (!curl) return CurlFailure(EHttpOutcome::kNoRequest, CURLE_FAILED_INIT, nullptr);
    CURL* h = curl.get();

    CCurlList headers;
    for (const std::string& line : request.headers) {
        curl_slist* p = curl_slist_append(headers.get(), line.c_str());
        if (!p) return CurlFailure(EHttpOutcome::kNoRequest, CURLE_OUT_OF_MEMORY, nullptr);
        headers.release();
        headers.reset(p);
    }

    STransfer transfer;
    transfer.pCurl = h;
    transfer.pSink = &sink;
    char szError[CURL_ERROR_SIZE] = {0};

    CURLcode code = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (code == CURLE_OK) code = curl_easy_setopt(h, option, value);
    };
    set(CURLOPT_URL, request.strUrl.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_USERAGENT, request.strUserAgent.c_str());
    set(CURLOPT_HTTPHEADER, headers.get());
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
    if (code != CURLE_OK) return CurlFailure(EHttpOutcome::kNotSent, code, szError);

    code = Perform(h, transfer);
    SHttpGetResult result;
    long nStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &nStatus);
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
