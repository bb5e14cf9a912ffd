#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/http/HTTPSession.h"
#include "support/Gate.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using tallowmere::http::Bytes;
using tallowmere::http::HTTPError;
using tallowmere::http::HTTPRequest;
using tallowmere::http::HTTPResponse;
using tallowmere::http::HTTPSession;
using tallowmere::http::HTTPSessionConfiguration;
using tallowmere::http::HTTPTask;

using tallowmere::test::Gate;

namespace {

struct Outcome {
    std::optional<Bytes> body;
    std::optional<HTTPResponse> response;
    std::optional<HTTPError> error;
    std::string bodyText() const { return body ? std::string(body->begin(), body->end()) : std::string(); }
};

// Collects the one completion of a task; a second call fails the test.
class Expectation {
public:
    HTTPTask::Completion completion() {
        return [this](std::optional<Bytes> body, std::optional<HTTPResponse> response, std::optional<HTTPError> error) {
            std::lock_guard lock(mutex_);
            ++calls_;
            outcome_ = Outcome{std::move(body), std::move(response), std::move(error)};
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

class HTTPSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& server = loopback_.server();
        server.Get("/hello", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("hello", "text/plain");
        });
        server.Get("/port", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(std::to_string(request.remote_port), "text/plain");
        });
        server.Get("/headers", [](const httplib::Request& request, httplib::Response& response) {
            response.set_header("X-User-Agent", request.get_header_value("User-Agent"));
            response.set_header("X-Custom", request.get_header_value("X-Custom"));
            response.set_content("ok", "text/plain");
        });
        server.Get(R"(/redirect/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            const int left = std::stoi(request.matches[1]);
            if (left == 0) {
                response.set_header("X-Final", "yes");
                response.set_content("arrived", "text/plain");
                return;
            }
            response.set_header("X-Hop", std::to_string(left));
            response.set_redirect(loopback_.url("/redirect/" + std::to_string(left - 1)));
        });
        server.Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("file:///etc/passwd");
        });
        server.Get("/gzip", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Encoding", "gzip");
            response.set_content(tallowmere::test::readFixture("http/hello.txt.gz"), "text/plain");
        });
        server.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(64 * 1024, 'x'), "application/octet-stream");
        });
        server.Get("/big-chunked", [](const httplib::Request&, httplib::Response& response) {
            // No declared length: the limit must hold while the bytes arrive.
            response.set_chunked_content_provider("application/octet-stream",
                                                  [](size_t, httplib::DataSink& sink) {
                                                      const std::string chunk(4096, 'y');
                                                      for (int index = 0; index < 16; ++index) {
                                                          if (!sink.write(chunk.data(), chunk.size())) return false;
                                                      }
                                                      sink.done();
                                                      return true;
                                                  });
        });
        server.Get("/big-text", [](const httplib::Request&, httplib::Response& response) {
            // The server compresses this; the limit applies to the decoded bytes.
            response.set_content(std::string(64 * 1024, 'x'), "text/plain");
        });
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            gate_.wait(10s);
            response.set_content("late", "text/plain");
        });
        server.Get("/trickle", [this](const httplib::Request&, httplib::Response& response) {
            // One byte a second: never idle for long, never done. (A type the
            // server does not compress, which would hold the bytes back.)
            response.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink& sink) {
                for (int sent = 0; sent < 60; ++sent) {
                    if (!sink.write("x", 1)) return false;
                    if (gate_.wait(1s)) break;
                }
                sink.done();
                return true;
            });
        });
        loopback_.start();
    }
    void TearDown() override {
        gate_.open();
        sessionHolder_.reset();  // closes its idle connections, so the server stops at once
        loopback_.stop();
    }

    std::shared_ptr<HTTPTask> get(HTTPSession& session, const std::string& url, Expectation& expectation) {
        HTTPRequest request;
        request.url = url;
        auto task = session.dataTask(std::move(request), expectation.completion());
        task->resume();
        return task;
    }

    Gate gate_;
    tallowmere::test::LoopbackServer loopback_;
    std::unique_ptr<HTTPSession> sessionHolder_ = std::make_unique<HTTPSession>(HTTPSessionConfiguration{});
    HTTPSession& session_ = *sessionHolder_;
};

