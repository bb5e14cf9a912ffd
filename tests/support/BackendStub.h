#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "support/Gate.h"

namespace tallowmere::test {

// A request the stub saw.
struct StubRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
    std::string header(const std::string& name) const {
        auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// How the stub answers one request.
struct StubAnswer {
    int status = 200;
    std::string body = "{}";
    // Held until the gate opens (or its limit passes).
    bool held = false;
    bool withoutBody = false;

    static StubAnswer bodyless(int status) { return StubAnswer{status, {}, false, true}; }
};

// The backend on loopback HTTPS (certificate of TestCertificates), under
// "/api". It records each request and answers after the answer set for its
// path (by default 200 with "{}"); an answer may be a list, one per request
// in turn, the last one repeating.
class BackendStub {
public:
    BackendStub();
    ~BackendStub();
    BackendStub(const BackendStub&) = delete;
    BackendStub& operator=(const BackendStub&) = delete;

    // "https://127.0.0.1:<port>/api"
    std::string baseURL() const;
    void answer(const std::string& path, std::vector<StubAnswer> answers);
    void answer(const std::string& path, StubAnswer answer) { this->answer(path, std::vector<StubAnswer>{answer}); }

    std::vector<StubRequest> requests() const;
    // Waits until the stub has seen that many requests.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // "seen <path>" when a request arrives and "released <path>" when a held one goes on.
    std::vector<std::string> events() const;

    void openGate() { gate_.open(); }
    void setGateLimit(std::chrono::milliseconds limit) { gateLimit_ = limit; }

private:
    void serve(const httplib::Request& request, httplib::Response& response);

    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
    Gate gate_;
    std::chrono::milliseconds gateLimit_{10'000};
    mutable std::mutex mutex_;
    mutable std::condition_variable seen_;
    std::map<std::string, std::vector<StubAnswer>> answers_;
    std::map<std::string, std::size_t> served_;
    std::vector<StubRequest> requests_;
    std::vector<std::string> events_;
};

}  // namespace tallowmere::test
