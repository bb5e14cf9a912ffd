#include "platform/http/HTTPDriver.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include <strings.h>

#include <pthread.h>

#include "platform/text/AsciiText.h"

namespace tallowmere::http {

struct HTTPDriver::Transfer {
    std::shared_ptr<HTTPTask> task;
    curl_slist* headerList = nullptr;
    std::size_t bodyLimit = 0;
    std::chrono::milliseconds idleTimeout{0};
    Clock::time_point lastActivity;
    // Ends the request however busy it is; a server that trickles a byte now
    // and then never trips the idle time-out.
    std::optional<Clock::time_point> deadline;
    // Header fields of the response being read; a new status line starts over,
    // so redirects and interim responses leave only the final one.
    int statusCode = 0;
    HeaderList headers;
    Bytes body;
    std::size_t received = 0;
    bool tooLarge = false;
    HTTPDriver* driver = nullptr;
    std::string host;
};

namespace {

// "scheme://host:port" of an address, lower-cased, for lining up its
// transfers; the whole text when it has no authority.
std::string hostKey(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t start = scheme + 3;
    std::size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos) end = url.size();
    std::string key = url.substr(0, end);
    const std::size_t at = key.rfind('@');
    if (at != std::string::npos && at >= start) key.erase(start, at + 1 - start);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Refused before libcurl sees the address, so no other scheme is ever read.
std::optional<HTTPError> schemeProblem(const std::string& url) {
    if (url.empty()) return HTTPError(HTTPError::Code::badURL, "no address");
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return HTTPError(HTTPError::Code::badURL, url);
    const std::string scheme = text::AsciiText::lowercased(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") return HTTPError(HTTPError::Code::unsupportedURL, scheme);
    return std::nullopt;
}

HTTPError errorFor(CURLcode code, bool tooLarge) {
    const std::string detail = curl_easy_strerror(code);
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: return HTTPError(HTTPError::Code::timedOut, detail);
        case CURLE_UNSUPPORTED_PROTOCOL: return HTTPError(HTTPError::Code::unsupportedURL, detail);
        case CURLE_URL_MALFORMAT: return HTTPError(HTTPError::Code::badURL, detail);
        case CURLE_TOO_MANY_REDIRECTS: return HTTPError(HTTPError::Code::tooManyRedirects, detail);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return HTTPError(HTTPError::Code::cannotFindHost, detail);
        case CURLE_COULDNT_CONNECT: return HTTPError(HTTPError::Code::cannotConnectToHost, detail);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE: return HTTPError(HTTPError::Code::secureConnectionFailed, detail);
        case CURLE_FILESIZE_EXCEEDED: return HTTPError(HTTPError::Code::responseTooLarge);
        case CURLE_WRITE_ERROR:
            if (tooLarge) return HTTPError(HTTPError::Code::responseTooLarge);
            return HTTPError(HTTPError::Code::other, detail);
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: return HTTPError(HTTPError::Code::networkConnectionLost, detail);
        default: return HTTPError(HTTPError::Code::other, detail);
    }
}

}  // namespace

HTTPDriver::HTTPDriver(const HTTPSessionConfiguration& configuration, dispatch::SerialQueue& callbacks,
                       HTTPSessionDelegate* delegate)
    : configuration_(configuration), callbacks_(callbacks), delegate_(delegate) {
    initialiseCurlOnce();
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, configuration_.maxCachedConnections);
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, configuration_.maxConnectionsPerHost);
}

HTTPDriver::~HTTPDriver() {
    stop();
    curl_multi_cleanup(multi_);
}

void HTTPDriver::launch() {
    thread_ = std::thread([this] { run(); });
    pthread_setname_np(thread_.native_handle(), "http_driver");
}

void HTTPDriver::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    if (thread_.joinable()) thread_.join();
}

void HTTPDriver::start(std::shared_ptr<HTTPTask> task) {
    {
        std::lock_guard lock(mutex_);
        pendingStarts_.push_back(std::move(task));
    }
    curl_multi_wakeup(multi_);
}

