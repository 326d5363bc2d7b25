// HttpGet on WinINet: one session, connection and request per call, all released on every path.
// WinINet's calls block, so a thread of the call's own sends and reads while the calling thread
// feeds the sink and asks it every 50 ms whether to go on: a stop ends even a wait for a silent
// server at once. The connect, send and receive time-outs bound every wait.
// A stop does not wait for the network thread: closing a handle does not end a blocked call on
// every WinINet (Wine's waits for its time-out). The thread shares the handles and the state with
// the call, touches no handle once stopped, and keeps the module loaded until it has ended.
#include <windows.h>
// The headers below need windows.h first.
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "base/text.h"
#include "http/http_client.h"

namespace {

// Reload from the server and never write the answer into the cache (0x84000000); https adds
// INTERNET_FLAG_SECURE (0x84800000). Certificate errors are never ignored.
constexpr DWORD kRequestFlagsHttp = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kRequestFlagsHttps = kRequestFlagsHttp | INTERNET_FLAG_SECURE;
static_assert(kRequestFlagsHttp == 0x84000000 && kRequestFlagsHttps == 0x84800000);

constexpr DWORD kReadPieceBytes = 2044;
// How long one wait for the network lasts before the sink is asked again whether to go on.
constexpr int kPollIntervalMs = 50;

class CInternetHandle {
  public:
    explicit CInternetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~CInternetHandle() {
        if (m_h) InternetCloseHandle(m_h);
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }
    // Closes the handle held so far and takes h.
    void Reset(HINTERNET h = nullptr) {
        if (m_h) InternetCloseHandle(m_h);
        m_h = h;
    }

  private:
    HINTERNET m_h;
};

// WinINet's text for one of its error numbers (12001 and up) or a system one, UTF-8. A server's
// own explanation (ERROR_INTERNET_EXTENDED_ERROR) comes from the last response instead.
std::string WinInetError(DWORD dwError) {
    std::wstring strText;
    if (dwError == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD dwDetail = 0;
        wchar_t szDetail[1024] = {0};
        DWORD nLength = ARRAYSIZE(szDetail);
        if (InternetGetLastResponseInfoW(&dwDetail, szDetail, &nLength)) strText = szDetail;
    }
    if (strText.empty()) {
        wchar_t szText[1024] = {0};
        HMODULE hWinInet = GetModuleHandleW(L"wininet.dll");
        DWORD nLength = 0;
        if (hWinInet && dwError >= INTERNET_ERROR_BASE && dwError <= INTERNET_ERROR_LAST)
            nLength = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     hWinInet, dwError, 0, szText, ARRAYSIZE(szText), nullptr);
        if (nLength == 0)
            nLength = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, dwError, 0, szText, ARRAYSIZE(szText), nullptr);
        strText.assign(szText, nLength);
    }
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' ||
                                strText.back() == L' ' || strText.back() == L'.'))
        strText.pop_back();
    if (strText.empty()) return "WinINet error " + std::to_string(dwError);
    return WideToUtf8(strText);
}

SHttpGetResult Failure(EHttpOutcome eOutcome, DWORD dwError) {
    SHttpGetResult result;
    result.eOutcome = eOutcome;
    result.nErrorCode = static_cast<int>(dwError);
    result.strErrorText = WinInetError(dwError);
    // No server reached: the name did not resolve, the connection was refused, or it timed out.
    result.bUnreachable =
        eOutcome == EHttpOutcome::kTransportError &&
        (dwError == ERROR_INTERNET_NAME_NOT_RESOLVED || dwError == ERROR_INTERNET_CANNOT_CONNECT ||
         dwError == ERROR_INTERNET_TIMEOUT);
    return result;
}

struct SUrl {
    bool bSecure = false;
    std::wstring strHost;
    INTERNET_PORT nPort = 0;
    std::wstring strObject;  // path and query
};

