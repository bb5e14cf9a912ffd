#include "feeds/IconService.h"

#include "feeds/IconParser.h"
#include "platform/text/AsciiText.h"

namespace tallowmere {

namespace {

bool isWebAddress(const std::string& address) {
    const auto url = URL::parse(address);
    if (!url || !url->host() || url->host()->empty()) return false;
    const std::string scheme = text::AsciiText::lowercased(url->scheme());
    return scheme == "http" || scheme == "https";
}

}  // namespace

IconService& IconService::shared() {
    static IconService* instance = new IconService();
    return *instance;
}

IconService::IconService(WebService& webService) : webService_(webService) {}

void IconService::download(const URL& page, Completion completion) {
    const std::string key = page.absoluteString();
    std::optional<std::optional<http::Bytes>> remembered;
    {
        std::lock_guard lock(mutex_);
        if (const std::optional<http::Bytes>* answer = rememberedAnswer(key)) {
            remembered = *answer;
        } else {
            auto& waiting = lookups_[key];
            waiting.push_back(std::move(completion));
            if (waiting.size() > 1) return;  // joins the running lookup
        }
    }
    if (remembered) {
        completion(std::move(*remembered));
        return;
    }
    http::HTTPRequest request;
    request.url = key;
    webService_.request(
        std::move(request), WebServicePriority::default_, false,
        [this, page](std::optional<http::Bytes> html, std::optional<WebServiceHTTPInfo>,
                     std::optional<WebServiceFailure> error) { pageArrived(page, std::move(html), error); });
}

void IconService::pageArrived(const URL& page, std::optional<http::Bytes> html,
                              const std::optional<WebServiceFailure>& error) {
    // A cancelled download stops here rather than going on to the fallback.
    if (error && error->isCancelled()) {
        finish(page.absoluteString(), std::nullopt, false);
        return;
    }
    std::optional<std::string> link;
    if (html && !error) link = IconParser::iconLink(*html);
    const auto host = page.host();
    if (!link && host && !host->empty()) link = "/favicon.ico";
    const auto address = absoluteURLString(link, page);
    if (!address || !isWebAddress(*address)) {
        finish(page.absoluteString(), std::nullopt);
        return;
    }
    downloadIcon(page, *address);
}

void IconService::downloadIcon(const URL& page, const std::string& address) {
    {
        std::lock_guard lock(mutex_);
        iconDownloads_[page.absoluteString()] = address;
    }
    http::HTTPRequest request;
    request.url = address;
    request.maxBodySize = maxIconSize;
    webService_.request(std::move(request), WebServicePriority::default_, false,
                        [this, page = page.absoluteString(), address](
                            std::optional<http::Bytes> icon, std::optional<WebServiceHTTPInfo>,
                            std::optional<WebServiceFailure> error) {
                            {
                                std::lock_guard lock(mutex_);
                                const auto found = iconDownloads_.find(page);
                                if (found != iconDownloads_.end() && found->second == address)
                                    iconDownloads_.erase(found);
                            }
                            const bool cancelled = error && error->isCancelled();
                            if (error || !icon || icon->empty()) icon.reset();
                            finish(page, icon, !cancelled);
                        });
}

void IconService::finish(const std::string& page, const std::optional<http::Bytes>& icon, bool keep) {
    std::vector<Completion> waiting;
    {
        std::lock_guard lock(mutex_);
        if (keep) remember(page, icon);
        if (const auto found = lookups_.find(page); found != lookups_.end()) {
            waiting = std::move(found->second);
            lookups_.erase(found);
        }
    }
    for (Completion& completion : waiting) completion(icon);
}

const std::optional<http::Bytes>* IconService::rememberedAnswer(const std::string& page) {
    const auto found = answers_.find(page);
    if (found == answers_.end()) return nullptr;
    if (std::chrono::steady_clock::now() - found->second.time > rememberedFor) return nullptr;
    return &found->second.icon;
}

void IconService::remember(const std::string& page, const std::optional<http::Bytes>& icon) {
    auto [entry, added] = answers_.insert_or_assign(page, Answer{icon, std::chrono::steady_clock::now()});
    if (!added) return;
    answerOrder_.push_back(page);
    if (answerOrder_.size() <= rememberedPages) return;
    answers_.erase(answerOrder_.front());
    answerOrder_.pop_front();
}

void IconService::cancel(const URL& url) {
    webService_.cancel(url);
    std::optional<std::string> icon;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = iconDownloads_.find(url.absoluteString()); found != iconDownloads_.end()) {
            icon = found->second;
        }
    }
    if (icon) webService_.cancel(*icon);
}

std::optional<std::string> IconService::absoluteURLString(const std::optional<std::string>& link, const URL& page) {
    if (!link) return std::nullopt;
    const auto parsed = URL::parse(*link);
    if (!parsed) return std::nullopt;
    if (parsed->isAbsolute() && parsed->hasAuthority()) return *link;
    if (!page.isAbsolute()) return std::nullopt;
    // Resolved after RFC 3986, so path-relative and scheme-relative links and
    // the page's port come out right too.
    const auto resolved = page.resolving(*link);
    if (!resolved) return std::nullopt;
    return resolved->absoluteString();
}

}  // namespace tallowmere