TEST_F(HTTPSessionTest, DeliversBodyStatusAndHeaders) {
    Expectation done;
    get(session_, loopback_.url("/hello"), done);
    const auto outcome = done.wait();
    ASSERT_FALSE(outcome.error) << outcome.error->description();
    EXPECT_EQ(outcome.bodyText(), "hello");
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->statusCode(), 200);
    EXPECT_EQ(outcome.response->header("content-type"), "text/plain");
    EXPECT_EQ(outcome.response->header("CONTENT-TYPE"), "text/plain");
    EXPECT_FALSE(outcome.response->header("X-Missing"));
}

TEST_F(HTTPSessionTest, ReusesTheConnectionForLaterRequests) {
    std::set<std::string> clientPorts;
    for (int index = 0; index < 4; ++index) {
        Expectation done;
        get(session_, loopback_.url("/port"), done);
        clientPorts.insert(done.wait().bodyText());
    }
    EXPECT_EQ(clientPorts.size(), 1u);
}

TEST_F(HTTPSessionTest, SessionHeadersGoOutUnlessTheRequestSetsTheSameName) {
    HTTPSessionConfiguration configuration;
    configuration.additionalHeaders = {{"User-Agent", "Agent/1(2)"}, {"X-Custom", "session"}};
    HTTPSession session(configuration);

    Expectation plain;
    get(session, loopback_.url("/headers"), plain);
    auto outcome = plain.wait();
    EXPECT_EQ(outcome.response->header("X-User-Agent"), "Agent/1(2)");
    EXPECT_EQ(outcome.response->header("X-Custom"), "session");

    HTTPRequest request;
    request.url = loopback_.url("/headers");
    request.setHeader("x-custom", "request");
    Expectation overridden;
    session.dataTask(request, overridden.completion())->resume();
    outcome = overridden.wait();
    EXPECT_EQ(outcome.response->header("X-Custom"), "request");
}

TEST_F(HTTPSessionTest, FollowsRedirectsAndReportsTheFinalResponseOnly) {
    Expectation done;
    get(session_, loopback_.url("/redirect/3"), done);
    const auto outcome = done.wait();
    ASSERT_FALSE(outcome.error) << outcome.error->description();
    EXPECT_EQ(outcome.bodyText(), "arrived");
    EXPECT_EQ(outcome.response->statusCode(), 200);
    EXPECT_EQ(outcome.response->header("X-Final"), "yes");
    EXPECT_FALSE(outcome.response->header("X-Hop")) << "headers of a redirect leaked into the final response";
    EXPECT_EQ(outcome.response->url(), loopback_.url("/redirect/0"));
}

TEST_F(HTTPSessionTest, StopsAfterTenRedirects) {
    Expectation ten;
    get(session_, loopback_.url("/redirect/10"), ten);
    EXPECT_FALSE(ten.wait().error);

    Expectation eleven;
    get(session_, loopback_.url("/redirect/11"), eleven);
    const auto outcome = eleven.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), HTTPError::Code::tooManyRedirects);
    EXPECT_FALSE(outcome.body);
}

TEST_F(HTTPSessionTest, RefusesSchemesOtherThanHTTP) {
    tallowmere::test::TempDir folder;
    const auto secret = folder.path() / "secret.txt";
    { std::ofstream(secret) << "do not read"; }

    struct Case {
        std::string url;
        HTTPError::Code code;
    };
    const Case cases[] = {
        {"file://" + secret.string(), HTTPError::Code::unsupportedURL},
        {"FILE://" + secret.string(), HTTPError::Code::unsupportedURL},
        {"ftp://127.0.0.1/x", HTTPError::Code::unsupportedURL},
        {"gopher://127.0.0.1/x", HTTPError::Code::unsupportedURL},
        {"no scheme at all", HTTPError::Code::badURL},
        {"", HTTPError::Code::badURL},
        {loopback_.url("/to-file"), HTTPError::Code::unsupportedURL},
    };
    for (const auto& item : cases) {
        Expectation done;
        get(session_, item.url, done);
        const auto outcome = done.wait();
        ASSERT_TRUE(outcome.error) << item.url;
        EXPECT_EQ(outcome.error->code(), item.code) << item.url << ": " << outcome.error->description();
        EXPECT_FALSE(outcome.body) << item.url;
    }
}