bool CrackUrl(const std::wstring& strUrl, SUrl& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    // Lengths of 1 ask for pointers into strUrl rather than copies.
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(strUrl.c_str(), static_cast<DWORD>(strUrl.size()), 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0) return false;
    url.bSecure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    url.strHost.assign(parts.lpszHostName, parts.dwHostNameLength);
    url.nPort = parts.nPort;
    if (parts.lpszUrlPath) url.strObject.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) url.strObject.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (url.strObject.empty()) url.strObject = L"/";
    return true;
}

void SetTimeout(HINTERNET h, DWORD dwOption, long nMs) {
    DWORD dwValue = nMs > 0 ? static_cast<DWORD>(nMs) : 1;
    // A refused option leaves the platform's default in force, which is also a bound.
    InternetSetOptionW(h, dwOption, &dwValue, sizeof dwValue);
}

// What the network thread hands to the calling thread, owned by both. The calling thread alone
// talks to the sink; the handles close with the last owner, so never under a running call.
struct SShared {
    CInternetHandle session;  // declared first: closed last
    CInternetHandle connection;
    CInternetHandle request;
    std::mutex mutex;
    std::condition_variable wake;
    bool bCancelled = false;
    bool bStatusReady = false;
    int nStatus = 0;
    std::deque<std::string> pieces;
    bool bFinished = false;
    SHttpGetResult result;  // the network thread's outcome, once bFinished
    long nStallMs = 0;      // the send and receive time-out set on the request
};

// Pieces waiting for the sink before the network thread pauses, so a slow sink bounds memory.
constexpr size_t kMaxQueuedPieces = 64;

// Runs on the network thread: sends the request and reads the answer as it arrives. Every call
// here may block until a time-out; once the calling thread has stopped, the thread only ends.
void SendAndRead(SShared& shared) {
    HINTERNET hRequest = shared.request.Get();
    auto cancelled = [&shared] {
        std::lock_guard<std::mutex> lock(shared.mutex);
        return shared.bCancelled;
    };
    auto finish = [&shared](SHttpGetResult result) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.result = std::move(result);
        shared.bFinished = true;
        shared.wake.notify_all();
    };
    // A call that failed after waiting the whole time-out met a silent server, whatever code
    // it reports (some WinINet builds say "connection aborted" or the socket's time-out):
    // like a server that never answered, that counts as none reached.
    ULONGLONG nCallStart = 0;
    auto fail = [&](DWORD dwError) {
        SHttpGetResult result = Failure(EHttpOutcome::kTransportError, dwError);
        constexpr ULONGLONG kSlackMs = 250;
        if (shared.nStallMs > 0 &&
            GetTickCount64() - nCallStart + kSlackMs >= static_cast<ULONGLONG>(shared.nStallMs))
            result.bUnreachable = true;
        finish(std::move(result));
    };
    try {
        nCallStart = GetTickCount64();
        if (!HttpSendRequestW(hRequest, nullptr, 0, nullptr, 0)) return fail(GetLastError());
        if (cancelled()) return;
        DWORD dwStatus = 0;
        DWORD nLength = sizeof dwStatus;
        // An answer without a status is reported as broken by the layer above.
        if (!HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus,
                            &nLength, nullptr))
            dwStatus = 0;
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.nStatus = static_cast<int>(dwStatus);
            shared.bStatusReady = true;
            shared.wake.notify_all();
        }
        std::string strPiece;
        for (;;) {
            // Waits for the next bytes only, so each piece is handed on as soon as it arrives.
            DWORD nAvailable = 0;
            nCallStart = GetTickCount64();
            if (!InternetQueryDataAvailable(hRequest, &nAvailable, 0, 0))
                return fail(GetLastError());
            if (cancelled()) return;
            if (nAvailable == 0) return finish(SHttpGetResult());
            strPiece.resize(nAvailable < kReadPieceBytes ? nAvailable : kReadPieceBytes);
            DWORD nRead = 0;
            nCallStart = GetTickCount64();
            if (!InternetReadFile(hRequest, strPiece.data(), static_cast<DWORD>(strPiece.size()),
                                  &nRead))
                return fail(GetLastError());
            if (nRead == 0) return finish(SHttpGetResult());
            strPiece.resize(nRead);
            std::unique_lock<std::mutex> lock(shared.mutex);
            shared.wake.wait(lock, [&shared] {
                return shared.bCancelled || shared.pieces.size() < kMaxQueuedPieces;
            });
            if (shared.bCancelled) return;
            shared.pieces.push_back(std::move(strPiece));
            strPiece.clear();
            shared.wake.notify_all();
        }
    } catch (...) {
        // Only an allocation can throw here; the transfer ends as broken.
        finish(Failure(EHttpOutcome::kTransportError, ERROR_NOT_ENOUGH_MEMORY));
    }
}

