#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "feeds/RSSFeed.h"
#include "feeds/RSSServiceError.h"
#include "feeds/WebService.h"
#include "feeds/WebServiceHTTPInfo.h"
#include "foundation/URL.h"
#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

// Fetches one feed URL and reads the answer into the uniform RSSFeed. When the
// answer is no feed it may follow the first feed link the page announces, and
// retry once with "feed" appended to the URL first asked for; a chain of one
// fetch makes at most three requests.
class RSSService {
public:
    // The feed (absent on failure or when the server said "not modified"), the
    // URL whose answer is reported, that answer's caching values and status
    // (absent for background requests and transport failures), the error.
    // Called exactly once per fetch, on a background thread.
    using Completion =
        std::function<void(std::optional<RSSFeed> feed, URL url, std::optional<WebServiceHTTPInfo> httpInfo,
                           std::optional<RSSServiceError> error)>;

    static constexpr const char* articlesQueueLabel = "rss_service_articles_queue";
    // Only link elements exactly like these announce a feed.
    static constexpr const char* feedLinkXPath =
        "//link[(@type=\"application/atom+xml\" or @type=\"application/rss+xml\") and "
        "@rel=\"alternate\"]/@href";

    // Made on first use and kept for the process.
    static RSSService& shared();

    explicit RSSService(WebService& webService = WebService::shared());
    // Cancels what is in flight and waits until every fetch has completed.
    ~RSSService();
    RSSService(const RSSService&) = delete;
    RSSService& operator=(const RSSService&) = delete;

    // Returns at once. `startURL` is what the caller asked for (retries are
    // built from it), `url` what to request now (callers pass startURL again).
    // A conditional request when caching values are given; a 304 answer ends
    // the fetch with neither feed nor error.
    void fetch(const URL& startURL, const URL& url, std::optional<WebServiceHTTPInfo> httpInfo,
               bool discoverFeedLinks, bool retryWithFeedPath, bool background, Completion completion);

    // Cancels every request in flight. A cancelled fetch completes with the
    // cancellation error and starts no further request, also when it was
    // between two requests of its chain.
    void cancelAll();

    // The URLs whose request has been sent and whose answer is not handled yet.
    std::set<std::string> feedURLs();

    // The first feed link the page announces, made absolute against the
    // address the page was requested from.
    static std::optional<URL> discoveredFeedURL(std::string_view page, const URL& pageURL);

private:
    class Chain;
    // One request of a chain, with the options it was sent with.
    struct Request {
        URL startURL;
        URL url;
        std::optional<WebServiceHTTPInfo> httpInfo;
        bool discoverFeedLinks;
        bool retryWithFeedPath;
        bool background;
        std::shared_ptr<Chain> chain;
    };
    using ParseCompletion = std::function<void(std::optional<RSSFeed>, std::optional<feedkit::FeedError>)>;

    void send(Request request);
    // On articlesQueue.
    void requestStep(const Request& request);
    void answerStep(const Request& request, std::optional<http::Bytes> body,
                    std::optional<WebServiceHTTPInfo> httpInfo, std::optional<WebServiceFailure> error);
    // Where the parse result is delivered.
    void parseStep(const Request& request, const std::shared_ptr<const std::string>& body,
                   const std::optional<WebServiceHTTPInfo>& httpInfo, std::optional<RSSFeed> feed,
                   std::optional<feedkit::FeedError> error);
    void parseTrimmed(const Request& request, const std::string& body,
                      const std::optional<WebServiceHTTPInfo>& httpInfo,
                      std::optional<feedkit::FeedError> firstError);
    // Starts the retry with "feed" when the request allows one.
    bool retry(const Request& request);
    void finish(const Request& request, std::optional<RSSFeed> feed,
                std::optional<WebServiceHTTPInfo> httpInfo, std::optional<RSSServiceError> error);

    // `documentURL`: where the bytes came from, the base of relative addresses.
    static void parse(std::string bytes, std::string documentURL, std::optional<std::string> contentType,
                      ParseCompletion completion);

    WebService& webService_;
    std::unique_ptr<dispatch::SerialQueue> articlesQueue_;
    // On articlesQueue only.
    std::set<std::string> feedURLs_;
    std::uint64_t cancelGeneration_ = 0;

    std::mutex chainsMutex_;
    std::condition_variable chainsDone_;
    std::size_t chainsInFlight_ = 0;
};

}  // namespace tallowmere
