#include "feeds/RSSService.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "feeds/RSSParser.h"
#include "foundation/CharsetConversion.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/TextOperations.h"
#include "foundation/UTF8.h"
#include "platform/feedkit/DocumentCharset.h"
#include "platform/feedkit/FeedParser.h"
#include "platform/htmlquery/HTMLDocument.h"

namespace tallowmere {

// What all requests of one fetch share.
class RSSService::Chain {
public:
    explicit Chain(Completion completion) : completion(std::move(completion)) {}

    Completion completion;
    // The cancelAll count when the chain sent its first request; on articlesQueue.
    std::optional<std::uint64_t> generation;
};

namespace {

std::string text(const http::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The bytes the parser reads: re-encoded when they declare a single-byte
// character set, else as they are.
std::string forParser(std::string bytes) {
    if (auto converted = convertedToUTF8(bytes)) return std::move(*converted);
    return bytes;
}

// The last segment of the path, a trailing slash ignored ("/blog/feed/" ends in "feed").
std::string lastPathComponent(const URL& url) {
    std::string path = url.path();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path == "/") return path;
    return path.substr(path.rfind('/') + 1);
}

// Where the document was read from: the address that answered, after redirects.
std::string documentURL(const URL& requested, const std::optional<WebServiceHTTPInfo>& httpInfo) {
    if (httpInfo && httpInfo->url && !httpInfo->url->empty()) return *httpInfo->url;
    return requested.absoluteString();
}

std::optional<std::string> contentType(const std::optional<WebServiceHTTPInfo>& httpInfo) {
    return httpInfo ? httpInfo->contentType : std::nullopt;
}

// The charset step rewrites a declared single-byte charset; a charset the
// HTTP answer names overrides the declaration, and the parser applies it.
bool answerNamesCharset(const std::optional<WebServiceHTTPInfo>& httpInfo) {
    auto type = contentType(httpInfo);
    return type && feedkit::DocumentCharset::fromContentType(*type).has_value();
}


WebServiceFailure cancellation() {
    return WebServiceFailure(http::HTTPError(http::HTTPError::Code::cancelled, "the fetch was cancelled"));
}

}  // namespace

RSSService& RSSService::shared() {
    // Never destroyed: answers may still arrive while the process exits.
    static RSSService* instance = new RSSService();
    return *instance;
}

RSSService::RSSService(WebService& webService)
    : webService_(webService),
      articlesQueue_(makeDispatchQueue(articlesQueueLabel, QualityOfService::standard)) {}

RSSService::~RSSService() {
    cancelAll();
    std::unique_lock lock(chainsMutex_);
    chainsDone_.wait(lock, [&] { return chainsInFlight_ == 0; });
}

void RSSService::fetch(const URL& startURL, const URL& url, std::optional<WebServiceHTTPInfo> httpInfo,
                       bool discoverFeedLinks, bool retryWithFeedPath, bool background,
                       Completion completion) {
    {
        std::lock_guard lock(chainsMutex_);
        ++chainsInFlight_;
    }
    send(Request{startURL, url, std::move(httpInfo), discoverFeedLinks, retryWithFeedPath, background,
                 std::make_shared<Chain>(std::move(completion))});
}

void RSSService::cancelAll() {
    articlesQueue_->async([this] {
        ++cancelGeneration_;
        for (const auto& url : feedURLs_) webService_.cancel(url);
    });
}

std::set<std::string> RSSService::feedURLs() {
    std::set<std::string> urls;
    articlesQueue_->sync([&] { urls = feedURLs_; });
    return urls;
}

std::optional<URL> RSSService::discoveredFeedURL(std::string_view page, const URL& pageURL) {
    const auto document = htmlquery::HTMLDocument::parse(page);
    if (!document) return std::nullopt;
    const auto nodes = document->xPath(feedLinkXPath);
    if (!nodes || nodes->empty()) return std::nullopt;
    const auto candidate = nodes->front().content();
    if (!candidate) return std::nullopt;
    auto resolved = pageURL.resolving(*candidate);
    if (!resolved || !resolved->isAbsolute()) return std::nullopt;
    return resolved;
}

void RSSService::send(Request request) {
    articlesQueue_->async([this, request = std::move(request)] { requestStep(request); });
}

void RSSService::requestStep(const Request& request) {
    // A chain that was between two requests when everything was cancelled
    // stops instead of sending the next one.
    auto& generation = request.chain->generation;
    if (generation && *generation != cancelGeneration_) {
        finish(request, std::nullopt, std::nullopt, cancellation());
        return;
    }
    generation = cancelGeneration_;
    feedURLs_.insert(request.url.absoluteString());
    const auto priority = request.background ? WebServicePriority::background : WebServicePriority::default_;
    webService_.request(
        request.url, priority, request.httpInfo, false,
        [this, request](std::optional<http::Bytes> body, std::optional<WebServiceHTTPInfo> httpInfo,
                        std::optional<WebServiceFailure> error) mutable {
            articlesQueue_->async([this, request = std::move(request), body = std::move(body),
                                   httpInfo = std::move(httpInfo), error = std::move(error)]() mutable {
                answerStep(request, std::move(body), std::move(httpInfo), std::move(error));
            });
        });
}

void RSSService::answerStep(const Request& request, std::optional<http::Bytes> body,
                            std::optional<WebServiceHTTPInfo> httpInfo,
                            std::optional<WebServiceFailure> error) {
    feedURLs_.erase(request.url.absoluteString());
    // Cancelled work ends here: neither a retry nor a discovered link may
    // start new requests after the user or the program stopped the fetch.
    if (error && error->isCancelled()) {
        finish(request, std::nullopt, std::move(httpInfo), std::move(*error));
        return;
    }
    // The copy the caller holds is current; the answer has no document to read.
    if (!error && httpInfo && httpInfo->isNotModified()) {
        finish(request, std::nullopt, std::move(httpInfo), std::nullopt);
        return;
    }
    if (!body || error) {
        if (retry(request)) return;
        std::optional<RSSServiceError> failure;
        if (error) failure = std::move(*error);
        finish(request, std::nullopt, std::move(httpInfo), std::move(failure));
        return;
    }
    auto received = std::make_shared<const std::string>(text(*body));
    parse(answerNamesCharset(httpInfo) ? *received : forParser(*received), documentURL(request.url, httpInfo),
          contentType(httpInfo),
          [this, request, received, httpInfo](std::optional<RSSFeed> feed,
                                              std::optional<feedkit::FeedError> parseError) {
              parseStep(request, received, httpInfo, std::move(feed), std::move(parseError));
          });
}

void RSSService::parseStep(const Request& request, const std::shared_ptr<const std::string>& body,
                           const std::optional<WebServiceHTTPInfo>& httpInfo, std::optional<RSSFeed> feed,
                           std::optional<feedkit::FeedError> error) {
    if (feed) {
        std::optional<RSSServiceError> failure;
        if (error) failure = std::move(*error);
        finish(request, std::move(feed), httpInfo, std::move(failure));
        return;
    }
    if (request.discoverFeedLinks) {
        if (auto address = discoveredFeedURL(*body, request.url)) {
            send(Request{request.startURL, std::move(*address), httpInfo, false, request.retryWithFeedPath,
                         request.background, request.chain});
            return;
        }
    }
    if (retry(request)) return;
    parseTrimmed(request, *body, httpInfo, std::move(error));
}

void RSSService::parseTrimmed(const Request& request, const std::string& body,
                              const std::optional<WebServiceHTTPInfo>& httpInfo,
                              std::optional<feedkit::FeedError> firstError) {
    if (!utf8::isValid(body)) {
        std::optional<RSSServiceError> failure;
        if (firstError) failure = std::move(*firstError);
        finish(request, std::nullopt, httpInfo, std::move(failure));
        return;
    }
    std::string trimmedBody = trimmingWhitespace(body);
    parse(answerNamesCharset(httpInfo) ? std::move(trimmedBody) : forParser(std::move(trimmedBody)),
          documentURL(request.url, httpInfo), contentType(httpInfo),
          [this, request, httpInfo](std::optional<RSSFeed> feed, std::optional<feedkit::FeedError> error) {
              std::optional<RSSServiceError> failure;
              if (error) failure = std::move(*error);
              finish(request, std::move(feed), httpInfo, std::move(failure));
          });
}

bool RSSService::retry(const Request& request) {
    if (!request.retryWithFeedPath) return false;
    if (lastPathComponent(request.startURL) == "feed") return false;
    // Built from the URL first asked for, also after a discovered link failed,
    // and sent with the caching values of the request that failed.
    send(Request{request.startURL, request.startURL.appendingPathComponent("feed"), request.httpInfo, false,
                 false, request.background, request.chain});
    return true;
}

void RSSService::finish(const Request& request, std::optional<RSSFeed> feed,
                        std::optional<WebServiceHTTPInfo> httpInfo, std::optional<RSSServiceError> error) {
    request.chain->completion(std::move(feed), request.url, std::move(httpInfo), std::move(error));
    std::lock_guard lock(chainsMutex_);
    if (--chainsInFlight_ == 0) chainsDone_.notify_all();
}

void RSSService::parse(std::string bytes, std::string documentURL, std::optional<std::string> contentType,
                       ParseCompletion completion) {
    feedkit::FeedParser(std::move(bytes), documentURL, std::move(contentType))
        .parseAsync(RSSParser::parseQueue(),
                    [documentURL, completion = std::move(completion)](feedkit::Result result) {
                        RSSParser::parse(result, completion, documentURL);
                    });
}

}  // namespace tallowmere
