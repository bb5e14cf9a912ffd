#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTcpServer>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "LinkCatcher.h"
#include "ReaderWebEngineSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderManagementToolbar.h"
#include "reader/ReaderView.h"
#include "reader/ReaderViewController.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"
#include "support/ui/Screenshot.h"
#include "themes/ThemeCatalogue.h"
#include "themes/ThemesManager.h"

namespace tallowmere {
namespace {

using test::evaluate;
using test::waitUntil;

// One store for the whole program: the shared article source keeps the first one it sees.
DataController& store() {
    static test::TempDir* dir = new test::TempDir();
    static std::shared_ptr<DataController> controller = [] {
        auto opened = DataController::open(dir->path() / "store" / "Tallowmere.sqlite");
        EXPECT_TRUE(opened.ok());
        DataController::replaceShared(opened.value());
        return opened.value();
    }();
    return *controller;
}

std::string storyPage(int number) {
    return "<!DOCTYPE html><html><head><title>Story " + std::to_string(number) +
           "</title><meta property=\"og:image\" content=\"/picture.png\"></head><body>"
           "<nav><a href=\"/\">Home</a></nav><article><h1>Story " + std::to_string(number) + "</h1>"
           "<p>The lighthouse keeper climbed the spiral stairs each evening at six, carrying oil for the lamp and a "
           "notebook in which he wrote down the ships that passed the headland in the night.</p>"
           "<p>In forty years he had missed only one evening, when the snow closed the road from the village and "
           "the keeper's boy ran the whole way through the drifts to light the lamp in his place.</p>"
           "<p>The notebooks fill a shelf in the museum now, and visitors read the names of ships long gone.</p>"
           "</article></body></html>";
}

QByteArray pictureBytes() {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(200, 60, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class ReaderViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        store();
        server.server().Get(R"(/story/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(storyPage(std::stoi(req.matches[1])), "text/html");
        });
        server.server().Get("/picture.png", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(picture.constData(), static_cast<std::size_t>(picture.size()), "image/png");
        });
        server.server().Get("/never", [this](const httplib::Request&, httplib::Response& res) {
            neverAsked = true;
            std::unique_lock lock(mutex);
            released.wait_for(lock, std::chrono::seconds(30), [this] { return release; });
            res.set_content("<html><body><p>late</p></body></html>", "text/html");
        });
        server.start();
        controller.view()->resize(900, 700);
        controller.view()->show();
    }
    void TearDown() override {
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_all();
        controller.didSelectArticle(std::nullopt);
    }

