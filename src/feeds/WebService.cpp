#include "feeds/WebService.h"

#include "foundation/AppUtils.h"
#include "foundation/DispatchQueueFactory.h"

namespace tallowmere {

namespace {

// The program's version and build as the build configured them; the only
// place that reads them. The name is the settable application name.
struct BundleVersion {
    std::string shortVersion;
    std::string build;
};

BundleVersion bundleVersion() {
#if defined(TALLOWMERE_VERSION) && defined(TALLOWMERE_BUILD)
    return {TALLOWMERE_VERSION, TALLOWMERE_BUILD};
#else
    return {};
#endif
}

http::HTTPSessionConfiguration configurationFor(WebServicePriority priority, const WebService::SessionOptions& options) {
    const WebServiceDeadlines& deadlines = options.deadlines;
    using namespace std::chrono_literals;
    http::HTTPSessionConfiguration configuration;
    configuration.trustedCertificatesFile = options.trustedCertificatesFile;
    switch (priority) {
        case WebServicePriority::default_:
            configuration.timeoutIntervalForRequest = options.defaultTimeout.value_or(10s);
            configuration.timeoutIntervalForResource = deadlines.session;
            break;
        case WebServicePriority::low:
            configuration.timeoutIntervalForRequest = 30s;
            configuration.timeoutIntervalForResource = deadlines.session;
            break;
        case WebServicePriority::background:
            configuration.identifier = WebService::backgroundSessionIdentifier;
            configuration.timeoutIntervalForResource = deadlines.background;
            break;
    }
    configuration.additionalHeaders = {{"User-Agent", WebService::userAgent()}};
    return configuration;
}

}  // namespace

WebService::SessionOptions WebService::optionsWith(WebServiceDeadlines deadlines) {
    SessionOptions options;
    options.deadlines = deadlines;
    return options;
}

WebService& WebService::shared() {
    // Never destroyed: completions may still arrive while the process exits.
    static WebService* instance = new WebService();
    return *instance;
}

WebService::WebService() : WebService(SessionOptions{}) {}

WebService::WebService(SessionOptions options)
    : options_(std::move(options)), dataQueue_(makeDispatchQueue(dataQueueLabel, QualityOfService::utility)) {}

WebService::WebService(WebServiceDeadlines deadlines) : WebService(optionsWith(deadlines)) {}

WebService::~WebService() {
    Sessions sessions;
    dataQueue_->sync([&] { sessions.swap(sessions_); });
    // The sessions end their tasks first; their last completions may still use dataQueue.
    sessions.clear();
    dataQueue_.reset();
}

std::string WebService::makeUserAgent(const std::string& appName, const std::string& shortVersion,
                                      const std::string& build) {
    return appName + "/" + shortVersion + "(" + build + ")";
}

const std::string& WebService::userAgent() {
    static const std::string value = [] {
        const auto bundle = bundleVersion();
        return makeUserAgent(AppUtils::appName(), bundle.shortVersion, bundle.build);
    }();
    return value;
}

void WebService::request(const URL& url, WebServicePriority priority, const std::optional<WebServiceHTTPInfo>& httpInfo,
                         bool isServiceRequest, Completion completion) {
    request(url.absoluteString(), priority, httpInfo, isServiceRequest, std::move(completion));
}

void WebService::request(const std::string& url, WebServicePriority priority,
                         const std::optional<WebServiceHTTPInfo>& httpInfo, bool isServiceRequest,
                         Completion completion) {
    http::HTTPRequest request;
    request.url = url;
    if (httpInfo) {
        if (httpInfo->lastModified) request.setHeader("If-Modified-Since", *httpInfo->lastModified);
        if (httpInfo->eTag) request.setHeader("If-None-Match", *httpInfo->eTag);
    }
    this->request(std::move(request), priority, isServiceRequest, std::move(completion));
}

void WebService::request(http::HTTPRequest request, WebServicePriority priority, bool /*isServiceRequest*/,
                         Completion completion) {
    dataQueue_->async([this, request = std::move(request), priority, completion = std::move(completion)]() mutable {
        auto& chosen = session(priority);
        if (request.url.empty()) {
            completion(std::nullopt, std::nullopt, std::nullopt);
            return;
        }
        if (chosen.configuration().identifier == backgroundSessionIdentifier) {
            startBackgroundTask(chosen, std::move(request), std::move(completion));
            return;
        }
        // The running task for the URL is cancelled before the new one starts, in
        // this same block: a cancel(url) sent right after this request then finds
        // the new task on record instead of running ahead of it.
        cancelTask(request.url);
        startTask(chosen, std::move(request), std::move(completion));
    });
}

void WebService::cancel(const URL& url) { cancel(url.absoluteString()); }

void WebService::cancel(const std::string& url) {
    dataQueue_->async([this, url] { cancelTask(url); });
}

void WebService::cancelTask(const std::string& url) {
    const auto found = tasks_.find(url);
    if (found == tasks_.end()) return;
    found->second->cancel();
    tasks_.erase(found);
}

std::size_t WebService::trackedTaskCount() {
    std::size_t count = 0;
    dataQueue_->sync([&] { count = tasks_.size(); });
    return count;
}

http::HTTPSession& WebService::session(WebServicePriority priority) {
    if (sessions_.empty()) buildSessions();
    return *sessions_.at(priority);
}

void WebService::buildSessions() {
    for (auto priority : {WebServicePriority::default_, WebServicePriority::low, WebServicePriority::background}) {
        http::HTTPSessionDelegate* delegate = priority == WebServicePriority::background ? this : nullptr;
        sessions_.emplace(priority, std::make_unique<http::HTTPSession>(configurationFor(priority, options_), delegate));
    }
}

void WebService::startBackgroundTask(http::HTTPSession& session, http::HTTPRequest request, Completion completion) {
    const std::string url = request.url;
    auto task = session.dataTask(std::move(request));
    {
        std::lock_guard lock(backgroundHandlersMutex_);
        backgroundCompletionHandlers_[task->identifier()] = std::move(completion);
    }
    // An earlier background task for the URL keeps running; only the entry is replaced.
    tasks_[url] = task;
    tasks_[url]->resume();
}

void WebService::startTask(http::HTTPSession& session, http::HTTPRequest request, Completion completion) {
    const std::string url = request.url;
    auto task = std::make_shared<std::weak_ptr<http::HTTPTask>>();
    auto made = session.dataTask(
        std::move(request),
        [this, url, task, completion = std::move(completion)](std::optional<http::Bytes> body,
                                                              std::optional<http::HTTPResponse> response,
                                                              std::optional<http::HTTPError> error) {
            const auto self = task->lock();
            dataQueue_->async([this, url, self] { forgetTask(url, self); });
            handleResponse(std::move(body), std::move(response), std::move(error), completion);
        });
    *task = made;
    tasks_[url] = made;
    tasks_[url]->resume();
}

void WebService::forgetTask(const std::string& url, const std::shared_ptr<http::HTTPTask>& task) {
    // Only this task's own entry: a newer request for the URL may have replaced it.
    const auto found = tasks_.find(url);
    if (found != tasks_.end() && found->second == task) tasks_.erase(found);
}

void WebService::handleResponse(std::optional<http::Bytes> body, std::optional<http::HTTPResponse> response,
                                std::optional<http::HTTPError> error, const Completion& completion) {
    std::optional<WebServiceHTTPInfo> httpInfo;
    std::optional<WebServiceFailure> failure;
    if (error) failure = std::move(*error);
    if (response) {
        httpInfo = WebServiceHTTPInfo{response->header("Last-Modified"), response->header("ETag"),
                                      response->statusCode()};
        if (!response->url().empty()) httpInfo->url = response->url();
        httpInfo->contentType = response->header("Content-Type");
        if (!failure) {
            const int status = response->statusCode();
            if (status < 200 || status > 399) failure = WebServiceError::http(status);
        }
    }
    if (!body || failure) {
        completion(std::nullopt, std::move(httpInfo), std::move(failure));
    } else {
        completion(std::move(body), std::move(httpInfo), std::nullopt);
    }
}

void WebService::didReceiveData(http::HTTPTask& task, const http::Bytes& data) {
    auto& gathered = backgroundData_[task.identifier()];
    gathered.insert(gathered.end(), data.begin(), data.end());
}

void WebService::didComplete(http::HTTPTask& task, const std::optional<http::HTTPError>& error) {
    std::optional<http::Bytes> data;
    if (auto found = backgroundData_.find(task.identifier()); found != backgroundData_.end()) {
        data = std::move(found->second);
        backgroundData_.erase(found);
    }
    Completion completion;
    {
        std::lock_guard lock(backgroundHandlersMutex_);
        if (auto found = backgroundCompletionHandlers_.find(task.identifier());
            found != backgroundCompletionHandlers_.end()) {
            completion = std::move(found->second);
            backgroundCompletionHandlers_.erase(found);
        }
    }
    // The finished task leaves the table too, unless a newer request replaced it.
    dataQueue_->async([this, url = task.request().url, self = task.shared_from_this()] { forgetTask(url, self); });
    if (!completion) return;
    std::optional<WebServiceFailure> failure;
    if (error) failure = *error;
    completion(std::move(data), std::nullopt, std::move(failure));
}

}  // namespace tallowmere
