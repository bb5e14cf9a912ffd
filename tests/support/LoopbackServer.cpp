#include "support/LoopbackServer.h"

#include <chrono>
#include <stdexcept>

namespace tallowmere::test {

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {
    // Idle client connections hold a worker until this runs out, and stop() waits for them.
    server_->set_keep_alive_timeout(1);
    // Without it a reused connection waits for the client's delayed acknowledgement.
    server_->set_tcp_nodelay(true);
}

LoopbackServer::~LoopbackServer() { stop(); }

void LoopbackServer::start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("loopback server: cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() before the accept loop runs would be lost, so wait for it.
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LoopbackServer::stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

std::string LoopbackServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace tallowmere::test
