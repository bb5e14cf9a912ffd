#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "feeds/WebService.h"
#include "foundation/URL.h"

namespace tallowmere {

// Finds and downloads the icon of a web site: the link the page names, else
// "/favicon.ico" on the page's host. The bytes are handed over unchanged.
class IconService {
public:
    using Completion = std::function<void(std::optional<http::Bytes> icon)>;

    // Icons are small; anything larger is refused rather than kept.
    static constexpr std::size_t maxIconSize = 1024 * 1024;
    // Feeds of one site share its root page: an answer serves the lookups of
    // that page for a while (an import of many feeds of one site asks once).
    static constexpr std::chrono::seconds rememberedFor{300};
    static constexpr std::size_t rememberedPages = 256;

    static IconService& shared();

    explicit IconService(WebService& webService = WebService::shared());
    virtual ~IconService() = default;
    IconService(const IconService&) = delete;
    IconService& operator=(const IconService&) = delete;

    // Returns at once; the completion runs once with the icon's bytes or
    // nothing: on a background thread, or before returning when the page's
    // answer is remembered. Lookups of one page while one is running
    // join it (the web layer would otherwise let the newest cancel the others).
    virtual void download(const URL& page, Completion completion);
    // Cancels the running download of the page, or of the icon found for it.
    virtual void cancel(const URL& url);

    // The link made absolute against the page, or nothing when it cannot be.
    static std::optional<std::string> absoluteURLString(const std::optional<std::string>& link, const URL& page);

private:
    void pageArrived(const URL& page, std::optional<http::Bytes> html,
                     const std::optional<WebServiceFailure>& error);
    void downloadIcon(const URL& page, const std::string& address);
    // Hands the outcome to every lookup of the page; a cancelled lookup's
    // nothing is not an answer to remember.
    void finish(const std::string& page, const std::optional<http::Bytes>& icon, bool keep = true);
    // The page's remembered answer, while it is fresh. Under the mutex.
    const std::optional<http::Bytes>* rememberedAnswer(const std::string& page);
    void remember(const std::string& page, const std::optional<http::Bytes>& icon);

    WebService& webService_;
    std::mutex mutex_;
    // Page address → the completions of its lookups, while one is running.
    std::unordered_map<std::string, std::vector<Completion>> lookups_;
    // Page address → icon address, while the icon is on its way.
    std::unordered_map<std::string, std::string> iconDownloads_;
    struct Answer {
        std::optional<http::Bytes> icon;
        std::chrono::steady_clock::time_point time;
    };
    // Page address → its last answer; the oldest pages are forgotten first.
    std::unordered_map<std::string, Answer> answers_;
    std::deque<std::string> answerOrder_;
};

}  // namespace tallowmere
