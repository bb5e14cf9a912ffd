// Small GETs against a loopback server with a fixed number in flight.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include <benchmark/benchmark.h>

#include "feeds/WebService.h"
#include "platform/http/HTTPSession.h"
#include "support/LoopbackServer.h"

namespace {

constexpr int requestCount = 1000;
constexpr int inFlight = 8;

tallowmere::test::LoopbackServer& server() {
    static tallowmere::test::LoopbackServer* loopback = [] {
        auto* made = new tallowmere::test::LoopbackServer();
        made->server().Get(R"(/item/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content("item " + std::string(request.matches[1]), "text/plain");
        });
        made->start();
        return made;
    }();
    return *loopback;
}

// Runs `requestCount` sends, keeping `inFlight` outstanding; `send(index, done)`
// must call done() once when its request ends.
void runWindowed(const std::function<void(int, std::function<void()>)>& send) {
    std::mutex mutex;
    std::condition_variable condition;
    std::atomic<int> next{0};
    int finished = 0;
    std::function<void()> sendNext;
    sendNext = [&] {
        const int index = next++;
        if (index >= requestCount) return;
        send(index, [&] {
            sendNext();
            std::lock_guard lock(mutex);
            ++finished;
            condition.notify_all();
        });
    };
    for (int slot = 0; slot < inFlight; ++slot) sendNext();
    std::unique_lock lock(mutex);
    condition.wait(lock, [&] { return finished == requestCount; });
}

void BM_WebServiceLoopbackGets(benchmark::State& state) {
    auto& loopback = server();
    tallowmere::WebService service;
    std::atomic<int> failures{0};
    for (auto _ : state) {
        runWindowed([&](int index, std::function<void()> done) {
            service.request(loopback.url("/item/" + std::to_string(index)), tallowmere::WebServicePriority::default_,
                            std::nullopt, false,
                            [&failures, done](auto data, auto, auto error) {
                                if (error || !data) ++failures;
                                done();
                            });
        });
    }
    state.counters["requests_per_second"] =
        benchmark::Counter(static_cast<double>(requestCount) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["failures"] = failures.load();
}
BENCHMARK(BM_WebServiceLoopbackGets)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_HTTPSessionLoopbackGets(benchmark::State& state) {
    auto& loopback = server();
    tallowmere::http::HTTPSession session{tallowmere::http::HTTPSessionConfiguration{}};
    std::atomic<int> failures{0};
    for (auto _ : state) {
        runWindowed([&](int index, std::function<void()> done) {
            tallowmere::http::HTTPRequest request;
            request.url = loopback.url("/item/" + std::to_string(index));
            session.dataTask(std::move(request), [&failures, done](auto body, auto, auto error) {
                if (error || !body) ++failures;
                done();
            })->resume();
        });
    }
    state.counters["requests_per_second"] =
        benchmark::Counter(static_cast<double>(requestCount) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["failures"] = failures.load();
}
BENCHMARK(BM_HTTPSessionLoopbackGets)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