void HTTPDriver::cancel(std::shared_ptr<HTTPTask> task) {
    {
        std::lock_guard lock(mutex_);
        pendingCancels_.push_back(std::move(task));
    }
    curl_multi_wakeup(multi_);
}

void HTTPDriver::takeCommands(std::vector<std::shared_ptr<HTTPTask>>& starts,
                              std::vector<std::shared_ptr<HTTPTask>>& cancels, bool& stopping) {
    std::lock_guard lock(mutex_);
    starts.swap(pendingStarts_);
    cancels.swap(pendingCancels_);
    stopping = stopping_;
}

void HTTPDriver::run() {
    std::vector<std::shared_ptr<HTTPTask>> starts;
    std::vector<std::shared_ptr<HTTPTask>> cancels;
    bool stopping = false;
    for (;;) {
        takeCommands(starts, cancels, stopping);
        for (const auto& task : starts) admit(task);
        // Cancels after starts: a task cancelled right after its resume is found running.
        for (const auto& task : cancels) cancelTransfer(task);
        starts.clear();
        cancels.clear();
        if (stopping) break;

        int running = 0;
        curl_multi_perform(multi_, &running);
        finishCompleted();
        expireIdleTransfers();
        curl_multi_poll(multi_, nullptr, 0, nextWaitMilliseconds(), nullptr);
    }
    // Anything started or cancelled after the last turn ends as cancelled too,
    // and so does every task still waiting for its host.
    admitting_ = false;
    for (auto& [host, line] : hostLines_)
        for (const auto& task : line.waiting)
            report(task, std::nullopt, std::nullopt, HTTPError(HTTPError::Code::cancelled));
    hostLines_.clear();
    takeCommands(starts, cancels, stopping);
    for (const auto& task : starts) report(task, std::nullopt, std::nullopt, HTTPError(HTTPError::Code::cancelled));
    for (const auto& task : cancels) report(task, std::nullopt, std::nullopt, HTTPError(HTTPError::Code::cancelled));
    while (!transfers_.empty()) end(transfers_.begin()->first, HTTPError(HTTPError::Code::cancelled));
}

void HTTPDriver::admit(const std::shared_ptr<HTTPTask>& task) {
    HostLine& line = hostLines_[hostKey(task->request().url)];
    const std::size_t turns = static_cast<std::size_t>(std::max(1L, configuration_.maxConnectionsPerHost)) * 4;
    if (line.running < turns && line.waiting.empty()) {
        begin(task);
        if (line.running == 0) hostLines_.erase(hostKey(task->request().url));  // it never ran
    } else {
        line.waiting.push_back(task);
    }
}

void HTTPDriver::admitNext(const std::string& host) {
    const auto found = hostLines_.find(host);
    if (found == hostLines_.end()) return;
    HostLine& line = found->second;
    if (line.running > 0) --line.running;
    while (admitting_ && !line.waiting.empty()) {
        std::shared_ptr<HTTPTask> next = std::move(line.waiting.front());
        line.waiting.pop_front();
        const std::size_t before = line.running;
        begin(next);
        if (line.running > before) return;  // a transfer runs in its place
    }
    if (line.running == 0 && line.waiting.empty()) hostLines_.erase(found);
}

