#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "feeds/PrefetchManager.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/readability/Readability.h"
#include "store/DataController.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using namespace tallowmere;

namespace {

// What one article holds in the fields the manager reads or writes.
struct ArticleFields {
    std::optional<std::string> link;
    std::optional<std::string> previewContent;
    std::optional<std::string> textContent;
    std::optional<std::string> topImage;
    std::optional<std::string> topVideo;
    bool operator==(const ArticleFields&) const = default;
};

std::ostream& operator<<(std::ostream& out, const std::optional<std::string>& value) {
    return out << (value ? "\"" + *value + "\"" : std::string("<none>"));
}

std::ostream& operator<<(std::ostream& out, const ArticleFields& fields) {
    return out << "{link " << fields.link << ", preview " << fields.previewContent << ", text "
               << fields.textContent << ", topImage " << fields.topImage << ", topVideo " << fields.topVideo << "}";
}

// Collects the completions of prefetches, from whatever thread they come.
class Completions {
public:
    PrefetchManager::Completion add() {
        std::lock_guard lock(mutex_);
        const std::size_t index = results_.size();
        results_.emplace_back();
        return [this, index](bool prefetched) {
            std::lock_guard lock(mutex_);
            if (results_[index]) ++repeats_;
            results_[index] = prefetched;
            changed_.notify_all();
        };
    }
    // The result of the index-th prefetch, once it has come.
    std::optional<bool> wait(std::size_t index, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return results_.at(index).has_value(); });
        return results_.at(index);
    }
    bool hasArrived(std::size_t index) {
        std::lock_guard lock(mutex_);
        return results_.at(index).has_value();
    }
    int repeats() {
        std::lock_guard lock(mutex_);
        return repeats_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<bool>> results_;
    int repeats_ = 0;
};

// Holds a page back until the test opens the gate.
class Gate {
public:
    void waitOpen() {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait_for(lock, 10s, [&] { return open_; });
    }
    bool waitArrivals(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return arrived_ >= count; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int arrivals() {
        std::lock_guard lock(mutex_);
        return arrived_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    bool open_ = false;
};

constexpr const char* newsPath = "/news/business/2026/12/10/harbour-cranes-return";
constexpr const char* blogPath = "/2026/11/28/slow-proofing-sourdough/";
constexpr const char* contentImagePath = "/journal/2026/moss-survey.html";
constexpr const char* latin1Path = "/loisirs/2026/09/fete-des-vendanges.html";
constexpr const char* inlineDataPath = "/2026/11/inline-icons/";
constexpr const char* chartPath = "/weather/rainfall.html";
constexpr const char* shortVideoPath = "/harbour/ferry-video.html";
constexpr const char* gatedPath = "/gated/harbour-cranes-return";

class PrefetchManagerTest : public testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir_.path() / "store" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller_ = opened.value();
        servePages();
        server_.start();
        manager_ = std::make_unique<PrefetchManager>(webService_);
    }

    void TearDown() override {
        gate_.open();
        manager_.reset();
        controller_.reset();
        dispatch::MainQueue::shared().drain();
    }

