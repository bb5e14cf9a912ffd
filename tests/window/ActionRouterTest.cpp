#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"
#include "support/ui/UiWait.h"
#include "window/ActionRouter.h"

using namespace tallowmere;

// A pane's controller that carries out some actions and records them.
class RecordingController : public desktop::ViewController, public ActionTarget {
    Q_OBJECT
public:
    RecordingController(std::vector<Action> accepted, QObject* parent = nullptr)
        : desktop::ViewController(parent), accepted_(std::move(accepted)) {}

    bool respondsToAction(Action action) const override {
        return std::find(accepted_.begin(), accepted_.end(), action) != accepted_.end();
    }
    void performAction(Action action, const ActionArguments& arguments) override {
        performed.push_back(action);
        firstText = arguments.first<std::string>();
        secondText = arguments.second<std::string>();
    }
    bool handleKeyEvent(QKeyEvent* event) override {
        keys.push_back(event->key());
        return true;
    }

    std::vector<Action> performed;
    std::optional<std::string> firstText;
    std::optional<std::string> secondText;
    std::vector<int> keys;

protected:
    void loadView() override {
        auto* view = new QWidget();
        auto* layout = new QVBoxLayout(view);
        auto* inner = new QWidget(view);
        auto* innerLayout = new QVBoxLayout(inner);
        field = new QLineEdit(inner);  // deep inside the pane
        innerLayout->addWidget(field);
        layout->addWidget(inner);
        setView(view);
    }

public:
    QLineEdit* field = nullptr;

private:
    std::vector<Action> accepted_;
};

namespace {

struct MainWindowFixture {
    QMainWindow window;
    RecordingController controller{{Action::addFeedFromFolder, Action::showSmartGroup}};

    MainWindowFixture() {
        window.setCentralWidget(controller.view());
        window.resize(300, 200);
        desktop::Application::shared().setMainWindow(&window);
        desktop::Application::activate(&window);
        controller.field->setFocus();
    }
    ~MainWindowFixture() { desktop::Application::shared().setMainWindow(nullptr); }
};

TEST(ActionRouter, FocusDeepInAPaneReachesItsController) {
    MainWindowFixture main;
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == &main.window; }));
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == main.controller.field; }));

    sendActionToTarget(Action::addFeedFromFolder, std::string("https://example.org/feed"), std::any());
    ASSERT_EQ(main.controller.performed.size(), 1U);
    EXPECT_EQ(main.controller.firstText, "https://example.org/feed");
    EXPECT_FALSE(main.controller.secondText) << "an absent second object arrives as none";

    sendActionToTarget(Action::showSmartGroup, 42);  // an int where text is read
    ASSERT_EQ(main.controller.performed.size(), 2U);
    EXPECT_FALSE(main.controller.firstText) << "an object of another type reads as none";

    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    EXPECT_TRUE(ActionRouter::sendKeyEvent(&key));
    EXPECT_EQ(main.controller.keys, std::vector<int>{Qt::Key_Space});
}

TEST(ActionRouter, AWindowModalSheetFallsThroughToTheMainWindow) {
    MainWindowFixture main;
    auto* sheet = new RecordingController({Action::renameFolderAt});
    main.controller.presentAsSheet(sheet);
    ASSERT_NE(sheet->sheetWindow(), nullptr);
    EXPECT_EQ(sheet->sheetWindow()->windowModality(), Qt::WindowModal);
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == sheet->sheetWindow(); }));
    sheet->field->setFocus();

    const std::vector<QObject*> chain = ActionRouter::responderChain();
    const auto at = [&](QObject* object) { return std::find(chain.begin(), chain.end(), object) - chain.begin(); };
    EXPECT_LT(at(sheet), at(&main.controller)) << "the sheet's chain comes first";

    sendActionToTarget(Action::addFeedFromFolder, std::string("feed:https://example.org"), std::string("News"));
    EXPECT_TRUE(sheet->performed.empty());
    ASSERT_EQ(main.controller.performed.size(), 1U);
    EXPECT_EQ(main.controller.secondText, "News");

    sendActionToTarget(Action::renameFolderAt, std::string("x"));
    EXPECT_EQ(sheet->performed.size(), 1U) << "the sheet still carries what it responds to";

    main.controller.dismissSheet();
    ASSERT_TRUE(test::waitUntil([&] { return main.controller.presentedSheet() == nullptr; }));
}

TEST(ActionRouter, WithNoTargetTheActionIsDropped) {
    MainWindowFixture main;
    EXPECT_EQ(ActionRouter::targetForAction(Action::viewArticleInDefaultBrowser), nullptr);
    sendActionToTarget(Action::viewArticleInDefaultBrowser);
    sendActionToTarget(Action::setReaderReadMode, 1, 2);
    EXPECT_TRUE(main.controller.performed.empty());
}

TEST(ActionRouter, TheDelegateComesLast) {
    RecordingController delegate({Action::viewArticleInDefaultBrowser, Action::addFeedFromFolder});
    desktop::Application::shared().setDelegate(&delegate);
    {
        MainWindowFixture main;
        sendActionToTarget(Action::addFeedFromFolder, std::string("a"));
        EXPECT_EQ(main.controller.performed.size(), 1U);
        EXPECT_TRUE(delegate.performed.empty()) << "the window's chain answers first";
        sendActionToTarget(Action::viewArticleInDefaultBrowser);
        EXPECT_EQ(delegate.performed.size(), 1U);
    }
    desktop::Application::shared().setDelegate(nullptr);
}

}  // namespace

#include "ActionRouterTest.moc"
