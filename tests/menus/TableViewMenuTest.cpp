#include <gtest/gtest.h>

#include <vector>

#include "menus/TableViewMenu.h"
#include "support/ui/UiWait.h"
#include "window/BorderedRowView.h"

using namespace tallowmere;

namespace {

class RecordingRow : public BorderedRowView {
public:
    bool isBordered() const override { return bordered; }
    void setBordered(bool value) override {
        bordered = value;
        changes.push_back(value);
    }
    bool bordered = false;
    std::vector<bool> changes;
};

}  // namespace

TEST(TableViewMenu, BordersItsRowWhileOpen) {
    RecordingRow row;
    TableViewMenu menu;
    menu.addAction("Item");
    menu.setBorderedRowView(&row);

    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(test::waitUntil([&] { return menu.isVisible(); }, 2000));
    EXPECT_TRUE(row.isBordered());
    menu.hide();
    EXPECT_FALSE(row.isBordered());
    EXPECT_EQ(row.changes, (std::vector<bool>{true, false}));
}

TEST(TableViewMenu, WithoutRowOpeningAndClosingChangeNothing) {
    TableViewMenu menu;
    menu.addAction("Item");
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(test::waitUntil([&] { return menu.isVisible(); }, 2000));
    menu.hide();
    EXPECT_EQ(menu.borderedRowView(), nullptr);
}
