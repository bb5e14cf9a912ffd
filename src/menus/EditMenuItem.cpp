#include "menus/EditMenuItem.h"

#include <QMetaObject>
#include <QWebEngineView>
#include <QWidget>
#include <array>
#include <utility>

namespace tallowmere {
namespace {

struct EditCommand {
    std::string_view selector;
    const char* slot;
    QWebEnginePage::WebAction pageAction;
};

constexpr std::array<EditCommand, 4> editCommands = {{
    {"cut:", "cut", QWebEnginePage::Cut},
    {"copy:", "copy", QWebEnginePage::Copy},
    {"paste:", "paste", QWebEnginePage::Paste},
    {"selectAll:", "selectAll", QWebEnginePage::SelectAll},
}};

const EditCommand* editCommand(std::string_view selector) {
    for (const auto& command : editCommands) {
        if (command.selector == selector) return &command;
    }
    return nullptr;
}

// The web view the focus lies in: the engine gives the focus to a widget of its own inside the view.
QWebEngineView* enclosingWebView(QWidget* widget) {
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (auto* view = qobject_cast<QWebEngineView*>(widget)) return view;
    }
    return nullptr;
}

bool hasSlot(QWidget* widget, const char* slot) {
    return widget->metaObject()->indexOfMethod(QMetaObject::normalizedSignature((std::string(slot) + "()").c_str())) >= 0;
}

}  // namespace

EditMenuItem::EditMenuItem() : MenuItem(tableName, "edit") { addRows(menuRows()); }

std::vector<MenuRow> EditMenuItem::menuRows() {
    using enum KeyModifier;
    auto standard = [](std::string titleKey, std::string selector, std::string key) {
        auto row = menuEntry(std::move(titleKey), std::move(selector), std::nullopt, std::move(key));
        row.scope = ShortcutScope::application;
        return row;
    };
    return {
        standard("cut", "cut:", "x"),
        standard("copy", "copy:", "c"),
        menuEntry("copy_article_url", "copyArticleURL", Action::copyArticleURL, "c", std::vector{command, shift}),
        standard("paste", "paste:", "v"),
        standard("select_all", "selectAll:", "a"),
    };
}

bool EditMenuItem::performEditCommand(QWidget* focus, std::string_view selector, bool dryRun) {
    const EditCommand* command = editCommand(selector);
    if (!focus || !command) return false;
    if (auto* view = enclosingWebView(focus)) {
        if (!dryRun) view->triggerPageAction(command->pageAction);
        return true;
    }
    if (!hasSlot(focus, command->slot)) return false;
    if (!dryRun) QMetaObject::invokeMethod(focus, command->slot);
    return true;
}

void EditMenuItem::performItemCommand(const MenuRow& row, QAction*) { performEditCommand(focusWidget(), row.selector); }

bool EditMenuItem::validateItemCommand(const MenuRow& row) const {
    return performEditCommand(focusWidget(), row.selector, true);
}

}  // namespace tallowmere
