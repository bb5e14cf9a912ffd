#include "support/BackendStub.h"

#include <stdexcept>

#include "support/TestCertificates.h"

namespace tallowmere::test {

BackendStub::BackendStub() {
    const TestCertificates& certificates = TestCertificates::shared();
    server_ = std::make_unique<httplib::SSLServer>(certificates.certificate.c_str(), certificates.privateKey.c_str());
    if (!server_->is_valid()) throw std::runtime_error("backend stub: certificate not usable");
    server_->set_keep_alive_timeout(1);
    server_->set_tcp_nodelay(true);
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        serve(request, response);
    };
    server_->Post(".*", handler);
    server_->Get(".*", handler);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("backend stub: cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

BackendStub::~BackendStub() {
    gate_.open();
    server_->stop();
    thread_.join();
}

std::string BackendStub::baseURL() const { return "https://127.0.0.1:" + std::to_string(port_) + "/api"; }

void BackendStub::answer(const std::string& path, std::vector<StubAnswer> answers) {
    std::lock_guard lock(mutex_);
    answers_["/api" + path] = std::move(answers);
}

std::vector<StubRequest> BackendStub::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool BackendStub::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return seen_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

std::vector<std::string> BackendStub::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void BackendStub::serve(const httplib::Request& request, httplib::Response& response) {
    StubAnswer answer;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(StubRequest{request.method, request.path, request.headers, request.body});
        events_.push_back("seen " + request.path);
        seen_.notify_all();
        auto found = answers_.find(request.path);
        if (found != answers_.end() && !found->second.empty()) {
            std::size_t& index = served_[request.path];
            answer = found->second[std::min(index, found->second.size() - 1)];
            ++index;
        }
    }
    if (answer.held) {
        gate_.wait(gateLimit_);
        std::lock_guard lock(mutex_);
        events_.push_back("released " + request.path);
    }
    response.status = answer.status;
    if (!answer.withoutBody) response.set_content(answer.body, "application/json");
}

}  // namespace tallowmere::test
