#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "feeds/WebService.h"
#include "platform/defaults/UserDefaults.h"
#include "support/BackendStub.h"
#include "service/NullTallowmereManager.h"
#include "service/TallowmereRouter.h"
#include "support/TestCertificates.h"
#include "service/WebTallowmereManager.h"
#include "support/CompletionOutcome.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace tallowmere::test {
namespace {

using namespace std::chrono_literals;
using Error = std::optional<TallowmereServiceError>;
using Code = TallowmereServiceError::Code;

template <typename... Args>
using Outcome = CompletionOutcome<Args...>;

using ErrorOutcome = Outcome<Error>;
using EmailOutcome = Outcome<std::optional<std::string>, Error>;
using DiscoveryOutcome = Outcome<std::optional<TallowmereDiscovery>, Error>;

WebService::SessionOptions trustingTheStub(std::optional<std::chrono::milliseconds> timeout = std::nullopt) {
    return {TestCertificates::shared().authority.string(), timeout, {}};
}

class TallowmereManagerTest : public ::testing::Test {
public:
    Error addFeeds(std::vector<std::string> urls) {
        ErrorOutcome outcome;
        manager->addFeeds(std::move(urls), outcome.completion());
        return std::get<0>(outcome.wait());
    }
    std::tuple<std::optional<std::string>, Error> getUserEmail(const std::string& guid) {
        EmailOutcome outcome;
        manager->getUserEmail(guid, outcome.completion());
        return outcome.wait();
    }
    Error addUser(const std::string& guid, const std::string& email) {
        ErrorOutcome outcome;
        manager->addUser(guid, email, outcome.completion());
        return std::get<0>(outcome.wait());
    }
    Error removeUser(const std::string& guid, const std::string& email) {
        ErrorOutcome outcome;
        manager->removeUser(guid, email, outcome.completion());
        return std::get<0>(outcome.wait());
    }
    std::tuple<std::optional<TallowmereDiscovery>, Error> getDiscovery(std::optional<TallowmereDiscoveryNode> node) {
        DiscoveryOutcome outcome;
        manager->getDiscovery(std::move(node), outcome.completion());
        return outcome.wait();
    }

