#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include <httplib.h>

namespace tallowmere::test {

// An HTTP server on 127.0.0.1 at a free port, for tests. Register handlers on
// server() first, then start(); the destructor stops it and joins its thread.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return *server_; }
    // Binds, starts listening on a thread of its own and returns once it accepts.
    void start();
    void stop();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path.
    std::string url(std::string_view path = "/") const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace tallowmere::test
