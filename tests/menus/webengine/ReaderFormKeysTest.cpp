// Single keys in the reader: text in a form field of the page, commands elsewhere.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <QWindow>
#include <chrono>
#include <string>
#include <vector>

#include "menus/KeyEquivalentFilter.h"
#include "menus/MainMenu.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"
#include "reader/ReaderSchemeHandler.h"
#include "reader/ReaderView.h"
#include "reader/webengine/ReaderWebEngineSupport.h"
#include "store/Preferences.h"
#include "support/LoopbackServer.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "window/ActionTarget.h"
#include "window/MainContent.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"

using namespace tallowmere;

namespace {

// The reader's scheme must be known before the application object exists,
// which the shared test main makes.
const bool schemeRegistered = [] {
    ReaderSchemeHandler::registerScheme();
    return true;
}();

const char* const formPage = R"(<!DOCTYPE html><html><body>
<p id="text">An article with a form.</p>
<form><input id="name" type="text"> <textarea id="notes"></textarea> <input id="agree" type="checkbox"></form>
</body></html>)";

// The main window's content: the reader alone; it records the commands.
class ReaderContent : public desktop::ViewController, public MainContent, public ActionTarget {
    Q_OBJECT
public:
    desktop::ViewController& contentController() override { return *this; }
    void refreshFeeds() override {}
    bool respondsToAction(Action) const override { return true; }
    void performAction(Action action, const ActionArguments&) override { received.push_back(action); }

    ReaderView* reader = nullptr;
    std::vector<Action> received;

protected:
    void loadView() override {
        auto* view = new QWidget;
        auto* layout = new QVBoxLayout(view);
        reader = new ReaderView(view);
        layout->addWidget(reader);
        setView(view);
    }
};

}  // namespace

TEST(ReaderFormKeys, TypedIntoAFieldTheyStayTextOutsideThemTheyAct) {
    (void)schemeRegistered;
    Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::never);
    test::LoopbackServer server;
    server.server().Get("/form", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(formPage, "text/html");
    });
    server.start();

    auto* content = new ReaderContent;
    MainWindowController controller(content);
    controller.window()->setMenuBar(new MainMenu(controller.window()));
    controller.showWindow();
    // Without a window manager the window takes the keys only once it is on screen.
    ASSERT_TRUE(test::waitUntil([&] { return controller.window()->windowHandle()->isExposed(); }, 20000));
    desktop::Application::activate(controller.window());
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == controller.window(); }, 10000));

    ReaderView* reader = content->reader;
    QSignalSpy loaded(reader, &ReaderView::loadEnded);
    reader->load(QUrl(QString::fromStdString(server.url("/form"))), false, std::chrono::seconds(10));
    ASSERT_TRUE(test::waitUntil([&] { return loaded.count() >= 1; }, 20000));
    QWebEngineView* web = reader->webView();
    ASSERT_TRUE(test::waitUntil([&] { return web->focusProxy() != nullptr; }, 5000));
    QWidget* keys = web->focusProxy();

    auto type = [&](const std::string& text) {
        content->received.clear();
        for (char key : text) QTest::keyClick(keys, key);
        test::waitUntil([] { return false; }, 100);
        return content->received;
    };
    auto value = [&](const char* id) {
        return test::evaluate(web->page(), QStringLiteral("document.getElementById('%1').value").arg(id)).toString();
    };

    for (const char* field : {"name", "notes"}) {
        SCOPED_TRACE(field);
        ASSERT_TRUE(test::clickElement(web, field));
        ASSERT_TRUE(test::waitUntil([&] { return reader->hasEditableFocus(); }, 10000));
        EXPECT_TRUE(KeyEquivalentFilter::isTextInput(keys));
        EXPECT_TRUE(type("jks12[]").empty());
        EXPECT_TRUE(test::waitUntil([&] { return value(field) == QStringLiteral("jks12[]"); }, 5000)) << value(field).toStdString();
    }
    test::Screenshot shot(controller.window(), "menus-reader-form");
    (void)shot;

    // A checkbox takes no text: the keys are commands again.
    ASSERT_TRUE(test::clickElement(web, "agree"));
    ASSERT_TRUE(test::waitUntil([&] { return !reader->hasEditableFocus(); }, 10000));
    EXPECT_EQ(type("j"), std::vector{Action::showNextArticle});
    ASSERT_TRUE(test::clickElement(web, "text"));
    test::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(reader->hasEditableFocus());
    EXPECT_EQ(type("k["), (std::vector{Action::showPreviousArticle, Action::showPreviousArticle}));
}

#include "ReaderFormKeysTest.moc"
