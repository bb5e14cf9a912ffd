#include <gtest/gtest.h>

#include <QSignalSpy>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "LinkCatcher.h"
#include "ReaderWebEngineSupport.h"
#include "reader/ReaderPageBuilder.h"
#include "reader/ReaderView.h"
#include "reader/ReaderViewMouseDelegate.h"
#include "support/LoopbackServer.h"
#include "window/ProgressView.h"

namespace tallowmere {
namespace {

using test::evaluate;
using test::waitUntil;

struct Delegate : ReaderViewDelegate {
    std::vector<std::optional<std::string>> readable;
    void readerViewDidReceiveReadableArticle(const std::optional<std::string>& text) override { readable.push_back(text); }
};

struct MouseDelegate : ReaderViewMouseDelegate {
    std::vector<std::optional<std::string>> readable;
    std::vector<std::optional<std::string>> hovered;
    int fullArticle = 0;
    void readerViewDidReceiveReadableArticle(const std::optional<std::string>& text) override { readable.push_back(text); }
    void readerViewDidHoverLink(const std::optional<std::string>& link) override { hovered.push_back(link); }
    void readerViewShowFullArticle() override { ++fullArticle; }
};

const char* const kArticlePage = R"(<!DOCTYPE html><html><head><title>Quiet harbours</title></head><body>
<nav><a href="/">Home</a> | <a href="/about">About</a></nav>
<article><h1>Quiet harbours</h1>
<p>The fishing fleet left the quiet harbour before dawn, as it has done every morning for two hundred years, and the town woke to the sound of gulls over the empty moorings.</p>
<p>By noon the boats were back with their catch, and the market along the quay filled with buyers from the inland villages who had travelled since first light to bargain for the best of the day.</p>
<p>Nobody in the town could remember a season as calm as this one, and the old skippers said that the sea was resting before the winter storms that would surely come in November.</p>
</article><footer>Footer text</footer></body></html>)";

class ReaderViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Get("/article", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kArticlePage, "text/html");
        });
        server.server().Get("/forged", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<html><body><p>page</p><script>"
                "var reached = [];"
                "try { tallowmere.post('readableArticle', 'forged'); reached.push('shim'); } catch (e) {}"
                "try { new QWebChannel(qt.webChannelTransport, function (c) {"
                "  c.objects.readerBridge.post('readableArticle', 'forged'); }); reached.push('channel'); } catch (e) {}"
                "document.title = 'ran:' + reached.join(',');"
                "</script></body></html>",
                "text/html");
        });
        server.server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(mutex);
            released.wait_for(lock, std::chrono::seconds(20), [this] { return release; });
            res.set_content("<html><body>late</body></html>", "text/html");
        });
        server.start();
        view.resize(800, 600);
        view.show();
    }
    void TearDown() override {
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_all();
    }
    QUrl url(const char* path) const { return QUrl(QString::fromStdString(server.url(path))); }
    bool loadAndWait(const std::function<void()>& start) {
        QSignalSpy spy(&view, &ReaderView::loadEnded);
        start();
        return waitUntil([&] { return spy.count() > 0; }, 30000) && spy.first().first().toBool();
    }
    std::string builtPage(const std::string& body) {
        std::string page = ReaderPageBuilder::articlePageTemplate();
        const std::size_t at = page.find("CONTENT_TEXT");
        page.replace(at, 12, body);
        return page;
    }

    test::LoopbackServer server;
    ReaderView view;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
};

