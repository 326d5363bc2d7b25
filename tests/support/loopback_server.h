// A real HTTP or HTTPS server on 127.0.0.1 for tests, benchmarks and the demo: it serves canned
// answers (service fixtures) with their status, can misbehave on purpose (stall, trickle,
// redirect loop), and records every request it gets.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct SLoopbackRequest {
    std::string strPath;     // decoded path, without the query
    std::string strQuery;    // the raw query as sent, parameter order kept
    std::string strVersion;  // "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of a query parameter (raw, not decoded); empty when absent.
    std::string QueryValue(const std::string& strName) const;
};

enum class ELoopbackTrouble {
    kNone,
    kStallBeforeAnswer,  // accept and read the request, then send nothing
    kStallMidBody,       // send nBytesBeforeTrouble bytes of the body, then nothing
    kRedirectLoop,       // answer every request with a redirect to itself
    kTrickle,            // send the body one byte every nBytesBeforeTrouble milliseconds
};

struct SLoopbackAnswer {
    int nStatus = 200;
    std::string strBody;
    ELoopbackTrouble eTrouble = ELoopbackTrouble::kNone;
    size_t nBytesBeforeTrouble = 0;
};

// An answer with this body and status (always served as JSON).
inline SLoopbackAnswer JsonAnswer(std::string strBody, int nStatus = 200) {
    return {nStatus, std::move(strBody)};
}

// Reads a fixture: the body from <name>.json and the status from <name>.status beside it
// (200 when there is none). False when the body cannot be read.
bool LoadFixture(const std::filesystem::path& jsonFile, SLoopbackAnswer& answer);
// The project's copy of a service fixture: tests/fixtures/services/<service>/<name>.json.
std::filesystem::path ServiceFixturePath(const std::string& strService, const std::string& strName);
// LoadFixture of ServiceFixturePath; an empty 500 answer when it is missing.
SLoopbackAnswer ServiceFixture(const std::string& strService, const std::string& strName);

// A CA and a server certificate for 127.0.0.1 and localhost, made with the openssl command.
struct STestTls {
    std::filesystem::path caFile, certFile, keyFile;
};
// Writes the files into the folder; false when openssl is missing or fails.
bool MakeTestCertificates(const std::filesystem::path& folder, STestTls& tls);

class CLoopbackServer {
  public:
    using CHandler = std::function<SLoopbackAnswer(const SLoopbackRequest&)>;

    CLoopbackServer();                              // plain HTTP
    explicit CLoopbackServer(const STestTls& tls);  // HTTPS with the certificate of tls
    ~CLoopbackServer();
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    // Listens on 127.0.0.1, on nPort or (0) a free port. False when that fails.
    bool Start(int nPort = 0);
    // Ends stalls, stops listening, waits for the serving threads. Also done by the destructor.
    void Stop();
    int Port() const;
    std::string BaseUrl() const;  // "http://127.0.0.1:<port>" or "https://..."

    // How a request is answered: the first queued answer for its path (used once), else the
    // handler, else the answer set for its path, else the default answer (404, empty body).
    void SetAnswer(const std::string& strPath, SLoopbackAnswer answer);
    void QueueAnswer(const std::string& strPath, SLoopbackAnswer answer);
    void SetHandler(CHandler handler);

    std::vector<SLoopbackRequest> Requests() const;
    void ClearRequests();

  private:
    struct SImpl;
    std::unique_ptr<SImpl> m_p;
};
