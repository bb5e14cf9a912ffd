#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "feeds/WebService.h"
#include "foundation/AppUtils.h"
#include "support/Gate.h"
#include "support/LoopbackServer.h"

using namespace std::chrono_literals;
using tallowmere::WebService;
using tallowmere::WebServiceFailure;
using tallowmere::WebServiceHTTPInfo;
using tallowmere::WebServicePriority;
using tallowmere::http::Bytes;

using tallowmere::test::Gate;

namespace {

const std::string lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
const std::string entityTag = "\"v1\"";

struct Outcome {
    std::optional<Bytes> data;
    std::optional<WebServiceHTTPInfo> httpInfo;
    std::optional<WebServiceFailure> error;
    std::string text() const { return data ? std::string(data->begin(), data->end()) : std::string(); }
};

class Expectation {
public:
    WebService::Completion completion() {
        return [this](std::optional<Bytes> data, std::optional<WebServiceHTTPInfo> info,
                      std::optional<WebServiceFailure> error) {
            std::lock_guard lock(mutex_);
            ++calls_;
            outcome_ = Outcome{std::move(data), std::move(info), std::move(error)};
            condition_.notify_all();
        };
    }
    Outcome wait(std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(condition_.wait_for(lock, limit, [&] { return calls_ > 0; })) << "no completion";
        return outcome_;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    int calls_ = 0;
    Outcome outcome_;
};

class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& server = loopback_.server();
        server.Get("/feed", [](const httplib::Request& request, httplib::Response& response) {
            response.set_header("ETag", entityTag);
            response.set_header("Last-Modified", lastModified);
            if (request.get_header_value("If-None-Match") == entityTag ||
                request.get_header_value("If-Modified-Since") == lastModified) {
                response.status = 304;
                return;
            }
            response.set_content("<rss version=\"2.0\"><channel><title>T</title></channel></rss>",
                                 "application/rss+xml");
        });
        server.Get("/conditional-echo", [](const httplib::Request& request, httplib::Response& response) {
            const auto seen = [&](const char* name) {
                return std::string(name) + "=" + (request.has_header(name) ? request.get_header_value(name) : "absent");
            };
            response.set_content(seen("If-None-Match") + ";" + seen("If-Modified-Since"), "text/plain");
        });
        server.Get(R"(/etag/(\w+))", [](const httplib::Request& request, httplib::Response& response) {
            response.set_header(request.matches[1], entityTag);
            response.set_content("tagged", "text/plain");
        });
        server.Get(R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            response.status = std::stoi(request.matches[1]);
            response.set_header("Last-Modified", lastModified);
            if (response.status != 304) response.set_content("body " + std::string(request.matches[1]), "text/plain");
        });
        server.Get(R"(/count/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(request.matches[1], "text/plain");
        });
        server.Get("/agent", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(request.get_header_value("User-Agent"), "text/plain");
        });
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            gate_.wait(10s);
            response.set_content("late", "text/plain");
        });
        loopback_.start();
    }
    void TearDown() override {
        gate_.open();
        service_.reset();
        loopback_.stop();
    }

    Outcome fetch(const std::string& path, WebServicePriority priority = WebServicePriority::default_,
                  std::optional<WebServiceHTTPInfo> info = std::nullopt) {
        Expectation done;
        service_->request(loopback_.url(path), priority, info, false, done.completion());
        return done.wait();
    }

    Gate gate_;
    tallowmere::test::LoopbackServer loopback_;
    std::unique_ptr<WebService> service_ = std::make_unique<WebService>();
};

TEST_F(WebServiceTest, CountsTwoHundredToThreeNinetyNineAsSuccess) {
    struct Case {
        int status;
        bool success;
    };
    const Case cases[] = {{199, false}, {200, true}, {304, true}, {399, true},
                          {400, false}, {404, false}, {500, false}};
    for (auto priority : {WebServicePriority::default_, WebServicePriority::low}) {
        for (const auto& item : cases) {
            const auto outcome = fetch("/status/" + std::to_string(item.status), priority);
            const std::string label = "status " + std::to_string(item.status);
            if (item.success) {
                EXPECT_FALSE(outcome.error) << label << ": " << outcome.error->description();
                EXPECT_TRUE(outcome.data) << label;
                ASSERT_TRUE(outcome.httpInfo) << label;
                EXPECT_EQ(outcome.httpInfo->lastModified, lastModified) << label;
                continue;
            }
            ASSERT_TRUE(outcome.error) << label;
            EXPECT_FALSE(outcome.data) << label;
            if (item.status == 199) continue;  // an interim status: libcurl reports a malformed answer
            EXPECT_EQ(outcome.error->statusCode(), item.status) << label;
            EXPECT_EQ(outcome.error->description(), "HTTP error, status code: " + std::to_string(item.status));
            ASSERT_TRUE(outcome.httpInfo) << label;  // the caching values survive the error
            EXPECT_EQ(outcome.httpInfo->lastModified, lastModified) << label;
        }
    }
}