TEST_F(ReaderViewTest, MessagesReachTheDelegateByNameWithStringBodiesOnly) {
    MouseDelegate mouse;
    view.setDelegate(&mouse);
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage("hello"), false); }));
    // Through the real channel, from our world, bodies of every type.
    for (const char* body : {"'http://example.com/x'", "5", "{a: 1}", "null", "['x']"})
        evaluate(view.webView()->page(), QStringLiteral("tallowmere.post('linksMouseover', %1)").arg(body),
                 QWebEngineScript::ApplicationWorld);
    evaluate(view.webView()->page(), "tallowmere.post('fullArticle', 7); tallowmere.post('unknown', 'x')",
             QWebEngineScript::ApplicationWorld);
    ASSERT_TRUE(waitUntil([&] { return mouse.hovered.size() == 5 && mouse.fullArticle == 1; }));
    EXPECT_EQ(mouse.hovered[0], std::optional<std::string>("http://example.com/x"));
    for (std::size_t i = 1; i < 5; ++i) EXPECT_FALSE(mouse.hovered[i]) << i;

    // A delegate without the mouse side, or none, drops those messages.
    Delegate plain;
    view.setDelegate(&plain);
    view.receiveMessage("linksMouseover", QString("http://x/"));
    view.receiveMessage("fullArticle", std::nullopt);
    view.setDelegate(nullptr);
    view.receiveMessage("linksMouseover", QString("http://x/"));
    EXPECT_EQ(mouse.hovered.size(), 5u);
    EXPECT_EQ(mouse.fullArticle, 1);
    // Readable text is taken only while a readable load is pending.
    view.setDelegate(&plain);
    view.receiveMessage("readableArticle", QString("not asked for"));
    EXPECT_TRUE(plain.readable.empty());
}

TEST_F(ReaderViewTest, PageScriptsDoNotRunButOursDo) {
    const std::string page = builtPage("<script>document.title='page script ran'</script><img src=x onerror=\"document.title='handler ran'\">");
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(page, false); }));
    EXPECT_EQ(view.webView()->page()->title().toStdString().find("ran"), std::string::npos);
    EXPECT_EQ(evaluate(view.webView()->page(), "typeof tallowmere", QWebEngineScript::ApplicationWorld).toString(), "object");
    EXPECT_EQ(evaluate(view.webView()->page(), "typeof tallowmere").toString(), "undefined");
}

TEST_F(ReaderViewTest, ScriptsAreReinstalledOnlyWhenTheModeChanges) {
    const int initial = view.scriptInstallCount();
    EXPECT_EQ(view.installedScriptNames(),
              QStringList({"QWebChannelJS", "MessageShimJS", "ContextMenuHandlerJS", "EditableFocusJS", "LinksMouseoverJS", "FullArticleJS", "iTunesJS"}));
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage("a"), false); }));
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage("b"), false); }));
    EXPECT_EQ(view.scriptInstallCount(), initial);
    Delegate delegate;
    view.setDelegate(&delegate);
    view.load(url("/article"), true, std::chrono::seconds(10));
    EXPECT_EQ(view.scriptInstallCount(), initial + 1);
    EXPECT_EQ(view.installedScriptNames(),
              QStringList({"QWebChannelJS", "MessageShimJS", "ContextMenuHandlerJS", "EditableFocusJS", "ReadabilityJS", "ReadableArticleJS", "iTunesJS"}));
    // The hidden readable load hands over the article's text, and stays hidden.
    ASSERT_TRUE(waitUntil([&] { return !delegate.readable.empty(); }, 30000));
    ASSERT_TRUE(delegate.readable.front());
    EXPECT_NE(delegate.readable.front()->find("two hundred years"), std::string::npos);
    EXPECT_EQ(delegate.readable.front()->find("Footer text"), std::string::npos);
    EXPECT_TRUE(view.webView()->isHidden());
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage("c"), false); }));
    EXPECT_EQ(view.scriptInstallCount(), initial + 2);
    // The built page is shown after its commit, not at once.
    EXPECT_TRUE(waitUntil([&] { return !view.webView()->isHidden(); }));
}

TEST_F(ReaderViewTest, APagesOwnScriptCannotPostReadableText) {
    Delegate delegate;
    view.setDelegate(&delegate);
    ASSERT_TRUE(loadAndWait([&] { view.load(url("/forged"), false, std::chrono::seconds(10)); }));
    EXPECT_EQ(view.webView()->page()->title(), "ran:");
    // A readable load of the same page: only our extraction's text arrives.
    view.load(url("/forged"), true, std::chrono::seconds(10));
    ASSERT_TRUE(waitUntil([&] { return !delegate.readable.empty(); }, 30000));
    QTest::qWait(100);
    ASSERT_EQ(delegate.readable.size(), 1u);
    EXPECT_NE(delegate.readable.front().value_or("forged"), "forged");
}