class CThreadHandle {
  public:
    explicit CThreadHandle(HANDLE h) : m_h(h) {}
    ~CThreadHandle() {
        if (m_h) CloseHandle(m_h);
    }
    CThreadHandle(const CThreadHandle&) = delete;
    CThreadHandle& operator=(const CThreadHandle&) = delete;
    HANDLE Get() const { return m_h; }

  private:
    HANDLE m_h;
};

struct SNetworkWork {
    std::shared_ptr<SShared> pShared;
    HMODULE hModule = nullptr;  // a reference of the thread's own
};

DWORD WINAPI NetworkThread(LPVOID pParam) {
    HMODULE hModule = nullptr;
    {
        std::unique_ptr<SNetworkWork> pWork(static_cast<SNetworkWork*>(pParam));
        hModule = pWork->hModule;
        SendAndRead(*pWork->pShared);
    }
    // The code of this thread must stay mapped until the thread has left it.
    FreeLibraryAndExitThread(hModule, 0);
    return 0;
}

// Starts the network thread; null when it could not start.
HANDLE StartNetworkThread(const std::shared_ptr<SShared>& pShared) {
    auto pWork = std::make_unique<SNetworkWork>();
    pWork->pShared = pShared;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&NetworkThread), &pWork->hModule))
        return nullptr;
    HMODULE hModule = pWork->hModule;
    HANDLE hThread = CreateThread(nullptr, 0, &NetworkThread, pWork.get(), 0, nullptr);
    if (!hThread) {
        FreeLibrary(hModule);
        return nullptr;
    }
    pWork.release();  // the thread owns it now
    return hThread;
}

// Delivers what the network thread receives to the sink on this thread, and asks the sink every
// kPollIntervalMs whether to go on. Returns at once when the sink stops; otherwise with the
// network thread's work ended.
SHttpGetResult Deliver(const std::shared_ptr<SShared>& pShared, IHttpAnswerSink& sink) {
    SShared& shared = *pShared;
    CThreadHandle network(StartNetworkThread(pShared));
    if (!network.Get()) return Failure(EHttpOutcome::kNoRequest, GetLastError());
    bool bStatusSent = false;
    EHttpOutcome eEnd = EHttpOutcome::kCompleted;
    try {
        std::unique_lock<std::mutex> lock(shared.mutex);
        for (;;) {
            shared.wake.wait_for(lock, std::chrono::milliseconds(kPollIntervalMs), [&] {
                return shared.bFinished || !shared.pieces.empty() ||
                       (shared.bStatusReady && !bStatusSent);
            });
            if (shared.bStatusReady && !bStatusSent) {
                const int nStatus = shared.nStatus;
                bStatusSent = true;
                lock.unlock();
                sink.OnStatus(nStatus);
                lock.lock();
            }
            bool bGoOn = true;
            while (bGoOn && !shared.pieces.empty()) {
                std::string strPiece = std::move(shared.pieces.front());
                shared.pieces.pop_front();
                shared.wake.notify_all();
                lock.unlock();
                bGoOn = sink.OnBody(strPiece.data(), strPiece.size());
                lock.lock();
            }
            if (bGoOn && shared.bFinished) break;
            if (bGoOn) {
                lock.unlock();
                bGoOn = sink.ShouldContinue();
                lock.lock();
            }
            if (!bGoOn) {
                eEnd = EHttpOutcome::kEndedBySink;
                break;
            }
        }
    } catch (...) {
        eEnd = EHttpOutcome::kSinkException;
    }
    if (eEnd != EHttpOutcome::kCompleted) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.bCancelled = true;
        shared.wake.notify_all();
        SHttpGetResult result;
        result.eOutcome = eEnd;
        result.nStatus = shared.nStatus;
        return result;
    }
    WaitForSingleObject(network.Get(), INFINITE);
    SHttpGetResult result = std::move(shared.result);
    result.nStatus = shared.nStatus;
    return result;
}