void HTTPDriver::begin(const std::shared_ptr<HTTPTask>& task) {
    if (task->hasEnded()) return;  // cancelled before it was resumed
    if (auto problem = schemeProblem(task->request().url)) {
        report(task, std::nullopt, std::nullopt, std::move(problem));
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->task = task;
    transfer->driver = this;
    const auto& request = task->request();
    transfer->bodyLimit = std::min(configuration_.maxBodySize, request.maxBodySize.value_or(configuration_.maxBodySize));
    transfer->idleTimeout = configuration_.timeoutIntervalForRequest.value_or(request.timeoutInterval);
    transfer->lastActivity = Clock::now();
    if (configuration_.timeoutIntervalForResource)
        transfer->deadline = transfer->lastActivity + *configuration_.timeoutIntervalForResource;
    CURL* easy = makeEasyHandle(*transfer);
    if (!easy) {
        report(task, std::nullopt, std::nullopt, HTTPError(HTTPError::Code::other, "cannot create a transfer"));
        return;
    }
    handlesByTask_[task->identifier()] = easy;
    nextSweep_ = std::min(nextSweep_, transfer->lastActivity + transfer->idleTimeout);
    if (transfer->deadline) nextSweep_ = std::min(nextSweep_, *transfer->deadline);
    transfer->host = hostKey(request.url);
    ++hostLines_[transfer->host].running;
    transfers_.emplace(easy, std::move(transfer));
    curl_multi_add_handle(multi_, easy);
}

CURL* HTTPDriver::makeEasyHandle(Transfer& transfer) {
    CURL* easy = curl_easy_init();
    if (!easy) return nullptr;
    const auto& request = transfer.task->request();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, configuration_.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // every decoding libcurl has
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (configuration_.trustedCertificatesFile)
        curl_easy_setopt(easy, CURLOPT_CAINFO, configuration_.trustedCertificatesFile->c_str());
    setMethodAndBody(easy, transfer, request);
    // Refuses at once a body whose declared length is over the limit; the write
    // callback catches the rest, decoded bytes included.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.bodyLimit));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HTTPDriver::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HTTPDriver::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

    // The request's own fields override the session's of the same name.
    HeaderList headers = request.headers;
    for (const auto& field : configuration_.additionalHeaders) {
        const bool overridden = std::any_of(headers.begin(), headers.end(), [&](const auto& header) {
            return strcasecmp(header.first.c_str(), field.first.c_str()) == 0;
        });
        if (!overridden) headers.push_back(field);
    }
    for (const auto& [name, value] : headers) {
        if (strcasecmp(name.c_str(), "User-Agent") == 0) {
            curl_easy_setopt(easy, CURLOPT_USERAGENT, value.c_str());  // copied by libcurl
            continue;
        }
        // "Name;" is libcurl's form of a header with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        transfer.headerList = curl_slist_append(transfer.headerList, line.c_str());
    }
    if (transfer.headerList) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headerList);
    return easy;
}

void HTTPDriver::setMethodAndBody(CURL* easy, Transfer& transfer, const HTTPRequest& request) {
    if (request.method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
    } else if (request.method != "GET" || request.body) {
        // Body fields alone would turn the request into a POST.
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    if (!request.body && request.method != "POST") return;
    // Without fields of its own a POST would read its body from standard input.
    static const std::string none;
    const std::string& body = request.body ? *request.body : none;
    // The request outlives the transfer, so libcurl may read the bytes in place.
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
    // The whole body goes at once; no round trip to ask whether it may.
    transfer.headerList = curl_slist_append(transfer.headerList, "Expect:");
}

size_t HTTPDriver::onHeader(char* data, size_t size, size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::string_view line(data, size * count);
    transfer.lastActivity = Clock::now();
    if (line.starts_with("HTTP/")) {
        transfer.headers.clear();
        const auto space = line.find(' ');
        transfer.statusCode = space == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(space + 1, 3)).c_str());
        return line.size();
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        transfer.headers.emplace_back(std::string(text::AsciiText::trimmed(line.substr(0, colon))),
                                      std::string(text::AsciiText::trimmed(line.substr(colon + 1))));
    }
    return line.size();
}

size_t HTTPDriver::onBody(char* data, size_t size, size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const size_t length = size * count;
    transfer.lastActivity = Clock::now();
    if (transfer.received + length > transfer.bodyLimit) {
        transfer.tooLarge = true;
        return 0;  // libcurl stops the transfer with a write error
    }
    transfer.received += length;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    if (transfer.task->hasCompletion()) {
        transfer.body.insert(transfer.body.end(), bytes, bytes + length);
    } else if (auto* delegate = transfer.driver->delegate_) {
        auto task = transfer.task;
        transfer.driver->callbacks_.async(
            [delegate, task, chunk = Bytes(bytes, bytes + length)] { delegate->didReceiveData(*task, chunk); });
    }
    return length;
}