TEST_F(ReaderViewTest, ClickedLinksOpenOutsideByScheme) {
    test::LinkCatcher catcher;
    const std::string page = builtPage(
        "<a id='web' href='https://example.com/story'>web</a><br>"
        "<a id='mail' href='mailto:editor@example.com'>mail</a><br>");
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(page, false); }));
    // Links the article text may not carry are put in by hand, as a hostile page would have them.
    evaluate(view.webView()->page(),
             "var c=document.querySelector('.content');"
             "['file:///etc/passwd','javascript:void(0)','smb://host/share','feed://example.com/rss'].forEach(function(h,i){"
             "var a=document.createElement('a');a.id='l'+i;a.href=h;a.textContent=h;c.appendChild(a);c.appendChild(document.createElement('br'));});"
             "var b=document.createElement('a');b.id='blank';b.href='http://example.org/new';b.target='_blank';b.textContent='blank';c.appendChild(b);",
             QWebEngineScript::ApplicationWorld);
    const QUrl shown = view.webView()->page()->url();
    for (const char* id : {"web", "mail", "l0", "l1", "l2", "l3", "blank"}) {
        ASSERT_TRUE(test::clickElement(view.webView(), id)) << id;
        QTest::qWait(150);
    }
    EXPECT_TRUE(waitUntil([&] { return catcher.opened.size() >= 4; }));
    QTest::qWait(200);
    EXPECT_EQ(catcher.opened, QStringList({"https://example.com/story", "mailto:editor@example.com",
                                           "feed://example.com/rss", "http://example.org/new"}));
    EXPECT_EQ(view.webView()->page()->url(), shown);
}

TEST_F(ReaderViewTest, ProgressBarFollowsLoadsWithItsDelay) {
    ASSERT_TRUE(loadAndWait([&] { view.load(url("/article"), false, std::chrono::seconds(10)); }));
    EXPECT_TRUE(view.progressView()->isVisible());  // hidden only after the delay
    // A load started within the delay keeps the bar.
    view.load(url("/slow"), false, std::chrono::seconds(10));
    QTest::qWait(400);
    EXPECT_TRUE(view.progressView()->isVisible());
    EXPECT_TRUE(view.isLoading());
    // The time-out stops it; the bar goes after the delay.
    view.load(url("/slow"), false, std::chrono::milliseconds(300));
    EXPECT_TRUE(waitUntil([&] { return !view.isLoading(); }, 20000));
    EXPECT_TRUE(waitUntil([&] { return !view.progressView()->isVisible(); }, 2000));
    EXPECT_TRUE(view.webView()->isHidden());  // a failed load hides the page
}

TEST_F(ReaderViewTest, TopMediaValuesOfAnyTextReachTheElements) {
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage("media"), false); }));
    const std::string hostile = "https://media.example/v.mp4?a='1'&b=\"2\"\\\n</script>";
    view.setTopVideo(hostile);
    view.setTopImage(std::string("https://media.example/i.png?q='x'"));
    auto* page = view.webView()->page();
    const QString read = "var v=document.getElementById('tallowmere-top_video');"
                         "[v.getAttribute('src'), v.className, document.getElementById('tallowmere-top_image').getAttribute('src')]";
    QVariantList values = evaluate(page, read).toList();
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0].toString().toStdString(), hostile);
    EXPECT_EQ(values[1].toString(), "show");
    EXPECT_EQ(values[2].toString(), "https://media.example/i.png?q='x'");
    view.setTopVideo(std::string());
    values = evaluate(page, read).toList();
    EXPECT_EQ(values[0].toString(), "");
    EXPECT_EQ(values[1].toString(), "show");
    view.setTopVideo(std::nullopt);
    EXPECT_EQ(evaluate(page, read).toList()[1].toString(), "hide");
}

TEST_F(ReaderViewTest, ALargePageLoads) {
    std::string body;
    while (body.size() < 3 * 1024 * 1024) body += "<p>A paragraph of a very long article, repeated to make it large.</p>";
    ASSERT_TRUE(loadAndWait([&] { view.loadHTML(builtPage(body), false); }));
    EXPECT_GT(evaluate(view.webView()->page(), "document.body.innerHTML.length").toDouble(), 3.0 * 1024 * 1024);
}

}  // namespace
}  // namespace tallowmere
