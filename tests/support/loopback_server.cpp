#include "tests/support/loopback_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;

namespace {

// A stall ends when the server stops, or after this long at the most.
constexpr auto kMaxStall = std::chrono::seconds(120);
constexpr auto kStallPoll = std::chrono::milliseconds(10);
constexpr const char* kContentType = "application/json; charset=utf-8";

}  // namespace

std::string SLoopbackRequest::QueryValue(const std::string& strName) const {
    std::istringstream in(strQuery);
    for (std::string strItem; std::getline(in, strItem, '&');)
        if (strItem.substr(0, strItem.find('=')) == strName)
            return strItem.erase(0, strItem.find('=')).erase(0, 1);  // no '=': empty
    return std::string();
}

bool LoadFixture(const fs::path& jsonFile, SLoopbackAnswer& answer) {
    answer = SLoopbackAnswer();
    if (!fs::is_regular_file(jsonFile)) return false;
    answer.strBody = ReadFileBytes(jsonFile);
    fs::path statusFile = jsonFile;
    // No status file reads as 0, which keeps 200.
    const int nStatus = std::atoi(ReadFileBytes(statusFile.replace_extension(".status")).c_str());
    if (nStatus >= 100 && nStatus <= 999) answer.nStatus = nStatus;
    return true;
}

fs::path ServiceFixturePath(const std::string& strService, const std::string& strName) {
    return fs::path(LOCANYM_SOURCE_DIR) / "tests" / "fixtures" / "services" / strService /
           (strName + ".json");
}

SLoopbackAnswer ServiceFixture(const std::string& strService, const std::string& strName) {
    SLoopbackAnswer answer;
    if (!LoadFixture(ServiceFixturePath(strService, strName), answer)) answer = JsonAnswer("", 500);
    return answer;
}