    graph::Context& main() { return *store().mainContext(); }
    Article makeArticle(const std::string& path, std::optional<std::string> text) {
        auto feed = Feed::insert(main());
        feed.setName("Harbour Gazette");
        feed.setUrl(server.url("/feed"));
        auto article = Article::insert(main());
        article.setFeed(feed);
        article.setTitle("The keeper of the light");
        article.setCreator("A. Reporter");
        article.setDate(graph::Date{1'700'000'000});
        article.setLink(server.url(path));
        article.setTextContent(std::move(text));
        EXPECT_TRUE(main().save().ok());
        return article;
    }
    QWebEnginePage* page() { return controller.readerView()->webView()->page(); }
    QString pageText() { return evaluate(page(), "document.body ? document.body.innerText : ''").toString(); }
    bool waitForText(const QString& part, int ms = 30000) {
        return waitUntil([&] { return pageText().contains(part); }, ms);
    }
    // What the store holds for the article, read afresh in another context.
    std::pair<std::optional<std::string>, bool> stored(const Article& article) {
        std::pair<std::optional<std::string>, bool> result;
        auto& background = *store().backgroundContext();
        background.performAndWait([&] {
            auto object = background.existingObject(article.objectID());
            if (!object.ok()) return;
            background.refresh(object.value(), false);
            const Article fresh(object.value());
            result = {fresh.textContent(), fresh.isFullTextContent()};
        });
        return result;
    }

    QByteArray picture = pictureBytes();
    test::LoopbackServer server;
    ReaderViewController controller;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<bool> neverAsked = false;
};

// A loopback port nothing listens on any more: connections are refused.
quint16 closedPort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
    return probe.serverPort();
}

const std::string kLongText = "A stored text of the article,\nlong enough to be shown as it is.";

TEST_F(ReaderViewControllerTest, PreviewShowsTheStoredTextAndInjectsThePrefetchedImage) {
    const Article article = makeArticle("/story/1", kLongText);
    int prefetches = 0;
    QObject::connect(&controller, &ReaderViewController::topMediaPrefetchStarted, [&] { ++prefetches; });
    controller.didSelectArticle(article);
    EXPECT_EQ(controller.readMode(), ReaderReadMode::preview);
    ASSERT_TRUE(waitForText("long enough to be shown"));
    EXPECT_TRUE(pageText().contains("Harbour Gazette"));
    EXPECT_TRUE(pageText().contains("Show Full Article"));
    EXPECT_EQ(prefetches, 1);
    const QString picture = QString::fromStdString(server.url("/picture.png"));
    EXPECT_TRUE(waitUntil([&] {
        return evaluate(page(), "document.getElementById('tallowmere-top_image').src").toString() == picture;
    }, 30000));
    // Selecting the shown article again does nothing.
    controller.didSelectArticle(article);
    EXPECT_EQ(prefetches, 1);
    EXPECT_TRUE(controller.readerView()->isVisible());
    controller.didSelectArticle(std::nullopt);
    EXPECT_FALSE(controller.readerView()->isVisible());
}

TEST_F(ReaderViewControllerTest, AShortStoredTextIsReplacedByTheReadableTextAndSaved) {
    struct Case {
        std::string text;
        bool readsPage;
    };
    const Case cases[] = {{std::string(19, 'x'), true}, {std::string(20, 'y'), false}};
    int number = 10;
    for (const Case& c : cases) {
        const Article article = makeArticle("/story/" + std::to_string(++number), c.text);
        controller.didSelectArticle(article);
        if (!c.readsPage) {
            EXPECT_TRUE(waitForText(QString::fromStdString(c.text)));
            EXPECT_EQ(stored(article), std::make_pair(std::optional<std::string>(c.text), false));
            continue;
        }
        ASSERT_TRUE(waitForText("lighthouse keeper climbed")) << c.text;
        EXPECT_EQ(controller.readMode(), ReaderReadMode::preview);
        EXPECT_FALSE(pageText().contains("Show Full Article"));
        EXPECT_TRUE(waitUntil([&] {
            const auto [text, full] = stored(article);
            return full && text && text->find("lighthouse keeper climbed") != std::string::npos;
        }));
    }
}

TEST_F(ReaderViewControllerTest, WebModeStaysAcrossArticlesAndTheFullArticleLinkReadsThePage) {
    const Article first = makeArticle("/story/21", kLongText);
    const Article second = makeArticle("/story/22", kLongText);
    controller.didSelectArticle(first);
    ASSERT_TRUE(waitForText("long enough"));
    controller.readerManagementToolbar()->segmentButton(1)->click();
    EXPECT_EQ(controller.readMode(), ReaderReadMode::web);
    ASSERT_TRUE(waitUntil([&] { return page()->url().path() == "/story/21"; }, 30000));
    EXPECT_TRUE(waitUntil([&] { return controller.readerView()->webView()->isVisible(); }));
    controller.didSelectArticle(second);
    EXPECT_EQ(controller.readMode(), ReaderReadMode::web);
    EXPECT_EQ(controller.readerManagementToolbar()->selectedSegment(), 1);
    ASSERT_TRUE(waitUntil([&] { return page()->url().path() == "/story/22"; }, 30000));

    controller.readerManagementToolbar()->segmentButton(0)->click();
    ASSERT_TRUE(waitForText("Show Full Article"));
    ASSERT_TRUE(waitUntil([&] { return controller.readerView()->webView()->isVisible(); }, 30000));
    // Under load the first click can land before the link is laid out, or the
    // page can run out of time and the link come back with the preview; a
    // person clicks again once the link is there.
    bool readsPage = false;
    for (int attempt = 0; attempt < 3 && !readsPage; ++attempt) {
        ASSERT_TRUE(waitUntil([&] {
            const QString text = pageText();
            return text.contains("Show Full Article") || text.contains("lighthouse keeper climbed");
        }, 30000));
        if (pageText().contains("lighthouse keeper climbed")) break;
        QTest::qWait(300);
        ASSERT_TRUE(test::clickElement(controller.readerView()->webView(), "tallowmere-full_article"));
        readsPage = waitForText("lighthouse keeper climbed", 15000);
    }
    ASSERT_TRUE(readsPage || waitForText("lighthouse keeper climbed"));
    EXPECT_EQ(controller.readMode(), ReaderReadMode::readable);
    EXPECT_EQ(controller.readerManagementToolbar()->selectedSegment(), 0);
    EXPECT_FALSE(pageText().contains("Show Full Article"));
    EXPECT_TRUE(waitUntil([&] { return stored(second).second; }));
    // Full text now: readable mode shows the stored text without loading the page again.
    controller.readerSetReadMode(ReaderReadMode::readable);
    EXPECT_TRUE(waitForText("lighthouse keeper climbed"));
}

TEST_F(ReaderViewControllerTest, APageThatNeverEndsIsStoppedAndNothingStored) {
    // A warm engine first, so that the short time-out is spent on the page itself.
    controller.didSelectArticle(makeArticle("/story/51", kLongText));
    ASSERT_TRUE(waitForText("long enough"));
    controller.setLoadTimeouts(std::chrono::milliseconds(1500), std::chrono::milliseconds(1500));
    const Article article = makeArticle("/never", "short");
    controller.didSelectArticle(article);
    ASSERT_TRUE(waitUntil([&] { return neverAsked.load(); }, 20000));
    EXPECT_TRUE(waitUntil([&] { return !controller.readerView()->isLoading(); }, 20000));
    QTest::qWait(200);
    EXPECT_EQ(stored(article), std::make_pair(std::optional<std::string>("short"), false));
}

TEST_F(ReaderViewControllerTest, AnErrorPageIsNeitherExtractedNorStored) {
    server.server().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(storyPage(61), "text/html");
    });
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(closedPort()) + "/story";
    for (const std::string& link : {server.url("/gone"), unreachable}) {
        const Article article = makeArticle("/story/60", "short");
        main().performAndWait([&] { Article(article).setLink(link); });
        ASSERT_TRUE(main().save().ok());
        controller.didSelectArticle(article);
        // The stored text comes back once the load has failed.
        ASSERT_TRUE(waitUntil([&] { return pageText().contains("short") && !controller.readerView()->isLoading(); },
                              30000)) << link;
        EXPECT_FALSE(pageText().contains("lighthouse keeper climbed")) << link;
        EXPECT_EQ(stored(article), std::make_pair(std::optional<std::string>("short"), false)) << link;
    }
}

