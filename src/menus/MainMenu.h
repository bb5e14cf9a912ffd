#pragma once

#include <QMenuBar>
#include <memory>
#include <vector>

namespace tallowmere {

class ArticlesMenuItem;
class KeyEquivalentFilter;
class MenuItem;
class WindowMenuItem;

// The program's menu bar: the program's own submenu, then File, Edit, View,
// Feeds, Articles, Filters, Window and Help (and Debug in builds made with
// it). Its keys work while its window is active; the editing, window and
// quitting keys in every window of the program.
class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    // `parent` is the window the bar belongs to.
    explicit MainMenu(QWidget* parent = nullptr);
    ~MainMenu() override;

    WindowMenuItem& windowMenuItem() const { return *windowMenuItem_; }
    // The submenu that lists the windows.
    QMenu* windowMenu() const;
    // The top-level items in the order of the bar.
    std::vector<MenuItem*> items() const;

private:
    void append(std::unique_ptr<MenuItem> item);

    std::unique_ptr<WindowMenuItem> windowMenuItem_;
    std::vector<std::unique_ptr<MenuItem>> items_;
    std::unique_ptr<KeyEquivalentFilter> keyFilter_;
};

}  // namespace tallowmere