bool MakeTestCertificates(const fs::path& folder, STestTls& tls) {
    tls.caFile = folder / "ca.pem";
    tls.certFile = folder / "server.pem";
    tls.keyFile = folder / "server.key";
    WriteFileBytes(folder / "server.ext",
                   "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                   "extendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n");
    const std::string script =
        "cd '" + folder.string() +
        "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Locanym Test CA' "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign "
        "&& openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout server.key -out server.csr -subj /CN=127.0.0.1 "
        "&& openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 2 -extfile server.ext";
    return std::system(("( " + script + " ) >/dev/null 2>&1").c_str()) == 0 &&
           fs::exists(tls.certFile);
}

struct CLoopbackServer::SImpl {
    std::unique_ptr<httplib::Server> pServer;
    std::thread thread;
    std::atomic<bool> bStopping{false};
    int nPort = 0;
    bool bHttps = false;

    mutable std::mutex mutex;
    std::vector<SLoopbackRequest> requests;
    std::map<std::string, std::deque<SLoopbackAnswer>> queued;
    std::map<std::string, SLoopbackAnswer> answers;
    CHandler handler;

    SLoopbackAnswer Pick(const SLoopbackRequest& request) {
        CHandler current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            std::deque<SLoopbackAnswer>& queue = queued[request.strPath];
            if (!queue.empty()) {
                SLoopbackAnswer answer = std::move(queue.front());
                queue.pop_front();
                return answer;
            }
            current = handler;
            if (!current) {
                auto a = answers.find(request.strPath);
                return a != answers.end() ? a->second : JsonAnswer("", 404);
            }
        }
        return current(request);
    }

    // Waits until the server stops; a stalled answer holds its connection meanwhile.
    void Stall() {
        const auto until = std::chrono::steady_clock::now() + kMaxStall;
        while (!bStopping.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(kStallPoll);
    }

    void Serve(const httplib::Request& req, httplib::Response& res) {
        SLoopbackRequest request;
        request.strPath = req.path;
        size_t q = req.target.find('?');
        if (q != std::string::npos) request.strQuery = req.target.substr(q + 1);
        request.strVersion = req.version;
        for (const auto& header : req.headers) request.headers.push_back(header);
        SLoopbackAnswer answer = Pick(request);

        switch (answer.eTrouble) {
            case ELoopbackTrouble::kRedirectLoop:
                res.set_redirect(req.target, 302);
                return;
            case ELoopbackTrouble::kStallBeforeAnswer:
                Stall();
                break;
            case ELoopbackTrouble::kStallMidBody:
            case ELoopbackTrouble::kTrickle: {
                res.status = answer.nStatus;
                auto pBody = std::make_shared<std::string>(std::move(answer.strBody));
                const size_t n = answer.nBytesBeforeTrouble;
                const size_t nBefore = std::min(n, pBody->size());
                const bool bTrickle = answer.eTrouble == ELoopbackTrouble::kTrickle;
                res.set_content_provider(
                    pBody->size(), kContentType,
                    [this, pBody, n, nBefore, bTrickle](size_t offset, size_t,
                                                        httplib::DataSink& sink) {
                        if (bTrickle) {  // one byte every n milliseconds
                            if (bStopping.load()) return false;
                            std::this_thread::sleep_for(std::chrono::milliseconds(n));
                            return sink.write(pBody->data() + offset, 1);
                        }
                        if (offset < nBefore)
                            return sink.write(pBody->data() + offset, nBefore - offset);
                        Stall();
                        return false;
                    });
                return;
            }
            case ELoopbackTrouble::kNone:
                break;
        }
        res.status = answer.nStatus;
        res.set_content(answer.strBody, kContentType);
    }
};

CLoopbackServer::CLoopbackServer() : m_p(std::make_unique<SImpl>()) {
    m_p->pServer = std::make_unique<httplib::Server>();
}

CLoopbackServer::CLoopbackServer(const STestTls& tls) : m_p(std::make_unique<SImpl>()) {
    m_p->pServer = std::make_unique<httplib::SSLServer>(tls.certFile.c_str(), tls.keyFile.c_str());
    m_p->bHttps = true;
}

CLoopbackServer::~CLoopbackServer() {
    Stop();
}

bool CLoopbackServer::Start(int nPort) {
    httplib::Server& server = *m_p->pServer;
    if (!server.is_valid()) return false;
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        m_p->Serve(req, res);
    });
    m_p->nPort = nPort <= 0 ? server.bind_to_any_port("127.0.0.1")
                            : (server.bind_to_port("127.0.0.1", nPort) ? nPort : 0);
    if (m_p->nPort <= 0) return false;
    m_p->thread = std::thread([this] { m_p->pServer->listen_after_bind(); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server.is_running() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server.is_running();
}

void CLoopbackServer::Stop() {
    if (!m_p->thread.joinable()) return;
    m_p->bStopping.store(true);
    m_p->pServer->stop();
    m_p->thread.join();
}

int CLoopbackServer::Port() const {
    return m_p->nPort;
}

std::string CLoopbackServer::BaseUrl() const {
    return std::string(m_p->bHttps ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(m_p->nPort);
}

void CLoopbackServer::SetAnswer(const std::string& strPath, SLoopbackAnswer answer) {
    std::lock_guard<std::mutex> lock(m_p->mutex);
    m_p->answers[strPath] = std::move(answer);
}

void CLoopbackServer::QueueAnswer(const std::string& strPath, SLoopbackAnswer answer) {
    std::lock_guard<std::mutex> lock(m_p->mutex);
    m_p->queued[strPath].push_back(std::move(answer));
}

void CLoopbackServer::SetHandler(CHandler handler) {
    std::lock_guard<std::mutex> lock(m_p->mutex);
    m_p->handler = std::move(handler);
}

std::vector<SLoopbackRequest> CLoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_p->mutex);
    return m_p->requests;
}

void CLoopbackServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_p->mutex);
    m_p->requests.clear();
}