TEST_F(ReaderViewControllerTest, StarStateFollowsTheButtonAndOtherContexts) {
    const Article article = makeArticle("/story/31", kLongText);
    controller.didSelectArticle(article);
    QToolButton* star = controller.readerManagementToolbar()->starButton();
    EXPECT_FALSE(star->isChecked());
    star->click();
    EXPECT_TRUE(article.isStarred());
    // Unstarred in a background context: the button follows.
    auto& background = *store().backgroundContext();
    background.performAndWait([&] {
        const Article there(background.existingObject(article.objectID()).value());
        there.setStarredInFeed(std::nullopt);
        EXPECT_TRUE(background.save().ok());
    });
    EXPECT_TRUE(waitUntil([&] { return !star->isChecked(); }));
    background.performAndWait([&] {
        const Article there(background.existingObject(article.objectID()).value());
        there.setStarredInFeed(there.feed());
        EXPECT_TRUE(background.save().ok());
    });
    EXPECT_TRUE(waitUntil([&] { return star->isChecked(); }));
}

TEST_F(ReaderViewControllerTest, HoveredLinksShowInTheLinkField) {
    controller.readerViewDidHoverLink(std::string("https://example.com/a/very/long/path/to/a/story"));
    EXPECT_TRUE(controller.linkTextField()->isVisible());
    EXPECT_EQ(controller.linkText(), "https://example.com/a/very/long/path/to/a/story");
    for (const std::optional<std::string>& link : {std::optional<std::string>("file:///etc/passwd"),
                                                   std::optional<std::string>(""), std::optional<std::string>()}) {
        controller.readerViewDidHoverLink(std::string("https://example.com/"));
        controller.readerViewDidHoverLink(link);
        EXPECT_FALSE(controller.linkTextField()->isVisible()) << link.value_or("none");
    }
}

TEST_F(ReaderViewControllerTest, PreviewInEveryTheme) {
    ThemesManager& manager = ThemesManager::shared();
    const ThemePointer previous = manager.theme();
    const Article article = makeArticle("/story/41", kLongText + "\nSecond paragraph of the stored text.");
    article.setTopImage(server.url("/picture.png"));
    controller.didSelectArticle(article);
    ASSERT_TRUE(waitForText("Second paragraph"));
    for (int raw = 0; raw <= 7; ++raw) {
        manager.setTheme(ThemeCatalogue::theme(static_cast<ThemeType>(raw)));
        controller.readerManagementToolbar()->applyTheme();
        controller.readerView()->applyTheme();
        controller.applyTheme();
        ASSERT_TRUE(waitUntil([&] {
            return evaluate(page(), "document.styleSheets.length && getComputedStyle(document.querySelector('.title')).fontFamily")
                .toString()
                .contains(QString::fromStdString(manager.fonts().readerTitle.name));
        }, 30000));
        ASSERT_TRUE(waitUntil([&] {
            return evaluate(page(), "document.fonts.status === 'loaded' && document.getElementById('tallowmere-top_image').complete").toBool();
        }, 30000));
        controller.readerViewDidHoverLink(std::string("https://harbour.example/2024/the-keeper-of-the-light"));
        QTest::qWait(400);
        const std::string name = "reader_preview_" + manager.theme()->name();
        test::Screenshot shot(controller.view(), QString::fromStdString(name));
        ASSERT_TRUE(shot.saved());
        {
            const QColor background = manager.settings().useReaderBackgroundColor ? manager.colors().readerBackground
                                      : manager.settings().readerStyle == ThemeStyle::dark ? QColor(30, 30, 30)
                                                                                          : QColor(Qt::white);
            // The page's empty right-hand margin, below the toolbar.
            const QPoint probe(controller.view()->width() - 12, 200);
            EXPECT_TRUE(shot.pixelNear(probe, background, 3))
                << name << " " << test::Screenshot::describe(shot.pixel(probe)) << " vs "
                << test::Screenshot::describe(background);
        }
    }
    manager.setTheme(previous);
}

}  // namespace
}  // namespace tallowmere
