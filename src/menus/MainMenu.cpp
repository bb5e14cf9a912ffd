#include "menus/MainMenu.h"

#include <QApplication>
#include <QMenu>

#include "menus/AppMenuItem.h"
#include "menus/ArticlesMenuItem.h"
#include "menus/DebugMenuItem.h"
#include "menus/EditMenuItem.h"
#include "menus/FeedsMenuItem.h"
#include "menus/FileMenuItem.h"
#include "menus/FiltersMenuItem.h"
#include "menus/HelpMenuItem.h"
#include "menus/KeyEquivalentFilter.h"
#include "menus/ViewMenuItem.h"
#include "menus/WindowMenuItem.h"

namespace tallowmere {

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent), windowMenuItem_(std::make_unique<WindowMenuItem>()) {
    append(std::make_unique<AppMenuItem>());
    append(std::make_unique<FileMenuItem>());
    append(std::make_unique<EditMenuItem>());
    append(std::make_unique<ViewMenuItem>());
    append(std::make_unique<FeedsMenuItem>());
    auto articles = std::make_unique<ArticlesMenuItem>();
    ArticlesMenuItem* articlesItem = articles.get();
    append(std::move(articles));
    append(std::make_unique<FiltersMenuItem>());
    addMenu(windowMenuItem_->menu());
    append(std::make_unique<HelpMenuItem>());
#ifdef TALLOWMERE_DEBUG_MENU
    append(std::make_unique<DebugMenuItem>());
#endif
    keyFilter_ = std::make_unique<KeyEquivalentFilter>(this, articlesItem);
    qApp->installEventFilter(keyFilter_.get());
}

MainMenu::~MainMenu() {
    if (qApp) qApp->removeEventFilter(keyFilter_.get());
    // The submenus go while the bar can still take their removal.
    items_.clear();
    windowMenuItem_.reset();
}

void MainMenu::append(std::unique_ptr<MenuItem> item) {
    addMenu(item->menu());
    items_.push_back(std::move(item));
}

QMenu* MainMenu::windowMenu() const { return windowMenuItem_->menu(); }

std::vector<MenuItem*> MainMenu::items() const {
    std::vector<MenuItem*> ordered;
    for (QAction* action : actions()) {
        for (const auto& item : items_) {
            if (item->menu()->menuAction() == action) ordered.push_back(item.get());
        }
        if (windowMenuItem_->menu()->menuAction() == action) ordered.push_back(windowMenuItem_.get());
    }
    return ordered;
}

}  // namespace tallowmere