TEST_F(WebServiceTest, ConditionalRequestGetsNotModifiedWithTheCachingValues) {
    const auto first = fetch("/feed");
    ASSERT_FALSE(first.error);
    ASSERT_TRUE(first.httpInfo);
    EXPECT_EQ(*first.httpInfo, (WebServiceHTTPInfo{lastModified, entityTag, 200}));
    EXPECT_NE(first.text().find("<rss"), std::string::npos);

    const auto second = fetch("/feed", WebServicePriority::default_, first.httpInfo);
    EXPECT_FALSE(second.error);
    ASSERT_TRUE(second.data);
    EXPECT_TRUE(second.data->empty());
    EXPECT_EQ(*second.httpInfo, (WebServiceHTTPInfo{lastModified, entityTag, 304}));
    EXPECT_TRUE(second.httpInfo->isNotModified());
}

TEST_F(WebServiceTest, SendsOnlyTheConditionalHeadersItHas) {
    struct Case {
        WebServiceHTTPInfo info;
        std::string seen;
    };
    const Case cases[] = {
        {{std::nullopt, "\"x\""}, "If-None-Match=\"x\";If-Modified-Since=absent"},
        {{lastModified, std::nullopt}, "If-None-Match=absent;If-Modified-Since=" + lastModified},
        {{lastModified, "\"x\""}, "If-None-Match=\"x\";If-Modified-Since=" + lastModified},
        {{std::nullopt, std::nullopt}, "If-None-Match=absent;If-Modified-Since=absent"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(fetch("/conditional-echo", WebServicePriority::default_, item.info).text(), item.seen);
    }
}

TEST_F(WebServiceTest, FindsTheEntityTagWhateverTheLetterCaseOfItsName) {
    for (const std::string name : {"ETag", "Etag", "etag", "ETAG"}) {
        const auto outcome = fetch("/etag/" + name);
        ASSERT_TRUE(outcome.httpInfo) << name;
        EXPECT_EQ(outcome.httpInfo->eTag, entityTag) << name;
    }
}

TEST_F(WebServiceTest, SendsTheUserAgentOfTheProgram) {
    EXPECT_EQ(fetch("/agent").text(), WebService::userAgent());
    EXPECT_EQ(WebService::userAgent(),
              std::string(TALLOWMERE_APP_NAME) + "/" + TALLOWMERE_VERSION + "(" + TALLOWMERE_BUILD + ")");
    EXPECT_EQ(WebService::makeUserAgent("Reader", "2.1", "57"), "Reader/2.1(57)");
    EXPECT_EQ(WebService::makeUserAgent("Reader", "", ""), "Reader/()");
}

// The value is made once per process, so a process of its own sets the name first.
TEST(WebServiceUserAgent, CarriesTheApplicationNameAsSetBeforeFirstUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            tallowmere::AppUtils::setAppName("Renamed Reader");
            std::fprintf(stderr, "agent=%s\n", WebService::userAgent().c_str());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "agent=Renamed Reader/" TALLOWMERE_VERSION "\\(" TALLOWMERE_BUILD "\\)");
}

TEST_F(WebServiceTest, RequestWithoutURLEndsWithNothing) {
    Expectation done;
    service_->request(tallowmere::http::HTTPRequest{}, WebServicePriority::default_, false, done.completion());
    const auto outcome = done.wait();
    EXPECT_FALSE(outcome.data);
    EXPECT_FALSE(outcome.httpInfo);
    EXPECT_FALSE(outcome.error);
}

TEST_F(WebServiceTest, NewerRequestForTheSameURLCancelsTheRunningOne) {
    for (auto priority : {WebServicePriority::default_, WebServicePriority::low}) {
        Expectation first;
        Expectation second;
        service_->request(loopback_.url("/slow"), priority, std::nullopt, false, first.completion());
        service_->request(loopback_.url("/slow"), priority, std::nullopt, false, second.completion());
        const auto cancelled = first.wait(2s);
        ASSERT_TRUE(cancelled.error);
        EXPECT_TRUE(cancelled.error->isCancelled());
        EXPECT_FALSE(cancelled.data);
        EXPECT_EQ(second.calls(), 0);
        gate_.open();
        const auto finished = second.wait();
        EXPECT_FALSE(finished.error);
        EXPECT_EQ(finished.text(), "late");
        EXPECT_EQ(first.calls(), 1);
        gate_.close();
    }
}

