#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QPointer>
#include <QTest>

#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"
#include "support/ui/Screenshot.h"
#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"
#include "window/FeedAddViewController.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;

namespace {

// The main window's controller: it adds the feeds the sheet sends.
class AddingWindow : public QMainWindow, public ActionTarget {
public:
    bool respondsToAction(Action action) const override { return action == Action::addFeedFromFolder; }
    void performAction(Action, const ActionArguments& arguments) override {
        added.emplace_back(arguments.first<std::string>().value_or("?"), arguments.second<std::string>().value_or("?"));
    }
    std::vector<std::pair<std::string, std::string>> added;
};

struct SheetFixture {
    test::SidebarStore store;
    AddingWindow window;
    desktop::ViewController presenter;

    SheetFixture() {
        store.addFolder("Tech");
        store.addFolder("Technology");
        store.addFolder("Science");
        window.setCentralWidget(presenter.view());
        window.resize(700, 400);
        desktop::Application::shared().setMainWindow(&window);
        window.show();
        desktop::Application::activate(&window);
        test::waitUntil([&] { return window.isActiveWindow(); }, 3000);
    }
    ~SheetFixture() { desktop::Application::shared().setMainWindow(nullptr); }

    FeedAddViewController* present() {
        auto* sheet = new FeedAddViewController(store.nodes);
        presenter.presentAsSheet(sheet);
        test::waitUntil([&] { return sheet->feedURLTextField()->hasFocus(); }, 3000);
        return sheet;
    }
    bool closed(const QPointer<FeedAddViewController>& sheet) {
        return test::waitUntil([&] { return !sheet || !sheet->sheetWindow(); }, 3000) && !presenter.presentedSheet();
    }
};

TEST(FeedAddViewController, ANewUserPastesTypesAndPressesReturnTwice) {
    SheetFixture f;
    QPointer<FeedAddViewController> sheet = f.present();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->view()->minimumSize(), QSize(500, 84));
    EXPECT_EQ(sheet->view()->palette().color(QPalette::Window),
              ThemesManager::shared().themeFor(ThemeType::automatic)->colors().windowBackground);
    EXPECT_EQ(sheet->feedURLTextField()->placeholderText(), "Website or feed address");

    QApplication::clipboard()->setText(QStringLiteral(" \t https://example.org/my feed.xml \n\n"));
    QTest::keySequence(sheet->feedURLTextField(), QKeySequence::Paste);
    EXPECT_EQ(sheet->feedURLTextField()->text(), "https://example.org/my feed.xml") << "trimmed at once, inside kept";

    QTest::keyClick(sheet->feedURLTextField(), Qt::Key_Return);
    EXPECT_TRUE(f.window.added.empty()) << "Return in the address does not add";
    ASSERT_TRUE(test::waitUntil([&] { return sheet->folderNameComboBox()->lineEdit()->hasFocus(); }, 3000));

    QTest::keyClicks(sheet->folderNameComboBox()->lineEdit(), "TECH");
    EXPECT_EQ(sheet->folderNameComboBox()->currentText(), "Tech") << "the folder's own case";
    test::Screenshot shot(sheet->sheetWindow(), "feed_add_sheet");
    QTest::keyClick(sheet->folderNameComboBox()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(f.closed(sheet));
    EXPECT_EQ(f.window.added, (std::vector<std::pair<std::string, std::string>>{
                                  {"https://example.org/my feed.xml", "Tech"}}))
        << "sent once: the default button does not fire too";
}

TEST(FeedAddViewController, CompletesFromTheFolderListReadAnewEachTime) {
    SheetFixture f;
    QPointer<FeedAddViewController> sheet = f.present();
    EXPECT_EQ(sheet->numberOfItems(), 3);
    EXPECT_EQ(sheet->objectValueForItem(0), "Science");
    EXPECT_EQ(sheet->objectValueForItem(3), std::nullopt);
    EXPECT_EQ(sheet->completedString("tE"), "Tech") << "the first of two matches";
    EXPECT_EQ(sheet->completedString("techn"), "Technology");
    EXPECT_EQ(sheet->completedString("x"), std::nullopt);
    EXPECT_EQ(sheet->indexOfItemWithStringValue("Tech"), 1);
    EXPECT_EQ(sheet->indexOfItemWithStringValue("tech"), -1) << "case matters";
    f.store.addFolder("Art");
    EXPECT_EQ(sheet->numberOfItems(), 4);
    EXPECT_EQ(sheet->objectValueForItem(0), "Art");

    // Deleting the completed rest does not complete again.
    QLineEdit* edit = sheet->folderNameComboBox()->lineEdit();
    edit->setFocus();
    QTest::keyClicks(edit, "s");
    EXPECT_EQ(edit->text(), "Science");
    EXPECT_EQ(edit->selectedText(), "cience");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "S") << "what was typed stays, in the folder's case";
}

TEST(FeedAddViewController, AddSendsEmptyTextsAndCancelSendsNothing) {
    SheetFixture f;
    QPointer<FeedAddViewController> sheet = f.present();
    QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
    EXPECT_TRUE(f.closed(sheet));
    EXPECT_EQ(f.window.added, (std::vector<std::pair<std::string, std::string>>{{"", ""}}));

    sheet = f.present();
    sheet->folderNameComboBox()->setEditText("  News \n");
    sheet->feedURLTextField()->setText("https://example.org");
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(f.closed(sheet));
    EXPECT_EQ(f.window.added.size(), 1u) << "Cancel sends nothing";

    sheet = f.present();
    sheet->folderNameComboBox()->setEditText("  News \n");
    sheet->folderNameComboBox()->lineEdit()->setFocus();
    QTest::keyClick(sheet->folderNameComboBox()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(f.closed(sheet));
    ASSERT_EQ(f.window.added.size(), 2u);
    EXPECT_EQ(f.window.added[1].second, "News") << "the folder name is trimmed";
}

}  // namespace