SHttpGetResult Transfer(const SHttpGetRequest& request, IHttpAnswerSink& sink) {
    const std::wstring strUrl = Utf8ToWide(request.strUrl);
    SUrl url;
    if (!CrackUrl(strUrl, url)) return Failure(EHttpOutcome::kNotSent, ERROR_INTERNET_INVALID_URL);

    auto pShared = std::make_shared<SShared>();
    CInternetHandle& session = pShared->session;
    session.Reset(InternetOpenW(Utf8ToWide(request.strUserAgent).c_str(),
                                INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return Failure(EHttpOutcome::kNoRequest, GetLastError());
    SetTimeout(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, request.nConnectTimeoutMs);

    // No traffic yet: the connection is made by the send.
    CInternetHandle& connection = pShared->connection;
    connection.Reset(InternetConnectW(session.Get(), url.strHost.c_str(), url.nPort, nullptr,
                                      nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.Get()) return Failure(EHttpOutcome::kNoRequest, GetLastError());
    CInternetHandle& httpRequest = pShared->request;
    httpRequest.Reset(HttpOpenRequestW(connection.Get(), L"GET", url.strObject.c_str(), L"HTTP/1.0",
                                       nullptr, nullptr,
                                       url.bSecure ? kRequestFlagsHttps : kRequestFlagsHttp, 0));
    if (!httpRequest.Get()) return Failure(EHttpOutcome::kNoRequest, GetLastError());
    // Set on the request itself: not every WinINet hands a session's time-outs down to it.
    SetTimeout(httpRequest.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, request.nConnectTimeoutMs);
    const long nStallMs = request.nStallTimeoutSeconds * 1000;
    pShared->nStallMs = nStallMs;
    SetTimeout(httpRequest.Get(), INTERNET_OPTION_SEND_TIMEOUT, nStallMs);
    SetTimeout(httpRequest.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, nStallMs);

    // One block, each line ended by CR LF; a header the request already has is not replaced.
    std::wstring strHeaders;
    if (request.pHeaders)
        for (const std::string& line : *request.pHeaders) strHeaders += Utf8ToWide(line) + L"\r\n";
    if (!strHeaders.empty())
        HttpAddRequestHeadersW(httpRequest.Get(), strHeaders.c_str(),
                               static_cast<DWORD>(strHeaders.size()), HTTP_ADDREQ_FLAG_ADD_IF_NEW);

    if (!sink.ShouldContinue()) {
        SHttpGetResult result;
        result.eOutcome = EHttpOutcome::kEndedBySink;
        return result;
    }
    return Deliver(pShared, sink);
}

}  // namespace

SHttpGetResult HttpGet(const SHttpGetRequest& request, IHttpAnswerSink& sink) {
    // The sink's exceptions (and a failed allocation here) end the transfer; the handles are
    // released by their owners on the way out.
    try {
        return Transfer(request, sink);
    } catch (...) {
        SHttpGetResult result;
        result.eOutcome = EHttpOutcome::kSinkException;
        result.strErrorText = "exception during the transfer";
        return result;
    }
}
