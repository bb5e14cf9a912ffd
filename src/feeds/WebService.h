#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "feeds/WebServiceDeadlines.h"
#include "feeds/WebServiceFailure.h"
#include "feeds/WebServiceHTTPInfo.h"
#include "feeds/WebServicePriority.h"
#include "foundation/URL.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/http/HTTPSession.h"

namespace tallowmere {

// The one place that sends HTTP requests: three sessions (default, low,
// background), a serial data queue for the bookkeeping and the table of the
// task last started for each URL. Completions run on a session's callback
// queue, never on the caller's thread or the main thread, exactly once.
class WebService : private http::HTTPSessionDelegate {
public:
    // Body (absent on failure), caching values (absent without a response), failure.
    using Completion = std::function<void(std::optional<http::Bytes> data, std::optional<WebServiceHTTPInfo> httpInfo,
                                          std::optional<WebServiceFailure> error)>;

    static constexpr const char* backgroundSessionIdentifier = "tallowmere-background";
    static constexpr const char* dataQueueLabel = "web_service_data_queue";

    // Made on first use and kept for the process.
    static WebService& shared();

    // What a test may change in the sessions: the certificate authorities
    // trusted in place of the system's, the default session's time-out and
    // the overall deadlines of a request.
    struct SessionOptions {
        std::optional<std::string> trustedCertificatesFile;
        std::optional<std::chrono::milliseconds> defaultTimeout;
        WebServiceDeadlines deadlines;
    };

    WebService();
    explicit WebService(SessionOptions options);
    explicit WebService(WebServiceDeadlines deadlines);
    static SessionOptions optionsWith(WebServiceDeadlines deadlines);
    // Ends every running request with the cancelled error; completions still run.
    ~WebService() override;
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    // A GET of the URL, conditional when caching values are given. The request
    // flag marks the backend client's requests; nothing here depends on it.
    void request(const URL& url, WebServicePriority priority, const std::optional<WebServiceHTTPInfo>& httpInfo,
                 bool isServiceRequest, Completion completion);
    void request(const std::string& url, WebServicePriority priority, const std::optional<WebServiceHTTPInfo>& httpInfo,
                 bool isServiceRequest, Completion completion);
    // Returns at once. At default and low priority a newer request for the same
    // URL cancels the running one.
    void request(http::HTTPRequest request, WebServicePriority priority, bool isServiceRequest, Completion completion);
    // Cancels the task last started for the URL, if any, and forgets it.
    void cancel(const URL& url);
    void cancel(const std::string& url);

    // How many URLs have a task on record; for diagnostics and tests.
    std::size_t trackedTaskCount();

    // "<name>/<version>(<build>)": no blanks, the parentheses always there.
    static std::string makeUserAgent(const std::string& appName, const std::string& shortVersion,
                                     const std::string& build);
    // The value every session sends, computed once per process.
    static const std::string& userAgent();

private:
    using Sessions = std::map<WebServicePriority, std::unique_ptr<http::HTTPSession>>;

    // On dataQueue.
    http::HTTPSession& session(WebServicePriority priority);
    void buildSessions();
    void startBackgroundTask(http::HTTPSession& session, http::HTTPRequest request, Completion completion);
    void startTask(http::HTTPSession& session, http::HTTPRequest request, Completion completion);
    void cancelTask(const std::string& url);
    void forgetTask(const std::string& url, const std::shared_ptr<http::HTTPTask>& task);

    // On a session's callback queue.
    static void handleResponse(std::optional<http::Bytes> body, std::optional<http::HTTPResponse> response,
                               std::optional<http::HTTPError> error, const Completion& completion);
    void didReceiveData(http::HTTPTask& task, const http::Bytes& data) override;
    void didComplete(http::HTTPTask& task, const std::optional<http::HTTPError>& error) override;

    const SessionOptions options_;
    std::unique_ptr<dispatch::SerialQueue> dataQueue_;
    Sessions sessions_;
    std::unordered_map<std::string, std::shared_ptr<http::HTTPTask>> tasks_;
    // On the background session's callback queue only.
    std::unordered_map<std::uint64_t, http::Bytes> backgroundData_;
    // Filled on dataQueue, emptied on the background callback queue.
    std::mutex backgroundHandlersMutex_;
    std::unordered_map<std::uint64_t, Completion> backgroundCompletionHandlers_;
};

}  // namespace tallowmere