TEST_F(HTTPSessionTest, DecodesGzipTransparently) {
    Expectation done;
    get(session_, loopback_.url("/gzip"), done);
    const auto outcome = done.wait();
    ASSERT_FALSE(outcome.error) << outcome.error->description();
    EXPECT_EQ(outcome.response->header("Content-Encoding"), "gzip");
    EXPECT_EQ(outcome.bodyText(), tallowmere::test::readFixture("http/hello.txt"));
}

TEST_F(HTTPSessionTest, CutsOffBodiesBeyondTheLimit) {
    HTTPSessionConfiguration configuration;
    configuration.maxBodySize = 16 * 1024;
    HTTPSession session(configuration);
    for (const char* path : {"/big", "/big-chunked", "/big-text"}) {
        Expectation done;
        get(session, loopback_.url(path), done);
        const auto outcome = done.wait();
        ASSERT_TRUE(outcome.error) << path;
        EXPECT_EQ(outcome.error->code(), HTTPError::Code::responseTooLarge) << path;
        EXPECT_FALSE(outcome.body) << path;
        if (std::string(path) == "/big-text") {
            EXPECT_TRUE(outcome.response->header("Content-Encoding")) << "the body should have come compressed";
        }
    }

    // A request may tighten the session's limit, never widen it.
    HTTPRequest request;
    request.url = loopback_.url("/hello");
    request.maxBodySize = 3;
    Expectation tight;
    session_.dataTask(request, tight.completion())->resume();
    const auto outcome = tight.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), HTTPError::Code::responseTooLarge);
}

TEST_F(HTTPSessionTest, TimesOutWhenNothingArrives) {
    HTTPSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = 200ms;
    HTTPSession session(configuration);
    Expectation done;
    get(session, loopback_.url("/slow"), done);
    const auto outcome = done.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), HTTPError::Code::timedOut);
}

TEST_F(HTTPSessionTest, AServerThatTricklesBytesMeetsTheOverallDeadline) {
    HTTPSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = 1500ms;  // longer than the gap between bytes
    configuration.timeoutIntervalForResource = 2500ms;
    HTTPSession session(configuration);
    Expectation done;
    const auto started = std::chrono::steady_clock::now();
    get(session, loopback_.url("/trickle"), done);
    // The server trickles for a minute: an end within half of it is the deadline's.
    const auto outcome = done.wait(30s);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), HTTPError::Code::timedOut);
    EXPECT_FALSE(outcome.body);
    EXPECT_GE(took, 2400ms) << "the idle time-out alone never trips here";
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(HTTPSessionTest, RequestIntervalAppliesWhenTheSessionSetsNone) {
    HTTPRequest request;
    request.url = loopback_.url("/slow");
    request.timeoutInterval = 150ms;
    Expectation done;
    session_.dataTask(request, done.completion())->resume();
    const auto outcome = done.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), HTTPError::Code::timedOut);
}