    void servePages() {
        auto& server = server_.server();
        const auto page = [&](const char* path, const std::string& fixture, const char* type) {
            server.Get(path, [this, body = test::readFixture(fixture), type](const httplib::Request&,
                                                                             httplib::Response& response) {
                ++downloads_;
                response.set_content(body, type);
            });
        };
        page(newsPath, "readability/news-article.html", "text/html; charset=utf-8");
        page(blogPath, "readability/blog-post.html", "text/html; charset=utf-8");
        page(contentImagePath, "readability/content-image.html", "text/html");
        page(latin1Path, "readability/latin1.html", "text/html; charset=ISO-8859-1");
        page(inlineDataPath, "readability/inline-data-uri.html", "text/html; charset=utf-8");
        page(chartPath, "prefetch/chart-image.html", "text/html; charset=utf-8");
        page(shortVideoPath, "prefetch/short-video.html", "text/html; charset=utf-8");
        server.Get("/short/7", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/stories/2026/bridge.html");
        });
        server.Get("/stories/2026/bridge.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><meta property='og:image' content='pictures/bridge.jpg'></head><body>"
                                 "<p>The council approved the bridge on Tuesday, after a long debate, and work "
                                 "starts in spring.</p></body></html>",
                                 "text/html; charset=utf-8");
        });
        server.Get("/missing", [this](const httplib::Request&, httplib::Response& response) {
            ++downloads_;
            response.status = 404;
            response.set_content("<html><body><p>This page could not be found on the server.</p></body></html>",
                                 "text/html");
        });
        server.Get(gatedPath, [this, body = test::readFixture("readability/news-article.html")](
                                  const httplib::Request&, httplib::Response& response) {
            ++downloads_;
            gate_.waitOpen();
            response.set_content(body, "text/html; charset=utf-8");
        });
    }

    graph::Context& background() { return *controller_->backgroundContext(); }
    graph::Context& main() { return *controller_->mainContext(); }

    // A stored article of the background context.
    Article makeArticle(const ArticleFields& fields) { return makeArticle(background(), fields); }
    Article makeArticle(graph::Context& context, const ArticleFields& fields) {
        std::optional<Article> article;
        context.performAndWait([&] {
            article = Article::insert(context);
            article->setLink(fields.link);
            article->setPreviewContent(fields.previewContent);
            article->setTextContent(fields.textContent);
            article->setTopImage(fields.topImage);
            article->setTopVideo(fields.topVideo);
            EXPECT_TRUE(context.save().ok());
        });
        return *article;
    }

    static ArticleFields fieldsOf(const Article& article) {
        ArticleFields fields;
        article.context()->performAndWait([&] {
            fields = {article.link(), article.previewContent(), article.textContent(), article.topImage(),
                      article.topVideo()};
        });
        return fields;
    }

    // Runs one prefetch and returns its result (nothing when none came).
    std::optional<bool> prefetchAndWait(const Article& article,
                                        WebServicePriority priority = WebServicePriority::low) {
        Completions completions;
        manager_->prefetch(article, priority, completions.add());
        const auto result = completions.wait(0);
        EXPECT_EQ(completions.repeats(), 0);
        return result;
    }

    std::string url(const char* path) const { return server_.url(path); }

    test::TempDir dir_;
    std::shared_ptr<DataController> controller_;
    test::LoopbackServer server_;
    WebService webService_;
    Gate gate_;
    std::atomic<int> downloads_ = 0;
    std::unique_ptr<PrefetchManager> manager_;
};

struct RealisticPage {
    const char* name;
    const char* path;
    const char* fixture;
    std::optional<std::string> topImage;  // "@" stands for the loopback server's address
    std::optional<std::string> topVideo;
    std::vector<std::string> inText;
    std::vector<std::string> notInText;
};

const RealisticPage realisticPages[] = {
    {"NewsArticle",
     newsPath,
     "readability/news-article.html",
     "https://cdn.meridiancourier.example/images/2026/12/eastport-cranes-1200.jpg",
     std::nullopt,
     {"Port officials said", "ships of up to 14,000 containers", "signed a 25-year lease on the berth",
      "employ about 420 people at the terminal", "the restored freight line to the inland depot at Carrow."},
     {"Skip to main content", "Money and markets", "Share this story", "Share on Facebook", "Email this story",
      "Advertisement", "Residents fight new lorry route", "Worked on the old gantries", "Post comment",
      "Most read", "morning briefing in your inbox", "All rights reserved", "We use cookies"}},
    {"BlogPostWithVideo",
     blogPath,
     "readability/blog-post.html",
     "https://crumbandkettle.example/wp-content/uploads/2026/11/loaf-crumb-shot.jpg",
     "https://www.youtube.com/embed/Qv7Lr2kXmPa?feature=oembed",
     {"Our kitchen sits above a bicycle shop", "This winter I stopped fighting.",
      "judge the dough by its volume and its wobble", "which is the moment to shape."},
     {"Skip to content", "Share this:", "Pin it for later", "Email a loaf-loving friend", "Rye crackers for a crowd",
      "Leave a Reply", "Recent Posts", "should really buy a thermometer", "Proudly powered"}},
    {"OnlyImageInsideTheContent",
     contentImagePath,
     "readability/content-image.html",
     "@/media/moss/hummock-wide.jpg",
     std::nullopt,
     {"Seven of us climbed to the bog above Harrow Fell", "two that nobody in the valley had recorded before",
      "count squares for a day."},
     {"Journal of the Harrow Valley", "Walks programme", "Send us your records", "Upcoming walks",
      "registered charity"}},
    {"Latin1Page",
     latin1Path,
     "readability/latin1.html",
     std::nullopt,
     std::nullopt,
     {"près de trois mille visiteurs", "célébrait cette année son cinquantième anniversaire",
      "« Nous n’avions jamais vu autant de monde », s’étonne Germaine Clément"},
     {"Édition du matin", "Économie", "Tous droits réservés"}},
};