    BackendStub stub;
    std::unique_ptr<WebService> web = std::make_unique<WebService>(trustingTheStub());
    std::unique_ptr<WebTallowmereManager> manager = std::make_unique<WebTallowmereManager>(stub.baseURL(), *web);
};

TEST_F(TallowmereManagerTest, EachOperationPostsItsBodyWithTheCredential) {
    stub.answer("/discovery", StubAnswer{200, R"({"sections": []})"});
    stub.answer("/add", StubAnswer{200, R"({"added": []})"});
    EXPECT_EQ(addFeeds({}), std::nullopt);
    EXPECT_EQ(addFeeds({"https://a.example/feed", "https://b.example/rss"}), std::nullopt);
    EXPECT_EQ(std::get<1>(getUserEmail("g-1")), std::nullopt);
    EXPECT_EQ(addUser("g-1", "reader@example.com"), std::nullopt);
    EXPECT_EQ(removeUser("g-1", "reader@example.com"), std::nullopt);
    EXPECT_EQ(std::get<1>(getDiscovery(TallowmereDiscoveryNode{"n", {}, {{"id", 3}, {"tags", UntypedArray{"x"}}}})),
              std::nullopt);

    const std::pair<const char*, const char*> expected[] = {
        {"/api/add", R"({"feeds": []})"},
        {"/api/add", R"({"feeds": ["https://a.example/feed", "https://b.example/rss"]})"},
        {"/api/user_guid_mail", R"({"guid": "g-1"})"},
        {"/api/user_guid_mail", R"({"guid": "g-1", "email": "reader@example.com", "verify": 1})"},
        {"/api/user_guid_mail", R"({"guid": "g-1", "email": "reader@example.com", "delete": 1})"},
        {"/api/discovery", nullptr},
    };
    const std::vector<StubRequest> seen = stub.requests();
    ASSERT_EQ(seen.size(), std::size(expected));
    for (std::size_t index = 0; index < seen.size(); ++index) {
        const StubRequest& request = seen[index];
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, expected[index].first);
        const nlohmann::json body = nlohmann::json::parse(request.body);
        if (expected[index].second) {
            EXPECT_EQ(body, nlohmann::json::parse(expected[index].second)) << request.body;
        }
        EXPECT_EQ(request.header("tallowmere-api"), "YnJpc2stbm9kZTpxdm10cmVsYXB3b3preWQ=");
        EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
        EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
        EXPECT_EQ(request.headers.count("Content-Length"), 1u);
        EXPECT_EQ(request.headers.count("Expect"), 0u);
        EXPECT_FALSE(request.header("User-Agent").empty());
    }
    const nlohmann::json discovery = nlohmann::json::parse(seen.back().body);
    EXPECT_EQ(discovery["obj"], nlohmann::json::parse(R"({"id": 3, "tags": ["x"]})"));
    EXPECT_TRUE(discovery.contains("region_code_system"));
    EXPECT_TRUE(discovery.contains("language_code_system"));
}

TEST_F(TallowmereManagerTest, RepliesMapToValuesAndErrors) {
    struct Case {
        const char* name;
        const char* path;
        StubAnswer answer;
        std::function<std::tuple<std::optional<std::string>, Error>(TallowmereManagerTest&)> call;
        std::optional<std::string> value;
        Error error;
        bool logged = false;
    };
    const auto userEmail = [](TallowmereManagerTest& t) { return t.getUserEmail("g"); };
    const auto add = [](TallowmereManagerTest& t) { return std::make_tuple(std::optional<std::string>(), t.addUser("g", "e@x.org")); };
    const auto remove = [](TallowmereManagerTest& t) { return std::make_tuple(std::optional<std::string>(), t.removeUser("g", "e@x.org")); };
    const auto feeds = [](TallowmereManagerTest& t) { return std::make_tuple(std::optional<std::string>(), t.addFeeds({"https://a/f"})); };
    const auto discovery = [](TallowmereManagerTest& t) {
        auto [catalogue, error] = t.getDiscovery(std::nullopt);
        std::optional<std::string> sections;
        if (catalogue) sections = std::to_string(catalogue->sections.size());
        return std::make_tuple(sections, error);
    };
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    const Case cases[] = {
        {"add conflict", "/user_guid_mail", {409, R"({"error": "taken"})"}, add, {}, Code::userConflict},
        {"add accepted", "/user_guid_mail", {200, R"({"guid": "g", "email": "e@x.org"})"}, add, {}, {}},
        {"remove, empty body", "/user_guid_mail", {200, ""}, remove, {}, {}, true},
        {"email, not found", "/user_guid_mail", StubAnswer::bodyless(404), userEmail, {}, Code::userNotFound},
        {"email, guid only", "/user_guid_mail", {200, R"({"guid": "g"})"}, userEmail, {}, {}},
        {"email, stored", "/user_guid_mail", {200, R"({"guid": "g", "email": "e@x.org"})"}, userEmail, "e@x.org", {}},
        {"email, null", "/user_guid_mail", {200, R"({"guid": "g", "email": null})"}, userEmail, {}, {}},
        {"email, data with an error", "/user_guid_mail", {404, R"({"email": "e@x.org"})"}, userEmail, {}, Code::userNotFound},
        {"email, unauthorised", "/user_guid_mail", StubAnswer::bodyless(401), userEmail, {}, Code::userNotAuthorized},
        {"email, wrong kind", "/user_guid_mail", {200, R"({"email": 5})"}, userEmail, {}, {}, true},
        {"email, garbage", "/user_guid_mail", {200, "<html>oops</html>"}, userEmail, {}, {}, true},
        {"email, BOM", "/user_guid_mail", {200, "\xEF\xBB\xBF{\"email\": \"b@x.org\"}"}, userEmail, "b@x.org", {}},
        {"email, not UTF-8", "/user_guid_mail", {200, "{\"email\": \"\xC3\x28\"}"}, userEmail, {}, {}, true},
        {"email, huge number", "/user_guid_mail", {200, R"({"email": "e", "n": 1e400})"}, userEmail, {}, {}, true},
        {"email, too deep", "/user_guid_mail", {200, deep}, userEmail, {}, {}, true},
        {"feeds, server error", "/add", {500, R"({"added": []})"}, feeds, {}, Code::unknown},
        {"feeds, without added", "/add", {200, "{}"}, feeds, {}, {}, true},
        {"feeds, accepted", "/add", {200, R"({"added": ["https://a/f"]})"}, feeds, {}, {}},
        {"feeds, redirect status", "/add", StubAnswer::bodyless(302), feeds, {}, {}, true},
        {"discovery, server error", "/discovery", StubAnswer::bodyless(500), discovery, {}, Code::unknown},
        {"discovery, teapot", "/discovery", StubAnswer::bodyless(418), discovery, {}, Code::unknown},
        {"discovery, catalogue", "/discovery", {200, R"({"sections": [{"objects": []}]})"}, discovery, "1", {}},
        {"discovery, section without objects", "/discovery", {200, R"({"sections": [{"name": "x"}]})"}, discovery, {}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stub.answer(c.path, c.answer);
        LogCapture log;
        const auto [value, error] = c.call(*this);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(error, c.error);
        const std::vector<std::string> lines = log.lines();
        if (c.logged) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_NE(lines[0].find("[ERROR]: json decoding error: "), std::string::npos) << lines[0];
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

TEST_F(TallowmereManagerTest, WithoutARequestEveryOperationFailsAtOnce) {
    WebTallowmereManager unusable("no url at all", *web);
    const auto caller = std::this_thread::get_id();
    ErrorOutcome feeds, added, removed;
    EmailOutcome email;
    unusable.addFeeds({"https://a/f"}, feeds.completion());
    unusable.getUserEmail("g", email.completion());
    unusable.addUser("g", "e@x.org", added.completion());
    unusable.removeUser("g", "e@x.org", removed.completion());
    for (ErrorOutcome* outcome : {&feeds, &added, &removed}) {
        ASSERT_TRUE(outcome->done());
        EXPECT_EQ(outcome->thread(), caller);
        EXPECT_EQ(std::get<0>(outcome->wait()), Error(Code::unknown));
    }
    ASSERT_TRUE(email.done());
    EXPECT_EQ(email.wait(), std::make_tuple(std::optional<std::string>(), Error(Code::unknown)));

    DiscoveryOutcome first, second;
    unusable.getDiscovery(std::nullopt, first.completion());
    unusable.getDiscovery(std::nullopt, second.completion());
    EXPECT_EQ(std::get<1>(first.wait()), Error(Code::unknown));
    EXPECT_EQ(std::get<1>(second.wait()), Error(Code::unknown));

    // A body that cannot be written is not sent either.
    ErrorOutcome unwritable;
    manager->addUser("g", "e\xFF@x.org", unwritable.completion());
    EXPECT_EQ(std::get<0>(unwritable.wait()), Error(Code::unknown));
    DiscoveryOutcome nonFinite;
    manager->getDiscovery(TallowmereDiscoveryNode{"n", {}, {{"x", INFINITY}}}, nonFinite.completion());
    EXPECT_EQ(std::get<1>(nonFinite.wait()), Error(Code::unknown));
    EXPECT_TRUE(stub.requests().empty());
}

TEST_F(TallowmereManagerTest, DiscoveryRequestsGoOneAtATimeInCallOrder) {
    stub.answer("/discovery", std::vector<StubAnswer>{{200, R"({"sections": []})", true},
                                                      {200, R"({"sections": [{"objects": []}]})"}});
    stub.answer("/add", StubAnswer{200, R"({"added": []})"});
    std::mutex mutex;
    std::vector<int> order;
    DiscoveryOutcome outcomes[3];
    auto record = [&](int call) {
        return [&, call](std::optional<TallowmereDiscovery> discovery, Error error) {
            {
                std::lock_guard lock(mutex);
                order.push_back(call);
            }
            outcomes[call].completion()(std::move(discovery), error);
        };
    };
    manager->getDiscovery(std::nullopt, record(0));
    manager->getDiscovery(TallowmereDiscoveryNode{"n", {}, {}}, record(1));
    manager->getDiscovery(std::nullopt, record(2));
    ASSERT_TRUE(stub.waitForRequests(1));
    // A later request through the same layer comes back while the first
    // discovery reply is held; the second discovery must not have gone out.
    EXPECT_EQ(addFeeds({}), std::nullopt);
    EXPECT_EQ(stub.requests().size(), 2u);
    stub.openGate();
    for (DiscoveryOutcome& outcome : outcomes) {
        auto [discovery, error] = outcome.wait();
        EXPECT_TRUE(discovery);
        EXPECT_EQ(error, std::nullopt);
    }
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    }
    EXPECT_EQ(stub.events(), (std::vector<std::string>{"seen /api/discovery", "seen /api/add", "released /api/discovery",
                                                       "seen /api/discovery", "seen /api/discovery"}));
    EXPECT_TRUE(nlohmann::json::parse(stub.requests()[2].body).contains("obj"));
    EXPECT_FALSE(nlohmann::json::parse(stub.requests()[3].body).contains("obj"));
}

TEST_F(TallowmereManagerTest, ABackendWhoseCertificateIsNotTrustedIsNotTalkedTo) {
    WebService untrusting;
    WebTallowmereManager client(stub.baseURL(), untrusting);
    ErrorOutcome outcome;
    client.addUser("g", "e@x.org", outcome.completion());
    EXPECT_EQ(std::get<0>(outcome.wait()), Error(Code::unknown));
    EXPECT_TRUE(stub.requests().empty());
}

TEST_F(TallowmereManagerTest, AnOverlappingUserRequestCancelsTheEarlierOne) {
    stub.answer("/user_guid_mail", std::vector<StubAnswer>{{200, "{}", true}, {200, R"({"guid": "g"})"}});
    ErrorOutcome first;
    manager->addUser("g", "e@x.org", first.completion());
    ASSERT_TRUE(stub.waitForRequests(1));
    EXPECT_EQ(removeUser("g", "e@x.org"), std::nullopt);
    EXPECT_EQ(std::get<0>(first.wait()), Error(Code::unknown));
    stub.openGate();
}

TEST_F(TallowmereManagerTest, ASlowReplyEndsAsUnknownAfterTheTimeOut) {
    web = std::make_unique<WebService>(trustingTheStub(300ms));
    manager = std::make_unique<WebTallowmereManager>(stub.baseURL(), *web);
    stub.answer("/add", StubAnswer{200, R"({"added": []})", true});
    EXPECT_EQ(addFeeds({"https://a/f"}), Error(Code::unknown));
    stub.openGate();
}

TEST_F(TallowmereManagerTest, TheRealTimeOutIsTenSeconds) {
    stub.setGateLimit(20s);
    stub.answer("/user_guid_mail", StubAnswer{200, "{}", true});
    const auto start = std::chrono::steady_clock::now();
    ErrorOutcome outcome;
    manager->addUser("g", "e@x.org", outcome.completion());
    EXPECT_EQ(std::get<0>(outcome.wait(15s)), Error(Code::unknown));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 9500ms);
    EXPECT_LT(waited, 13s);
    stub.openGate();
}

// Reads one request off a plain socket, as it came, and answers 200.
class RawRecorder {
public:
    RawRecorder() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 1);
        thread_ = std::thread([this] { received_.set_value(serveOne()); });
    }
    ~RawRecorder() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api"; }
    // Request line, header block and body, once read.
    std::string received() { return received_.get_future().get(); }

private:
    std::string serveOne() {
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) return {};
        std::string text;
        char buffer[4096];
        std::size_t expected = std::string::npos;
        while (expected == std::string::npos || text.size() < expected) {
            const ssize_t count = read(connection, buffer, sizeof buffer);
            if (count <= 0) break;
            text.append(buffer, static_cast<std::size_t>(count));
            const auto end = text.find("\r\n\r\n");
            if (end != std::string::npos && expected == std::string::npos) {
                const auto field = text.find("Content-Length: ");
                expected = end + 4 + (field < end ? std::stoul(text.substr(field + 16)) : 0);
            }
        }
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
        (void)!write(connection, answer.data(), answer.size());
        close(connection);
        return text;
    }

    int listener_ = -1;
    int port_ = 0;
    std::promise<std::string> received_;
    std::thread thread_;
};

TEST(TallowmereWireTest, HeadersLeaveInTheirOrderAndTheBodyByteForByte) {
    RawRecorder recorder;
    WebService web;
    auto request = TallowmereRouter::addUser("g", "e@x.org").asURLRequest(recorder.baseURL());
    ASSERT_TRUE(request);
    // Any byte of a body goes out as it is.
    request->body = std::string("{\"a\":\"\0\"}", 9);
    request->setHeader("Content-Length", "9");
    ErrorOutcome done;
    web.request(*request, WebServicePriority::default_, true,
                [&](std::optional<http::Bytes>, std::optional<WebServiceHTTPInfo>, std::optional<WebServiceFailure> error) {
                    done.completion()(error ? Error(Code::unknown) : std::nullopt);
                });
    EXPECT_EQ(std::get<0>(done.wait()), std::nullopt);
    const std::string raw = recorder.received();
    EXPECT_TRUE(raw.starts_with("POST /api/user_guid_mail HTTP/1.1\r\n")) << raw;
    const auto credential = raw.find("\r\ntallowmere-api: YnJpc2stbm9kZTpxdm10cmVsYXB3b3preWQ=\r\n");
    const auto type = raw.find("\r\nContent-Type: application/json; charset=utf-8\r\n");
    const auto length = raw.find("\r\nContent-Length: 9\r\n");
    ASSERT_NE(credential, std::string::npos) << raw;
    ASSERT_NE(type, std::string::npos) << raw;
    ASSERT_NE(length, std::string::npos) << raw;
    EXPECT_LT(credential, type);
    EXPECT_LT(type, length);
    EXPECT_EQ(raw.find("Expect:"), std::string::npos);
    EXPECT_TRUE(raw.ends_with(std::string("\r\n\r\n{\"a\":\"\0\"}", 13)));
}

TEST(TallowmereWireTest, ALargeBodyGoesOutWholeWithoutAskingFirst) {
    RawRecorder recorder;
    WebService web;
    auto request = TallowmereRouter::addFeeds(std::vector<std::string>(40'000, "https://example.com/feed.xml"))
                       .asURLRequest(recorder.baseURL());
    ASSERT_TRUE(request);
    ASSERT_GT(request->body->size(), 1'000'000u);
    ErrorOutcome done;
    web.request(*request, WebServicePriority::default_, true,
                [&](std::optional<http::Bytes>, std::optional<WebServiceHTTPInfo>, std::optional<WebServiceFailure> error) {
                    done.completion()(error ? Error(Code::unknown) : std::nullopt);
                });
    EXPECT_EQ(std::get<0>(done.wait()), std::nullopt);
    const std::string raw = recorder.received();
    const auto end = raw.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(raw.substr(0, end).find("Expect"), std::string::npos);
    EXPECT_EQ(raw.substr(end + 4), *request->body);
}

TEST(TallowmereStandInTest, AnswersWithoutABackend) {
    NullTallowmereManager standIn;
    ErrorOutcome feeds, added, removed;
    EmailOutcome email;
    DiscoveryOutcome discovery;
    standIn.addFeeds({"https://a/f"}, feeds.completion());
    standIn.getUserEmail("g", email.completion());
    standIn.addUser("g", "e@x.org", added.completion());
    standIn.removeUser("g", "e@x.org", removed.completion());
    standIn.getDiscovery(std::nullopt, discovery.completion());
    EXPECT_EQ(std::get<0>(feeds.wait()), std::nullopt);
    EXPECT_EQ(email.wait(), std::make_tuple(std::optional<std::string>(), Error()));
    EXPECT_EQ(std::get<0>(added.wait()), Error(Code::unknown));
    EXPECT_EQ(std::get<0>(removed.wait()), Error(Code::unknown));
    EXPECT_EQ(std::get<1>(discovery.wait()), Error(Code::unknown));
    EXPECT_FALSE(std::get<0>(discovery.wait()));
}

TEST(TallowmereStartUpTest, AUsableBackendURLInstallsTheClientAndAnythingElseKeepsTheStandIn) {
    TempDir dir;
    WebService web;
    struct Case {
        std::optional<std::string> setting;
        std::optional<std::string> installed;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"https://backend.example/api/", "https://backend.example/api"},
        {"http://backend.example/api", std::nullopt},
        {"https:///api", std::nullopt},
        {"garbage", std::nullopt},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting.value_or("(none)"));
        auto standIn = std::make_shared<NullTallowmereManager>();
        TallowmereManager::setShared(standIn);
        defaults::UserDefaults settings(dir.path() / ("settings" + std::to_string(index++) + ".json"));
        if (c.setting) settings.set(TallowmereManager::backendURLKey, *c.setting);
        LogCapture log;
        EXPECT_EQ(TallowmereManager::installFromSettings(settings, web), c.installed.has_value());
        auto* client = dynamic_cast<WebTallowmereManager*>(TallowmereManager::shared().get());
        if (c.installed) {
            ASSERT_TRUE(client);
            EXPECT_EQ(client->baseURL(), *c.installed);
            EXPECT_TRUE(log.lines().empty());
        } else {
            EXPECT_EQ(TallowmereManager::shared(), standIn);
            EXPECT_EQ(log.lines().size(), c.setting ? 1u : 0u);
        }
    }
    TallowmereManager::setShared(std::make_shared<NullTallowmereManager>());
}

TEST(TallowmereServiceErrorTest, CodesAndTexts) {
    const std::tuple<Code, int, const char*> cases[] = {
        {Code::unknown, 0, "unknown_error"},
        {Code::userNotAuthorized, 1, "user_not_authorized"},
        {Code::userNotFound, 2, "user_not_found"},
        {Code::userConflict, 3, "user_conflict"},
    };
    for (const auto& [code, number, key] : cases) {
        const TallowmereServiceError error(code);
        EXPECT_EQ(error.errorCode(), number);
        EXPECT_EQ(error.localizationKey(), key);
        EXPECT_FALSE(error.errorDescription().empty());
        EXPECT_NE(error.errorDescription(), key);
    }
    EXPECT_EQ(TallowmereServiceError(Code::userConflict).errorDescription(),
              "This e-mail address is already registered for another user.");
}

}  // namespace
}  // namespace tallowmere::test