TEST_F(HTTPSessionTest, CancelEndsARunningTaskPromptlyAndOnce) {
    Expectation done;
    auto task = get(session_, loopback_.url("/slow"), done);
    task->cancel();
    task->cancel();
    const auto outcome = done.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_FALSE(outcome.body);
    // A late cancel of an ended task changes nothing.
    task->cancel();
    Expectation after;
    get(session_, loopback_.url("/hello"), after);
    after.wait();
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(HTTPSessionTest, TasksBeyondAHostsTurnsWaitInOrderAndCanBeCancelledWhileWaiting) {
    HTTPSessionConfiguration configuration;
    configuration.maxConnectionsPerHost = 1;  // four transfers of one host at once
    HTTPSession session(configuration);
    std::vector<std::unique_ptr<Expectation>> slow, waiting;
    for (int index = 0; index < 4; ++index) {
        slow.push_back(std::make_unique<Expectation>());
        get(session, loopback_.url("/slow"), *slow.back());
    }
    std::vector<std::shared_ptr<HTTPTask>> tasks;
    for (int index = 0; index < 3; ++index) {
        waiting.push_back(std::make_unique<Expectation>());
        tasks.push_back(get(session, loopback_.url("/hello"), *waiting.back()));
    }
    tasks[1]->cancel();
    const auto cancelled = waiting[1]->wait(2s);
    ASSERT_TRUE(cancelled.error);
    EXPECT_TRUE(cancelled.error->isCancelled());
    EXPECT_EQ(waiting[0]->calls(), 0) << "a waiting task ran beside the host's four";

    gate_.open();
    for (auto& done : slow) EXPECT_EQ(done->wait().bodyText(), "late");
    EXPECT_EQ(waiting[0]->wait().bodyText(), "hello");
    EXPECT_EQ(waiting[2]->wait().bodyText(), "hello");
    for (auto* list : {&slow, &waiting})
        for (auto& done : *list) EXPECT_EQ(done->calls(), 1);
}

TEST_F(HTTPSessionTest, DestroyingTheSessionEndsWaitingTasksAsCancelled) {
    Expectation waiting;
    std::vector<std::unique_ptr<Expectation>> slow;
    {
        HTTPSessionConfiguration configuration;
        configuration.maxConnectionsPerHost = 1;
        HTTPSession session(configuration);
        for (int index = 0; index < 4; ++index) {
            slow.push_back(std::make_unique<Expectation>());
            get(session, loopback_.url("/slow"), *slow.back());
        }
        get(session, loopback_.url("/hello"), waiting);
    }
    const auto outcome = waiting.wait(2s);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_EQ(waiting.calls(), 1);
    for (auto& done : slow) EXPECT_EQ(done->calls(), 1);
}

TEST_F(HTTPSessionTest, CancelBeforeResumeEndsTheTaskWithoutSendingIt) {
    Expectation done;
    HTTPRequest request;
    request.url = loopback_.url("/hello");
    auto task = session_.dataTask(request, done.completion());
    task->cancel();
    task->resume();
    const auto outcome = done.wait();
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(HTTPSessionTest, DestroyingTheSessionEndsRunningTasksAsCancelled) {
    Expectation done;
    {
        HTTPSession session{HTTPSessionConfiguration{}};
        get(session, loopback_.url("/slow"), done);
    }
    EXPECT_EQ(done.calls(), 1);
    const auto outcome = done.wait(0ms);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
}

class RecordingDelegate : public tallowmere::http::HTTPSessionDelegate {
public:
    void didReceiveData(HTTPTask&, const Bytes& data) override {
        std::lock_guard lock(mutex_);
        received.insert(received.end(), data.begin(), data.end());
    }
    void didComplete(HTTPTask&, const std::optional<HTTPError>& error) override {
        std::lock_guard lock(mutex_);
        ++completions;
        lastError = error;
        condition_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(condition_.wait_for(lock, 5s, [&] { return completions > 0; }));
    }

    Bytes received;
    int completions = 0;
    std::optional<HTTPError> lastError;

private:
    std::mutex mutex_;
    std::condition_variable condition_;
};

TEST_F(HTTPSessionTest, TasksWithoutCompletionReportToTheDelegate) {
    RecordingDelegate delegate;
    {
        HTTPSession session(HTTPSessionConfiguration{}, &delegate);
        HTTPRequest request;
        request.url = loopback_.url("/big");
        session.dataTask(request)->resume();
        delegate.wait();
    }
    EXPECT_EQ(delegate.completions, 1);
    EXPECT_FALSE(delegate.lastError);
    EXPECT_EQ(delegate.received.size(), 64u * 1024);
}

}  // namespace
