#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <curl/curl.h>

#include "platform/dispatch/SerialQueue.h"
#include "platform/http/HTTPSessionConfiguration.h"
#include "platform/http/HTTPSessionDelegate.h"
#include "platform/http/HTTPTask.h"

namespace tallowmere::http {

// The engine behind one session: a libcurl multi handle driven by one thread.
// Every transfer is created, advanced, timed out, cancelled and ended on that
// thread; other threads only hand it commands and wake it.
class HTTPDriver {
public:
    HTTPDriver(const HTTPSessionConfiguration& configuration, dispatch::SerialQueue& callbacks,
               HTTPSessionDelegate* delegate);
    ~HTTPDriver();
    HTTPDriver(const HTTPDriver&) = delete;
    HTTPDriver& operator=(const HTTPDriver&) = delete;

    void launch();
    // Ends the running tasks with the cancelled error and joins the thread.
    void stop();
    void start(std::shared_ptr<HTTPTask> task);
    void cancel(std::shared_ptr<HTTPTask> task);

private:
    using Clock = std::chrono::steady_clock;
    struct Transfer;

    void run();
    void takeCommands(std::vector<std::shared_ptr<HTTPTask>>& starts, std::vector<std::shared_ptr<HTTPTask>>& cancels,
                      bool& stopping);
    // Starts the task, or lines it up behind its host's running transfers.
    void admit(const std::shared_ptr<HTTPTask>& task);
    void begin(const std::shared_ptr<HTTPTask>& task);
    // One of the host's transfers ended: the next waiting task of that host runs.
    void admitNext(const std::string& host);
    CURL* makeEasyHandle(Transfer& transfer);
    static void setMethodAndBody(CURL* easy, Transfer& transfer, const HTTPRequest& request);
    void finishCompleted();
    void expireIdleTransfers();
    void cancelTransfer(const std::shared_ptr<HTTPTask>& task);
    void end(CURL* easy, std::optional<HTTPError> error);
    void report(const std::shared_ptr<HTTPTask>& task, std::optional<Bytes> body, std::optional<HTTPResponse> response,
                std::optional<HTTPError> error);
    int nextWaitMilliseconds() const;

    static size_t onHeader(char* data, size_t size, size_t count, void* context);
    static size_t onBody(char* data, size_t size, size_t count, void* context);

    const HTTPSessionConfiguration configuration_;
    dispatch::SerialQueue& callbacks_;
    HTTPSessionDelegate* const delegate_;
    CURLM* multi_ = nullptr;
    std::thread thread_;

    std::mutex mutex_;
    std::vector<std::shared_ptr<HTTPTask>> pendingStarts_;
    std::vector<std::shared_ptr<HTTPTask>> pendingCancels_;
    bool stopping_ = false;

    // Touched on the driver thread only.
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> transfers_;
    std::unordered_map<std::uint64_t, CURL*> handlesByTask_;
    // No transfer can go idle for too long before this time: the sweep over
    // all transfers runs then, not on every turn (thousands of queued page
    // downloads would make each turn a long scan).
    Clock::time_point nextSweep_{};
    // Transfers given to libcurl per host, and the tasks waiting for a turn
    // (in order). libcurl's own queue of transfers over its host limit costs
    // time per transfer that grows with its length, and thousands of page
    // downloads of one site would fill it.
    struct HostLine {
        std::size_t running = 0;
        std::deque<std::shared_ptr<HTTPTask>> waiting;
    };
    std::unordered_map<std::string, HostLine> hostLines_;
    bool admitting_ = true;
};

}  // namespace tallowmere::http