TEST_F(WebServiceTest, CancelByURLEndsTheRequestPromptly) {
    service_->cancel(loopback_.url("/nothing-running"));  // no effect
    Expectation done;
    service_->request(loopback_.url("/slow"), WebServicePriority::default_, std::nullopt, false, done.completion());
    service_->cancel(loopback_.url("/slow"));
    // The server holds its answer for 10 s: an outcome before then, with no
    // data, is the cancellation's.
    const auto outcome = done.wait(8s);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_FALSE(outcome.data);
    EXPECT_EQ(service_->trackedTaskCount(), 0u);
}

// The cancelled task's late bookkeeping must not erase the entry of the request
// that replaced it, or that request could no longer be cancelled.
TEST_F(WebServiceTest, CancelReachesTheRequestThatReplacedAnother) {
    Expectation first;
    Expectation second;
    service_->request(loopback_.url("/slow"), WebServicePriority::default_, std::nullopt, false, first.completion());
    service_->request(loopback_.url("/slow"), WebServicePriority::default_, std::nullopt, false, second.completion());
    first.wait(2s);
    EXPECT_EQ(service_->trackedTaskCount(), 1u);
    service_->cancel(loopback_.url("/slow"));
    const auto outcome = second.wait(2s);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
}

TEST_F(WebServiceTest, HundredParallelRequestsEachCompleteOnce) {
    constexpr int count = 100;
    std::array<std::atomic<int>, count> calls{};
    std::array<std::string, count> bodies;
    std::atomic<int> total{0};
    std::mutex mutex;
    std::condition_variable condition;
    for (int index = 0; index < count; ++index) {
        service_->request(loopback_.url("/count/" + std::to_string(index)), WebServicePriority::default_, std::nullopt,
                          false,
                          [&, index](std::optional<Bytes> data, std::optional<WebServiceHTTPInfo>,
                                     std::optional<WebServiceFailure> error) {
                              if (!error && data) bodies[index] = std::string(data->begin(), data->end());
                              ++calls[index];
                              std::lock_guard lock(mutex);
                              ++total;
                              condition.notify_all();
                          });
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(condition.wait_for(lock, 20s, [&] { return total.load() >= count; }));
    }
    // One more round trip lets any stray second call surface first.
    fetch("/count/0");
    for (int index = 0; index < count; ++index) {
        EXPECT_EQ(calls[index].load(), 1) << index;
        EXPECT_EQ(bodies[index], std::to_string(index));
    }
    EXPECT_EQ(total.load(), count);
    EXPECT_EQ(service_->trackedTaskCount(), 0u);
}

TEST_F(WebServiceTest, BackgroundRequestHandsOverBytesWithoutStatusCheck) {
    const auto outcome = fetch("/status/404", WebServicePriority::background);
    EXPECT_FALSE(outcome.error);
    EXPECT_FALSE(outcome.httpInfo);
    EXPECT_EQ(outcome.text(), "body 404");
    EXPECT_EQ(service_->trackedTaskCount(), 0u) << "a finished background task stays on record";

    const auto cancelled = [&] {
        Expectation done;
        service_->request(loopback_.url("/slow"), WebServicePriority::background, std::nullopt, false,
                          done.completion());
        service_->cancel(loopback_.url("/slow"));
        return done.wait(2s);
    }();
    ASSERT_TRUE(cancelled.error);
    EXPECT_TRUE(cancelled.error->isCancelled());
    EXPECT_FALSE(cancelled.data);
}

}  // namespace

namespace {

TEST_F(WebServiceTest, DestroyingTheServiceEndsEveryRunningRequestOnce) {
    Expectation foreground;
    Expectation low;
    Expectation background;
    service_->request(loopback_.url("/slow"), WebServicePriority::default_, std::nullopt, false, foreground.completion());
    service_->request(loopback_.url("/slow?low"), WebServicePriority::low, std::nullopt, false, low.completion());
    service_->request(loopback_.url("/slow?bg"), WebServicePriority::background, std::nullopt, false,
                      background.completion());
    service_.reset();
    for (auto* expectation : {&foreground, &low, &background}) {
        const auto outcome = expectation->wait(0ms);
        EXPECT_EQ(expectation->calls(), 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_TRUE(outcome.error->isCancelled());
    }
}

}  // namespace