std::ostream& operator<<(std::ostream& out, const RealisticPage& page) { return out << page.name; }

class RealisticPrefetch : public PrefetchManagerTest, public testing::WithParamInterface<RealisticPage> {};

}  // namespace

TEST_P(RealisticPrefetch, StoresTheArticleWithoutThePageAroundIt) {
    const RealisticPage& page = GetParam();
    const std::string teaser = "A teaser from the feed.";
    const Article article = makeArticle({url(page.path), "<p>" + teaser + "</p>", teaser, std::nullopt,
                                         "https://video.example/old"});

    ASSERT_EQ(prefetchAndWait(article), true);

    const ArticleFields stored = fieldsOf(article);
    ASSERT_TRUE(stored.textContent);
    const std::string& text = *stored.textContent;
    for (const std::string& sentence : page.inText)
        EXPECT_NE(text.find(sentence), std::string::npos) << "missing: " << sentence << "\n" << text;
    for (const std::string& furniture : page.notInText)
        EXPECT_EQ(text.find(furniture), std::string::npos) << "kept: " << furniture << "\n" << text;
    EXPECT_FALSE(isspace(static_cast<unsigned char>(text.front())));
    EXPECT_FALSE(isspace(static_cast<unsigned char>(text.back())));
    std::optional<std::string> topImage = page.topImage;
    if (topImage && topImage->starts_with("@")) topImage = server_.url(topImage->substr(1));
    EXPECT_EQ(stored.topImage, topImage);
    EXPECT_EQ(stored.topVideo, page.topVideo);
    EXPECT_EQ(stored.previewContent, "<p>" + teaser + "</p>");
    background().performAndWait([&] { EXPECT_FALSE(article.isFullTextContent()); });
    EXPECT_EQ(downloads_, 1);
}