void HTTPDriver::finishCompleted() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        const auto found = transfers_.find(easy);
        if (found == transfers_.end()) continue;
        if (code == CURLE_OK) {
            end(easy, std::nullopt);
        } else {
            end(easy, errorFor(code, found->second->tooLarge));
        }
    }
}

void HTTPDriver::expireIdleTransfers() {
    // The longest and the shortest time between two sweeps.
    constexpr auto longestGap = std::chrono::milliseconds(1000);
    constexpr auto shortestGap = std::chrono::milliseconds(20);
    const auto now = Clock::now();
    if (now < nextSweep_) return;
    std::vector<CURL*> expired;
    std::vector<CURL*> overdue;
    auto earliest = now + longestGap;
    for (const auto& [easy, transfer] : transfers_) {
        const auto idleDeadline = transfer->lastActivity + transfer->idleTimeout;
        if (transfer->deadline && now >= *transfer->deadline) {
            overdue.push_back(easy);
        } else if (now >= idleDeadline) {
            expired.push_back(easy);
        } else {
            earliest = std::min(earliest, idleDeadline);
            if (transfer->deadline) earliest = std::min(earliest, *transfer->deadline);
        }
    }
    nextSweep_ = std::max(earliest, now + shortestGap);
    for (CURL* easy : expired) end(easy, HTTPError(HTTPError::Code::timedOut));
    for (CURL* easy : overdue) end(easy, HTTPError(HTTPError::Code::timedOut, "overall deadline passed"));
}

int HTTPDriver::nextWaitMilliseconds() const {
    using std::chrono::milliseconds;
    if (transfers_.empty()) return 1000;
    const auto left = std::chrono::duration_cast<milliseconds>(nextSweep_ - Clock::now()) + milliseconds(1);
    return static_cast<int>(std::clamp(left, milliseconds(1), milliseconds(1000)).count());
}

void HTTPDriver::cancelTransfer(const std::shared_ptr<HTTPTask>& task) {
    const auto found = handlesByTask_.find(task->identifier());
    if (found != handlesByTask_.end()) {
        end(found->second, HTTPError(HTTPError::Code::cancelled));
    } else {
        // Not running: never resumed, or already ended (then report() does nothing).
        report(task, std::nullopt, std::nullopt, HTTPError(HTTPError::Code::cancelled));
    }
}

void HTTPDriver::end(CURL* easy, std::optional<HTTPError> error) {
    auto node = transfers_.extract(easy);
    if (node.empty()) return;
    auto transfer = std::move(node.mapped());
    handlesByTask_.erase(transfer->task->identifier());
    curl_multi_remove_handle(multi_, easy);

    std::optional<HTTPResponse> response;
    if (transfer->statusCode > 0) {
        char* effectiveURL = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveURL);
        response = HTTPResponse(transfer->statusCode, std::move(transfer->headers),
                                effectiveURL ? effectiveURL : transfer->task->request().url);
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(transfer->headerList);

    std::optional<Bytes> body;
    if (!error) body = std::move(transfer->body);
    report(transfer->task, std::move(body), std::move(response), std::move(error));
    admitNext(transfer->host);
}

void HTTPDriver::report(const std::shared_ptr<HTTPTask>& task, std::optional<Bytes> body,
                        std::optional<HTTPResponse> response, std::optional<HTTPError> error) {
    if (!task->claimEnd()) return;
    if (task->hasCompletion()) {
        callbacks_.async([task, body = std::move(body), response = std::move(response), error = std::move(error)]() mutable {
            auto completion = std::move(task->completion_);
            completion(std::move(body), std::move(response), std::move(error));
        });
    } else if (delegate_) {
        callbacks_.async([delegate = delegate_, task, error = std::move(error)] { delegate->didComplete(*task, error); });
    }
}

}  // namespace tallowmere::http