INSTANTIATE_TEST_SUITE_P(ArticlePages, RealisticPrefetch, testing::ValuesIn(realisticPages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrefetchManagerTest, TwoPrefetchesOfOneLinkDownloadOnce) {
    const Article first = makeArticle({url(gatedPath), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    const Article twin = makeArticle({url(gatedPath), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    const Article settled = makeArticle({url(newsPath), std::nullopt, std::nullopt, "https://img.example/set.jpg",
                                         std::nullopt});
    Completions completions;

    manager_->prefetch(first, WebServicePriority::low, completions.add());
    ASSERT_TRUE(gate_.waitArrivals(1));
    manager_->prefetch(twin, WebServicePriority::low, completions.add());
    // Decided on the same serial queue after the twin: once it answers, the
    // twin has been turned away and is waiting for the download in flight.
    manager_->prefetch(settled, WebServicePriority::low, completions.add());
    ASSERT_EQ(completions.wait(2), false);
    EXPECT_FALSE(completions.hasArrived(1));
    EXPECT_FALSE(completions.hasArrived(0));

    gate_.open();
    EXPECT_EQ(completions.wait(0), true);
    EXPECT_EQ(completions.wait(1), false);
    EXPECT_EQ(completions.repeats(), 0);
    EXPECT_EQ(gate_.arrivals(), 1);
    EXPECT_TRUE(fieldsOf(first).textContent);
    EXPECT_EQ(fieldsOf(twin), (ArticleFields{url(gatedPath), std::nullopt, std::nullopt, std::nullopt, std::nullopt}));

    // Once the first download has ended the link may be fetched again.
    const Article later = makeArticle({url(gatedPath), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(prefetchAndWait(later), true);
    EXPECT_EQ(gate_.arrivals(), 2);
}

TEST_F(PrefetchManagerTest, ManyPagesAtOnceAreEachStoredAndAnsweredOnce) {
    // Pages read on many threads at once go into the context together.
    const char* paths[] = {newsPath, blogPath, latin1Path};
    std::vector<Article> articles;
    for (int index = 0; index < 24; ++index)
        articles.push_back(makeArticle({url(paths[index % 3]) + "?copy=" + std::to_string(index), std::nullopt,
                                        std::nullopt, std::nullopt, std::nullopt}));
    Completions completions;
    // As the feeds manager asks, from inside the context with the link read there.
    background().performAndWait([&] {
        for (const Article& article : articles)
            manager_->prefetch(article, PrefetchManager::linkToPrefetch(article), WebServicePriority::low,
                               completions.add());
    });
    for (std::size_t index = 0; index < articles.size(); ++index) EXPECT_EQ(completions.wait(index), true) << index;
    EXPECT_EQ(completions.repeats(), 0);
    for (const Article& article : articles) EXPECT_TRUE(fieldsOf(article).textContent) << *fieldsOf(article).link;
    EXPECT_EQ(downloads_, 24);
}

TEST_F(PrefetchManagerTest, FailuresReportFalseAndChangeNothing) {
    struct Case {
        const char* name;
        ArticleFields fields;
    };
    const Case cases[] = {
        {"top image already set",
         {url(newsPath), "<img src=\"/a.png\">", "Old text.", "https://img.example/a.jpg", "https://v.example/1"}},
        {"no link", {std::nullopt, "<img src=\"/a.png\">", "Old text.", std::nullopt, "https://v.example/1"}},
        {"link that is no URL", {"http://exa mple/page", std::nullopt, "Old text.", std::nullopt, std::nullopt}},
        {"page not found", {url("/missing"), "<img src=\"/a.png\">", "Old text.", std::nullopt, "https://v.example/1"}},
        {"server not listening", {"http://127.0.0.1:1/page", std::nullopt, "Old text.", std::nullopt, std::nullopt}},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const Article article = makeArticle(item.fields);
        EXPECT_EQ(prefetchAndWait(article), false);
        EXPECT_EQ(fieldsOf(article), item.fields);
        background().performAndWait([&] { EXPECT_FALSE(background().hasChanges()); });
    }
    // Only the missing page was asked for.
    EXPECT_EQ(downloads_, 1);
}

TEST_F(PrefetchManagerTest, IgnoredTopImagesGiveWayToThePreview) {
    struct Case {
        const char* name;
        const char* path;
        std::optional<std::string> preview;
        std::optional<std::string> topImage;  // "@" stands for the loopback server's address
    };
    const Case cases[] = {
        {"chart from the page, image from the preview", chartPath,
         "<p>Rain again.</p><p><img src=\"charts/rain-2026.png\" alt=\"\"></p>", "@/weather/charts/rain-2026.png"},
        {"chart from the page, escaped preview image from the site root", chartPath,
         "&lt;img src=&quot;/gauge.jpg&quot;&gt;", "@/gauge.jpg"},
        {"chart from the page, one-pixel GIF in the preview", chartPath,
         "<img src=\"data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==\">"
         "<img src=\"/real.jpg\">",
         std::nullopt},
        {"chart from the page, placeholder in the preview", chartPath,
         "<img src=\"https://s0.wp.com/i/webclip.png\">", std::nullopt},
        {"chart from the page, no preview", chartPath, std::nullopt, std::nullopt},
        {"no image on the page, scheme-relative preview image", latin1Path,
         "<img src=\"//cdn.example/fete.jpg\">", "http://cdn.example/fete.jpg"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const Article article = makeArticle({url(item.path), item.preview, std::nullopt, std::nullopt, std::nullopt});
        EXPECT_EQ(prefetchAndWait(article), true);
        std::optional<std::string> expected = item.topImage;
        if (expected && expected->starts_with("@")) expected = server_.url(expected->substr(1));
        EXPECT_EQ(fieldsOf(article).topImage, expected);
        EXPECT_TRUE(fieldsOf(article).textContent);
    }
}

TEST_F(PrefetchManagerTest, TextIsReplacedOnlyByLongerText) {
    const std::string pageText = [&] {
        const auto result =
            readability::Readability::extract(test::readFixture("prefetch/short-video.html"), url(shortVideoPath));
        const auto* data = std::get_if<readability::ReadabilityData>(&result);
        return data && data->text ? *data->text : std::string();
    }();
    ASSERT_FALSE(pageText.empty());
    ASSERT_LT(pageText.size(), 200u);
    // "é" written as e and a combining accent: one character in three bytes,
    // so a byte count would call this text longer than the page's.
    std::string decomposed;
    for (std::size_t i = 0; i + 1 < pageText.size(); ++i) decomposed += "e\xcc\x81";
    const std::string longer(pageText.size() + 1, 'x');

    struct Case {
        const char* name;
        std::optional<std::string> stored;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"no stored text", std::nullopt, pageText},
        {"empty stored text", "", pageText},
        {"shorter stored text", "Ferry.", pageText},
        {"fewer characters in more bytes", decomposed, pageText},
        {"same length", std::string(pageText.size(), 'x'), std::string(pageText.size(), 'x')},
        {"longer stored text", longer, longer},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const Article article =
            makeArticle({url(shortVideoPath), std::nullopt, item.stored, std::nullopt, "https://video.example/old"});
        EXPECT_EQ(prefetchAndWait(article), true);
        const ArticleFields stored = fieldsOf(article);
        EXPECT_EQ(stored.textContent, item.expected);
        // The video is written on every run.
        EXPECT_EQ(stored.topVideo, "https://player.vimeo.com/video/48151623");
    }
}

TEST_F(PrefetchManagerTest, TextWithAnInlinePNGIsRefused) {
    const Article article = makeArticle({url(inlineDataPath), std::nullopt, "Teaser.", std::nullopt,
                                         "https://video.example/old"});

    EXPECT_EQ(prefetchAndWait(article), true);

    const ArticleFields stored = fieldsOf(article);
    EXPECT_EQ(stored.textContent, "Teaser.");
    EXPECT_EQ(stored.topImage, url("/images/2026/requests-before-after.png"));
    EXPECT_EQ(stored.topVideo, std::nullopt);
}

// Relative addresses of a page reached through a redirect resolve against
// where the page really is, not against the article's link.
TEST_F(PrefetchManagerTest, RelativeImagesResolveAgainstThePageAfterRedirects) {
    const Article article = makeArticle({url("/short/7"), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(prefetchAndWait(article), true);
    EXPECT_EQ(fieldsOf(article).topImage, url("/stories/2026/pictures/bridge.jpg"));
}

TEST_F(PrefetchManagerTest, ArticleDeletedDuringTheDownloadIsLeftAlone) {
    const ArticleFields fields{url(gatedPath), "<img src=\"/a.png\">", "Old text.", std::nullopt, "https://v.example/1"};
    const Article article = makeArticle(fields);
    const Article other = makeArticle({url(blogPath), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    Completions completions;

    manager_->prefetch(article, WebServicePriority::background, completions.add());
    ASSERT_TRUE(gate_.waitArrivals(1));
    background().performAndWait([&] {
        background().deleteObject(article.object());
        EXPECT_TRUE(background().save().ok());
    });
    gate_.open();

    EXPECT_EQ(completions.wait(0), false);
    background().performAndWait([&] {
        EXPECT_FALSE(background().hasChanges());
        EXPECT_EQ(article.textContent(), fields.textContent);
        EXPECT_EQ(article.topImage(), std::nullopt);
    });
    // The manager carries on with other articles.
    EXPECT_EQ(prefetchAndWait(other), true);
}

TEST_F(PrefetchManagerTest, WritesWaitInTheArticlesContextUnsaved) {
    // The reader's case: an article of the main context, at default priority.
    const Article article = makeArticle(main(), {url(blogPath), std::nullopt, "Teaser.", std::nullopt, std::nullopt});
    std::optional<bool> result;
    manager_->prefetch(article, WebServicePriority::default_, [&](bool prefetched) {
        dispatch::MainQueue::shared().async([&result, prefetched] { result = prefetched; });
    });
    ASSERT_TRUE(dispatch::MainQueue::shared().runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result, true);

    EXPECT_TRUE(main().hasChanges());
    EXPECT_NE(article.textContent(), "Teaser.");
    EXPECT_TRUE(article.topVideo());
    // The store still holds what was saved before.
    background().performAndWait([&] {
        auto stored = background().existingObject(article.objectID());
        ASSERT_TRUE(stored.ok());
        const Article copy(stored.value());
        EXPECT_EQ(copy.textContent(), "Teaser.");
        EXPECT_EQ(copy.topImage(), std::nullopt);
        EXPECT_EQ(copy.topVideo(), std::nullopt);
    });
}
