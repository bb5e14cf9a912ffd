#include "menus/MenuItem.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "foundation/AppUtils.h"
#include "foundation/Localization.h"
#include "window/ActionRouter.h"

namespace tallowmere {

MenuItem::MenuItem(std::string_view tableName, std::string_view titleKey)
    : tableName_(tableName), menu_(std::make_unique<QMenu>()) {
    if (!titleKey.empty()) menu_->setTitle(QString::fromStdString(localized(titleKey)));
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        validate();
        menuWillOpen();
    });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        restoreEnabled();
        menuDidClose();
    });
}

MenuItem::~MenuItem() = default;

std::string MenuItem::localized(std::string_view key) const {
    // Without a table the keys are the titles themselves.
    if (tableName_.empty()) return std::string(key);
    return Localization::shared()->localized(tableName_, key);
}

void MenuItem::addRows(std::vector<MenuRow> rows) {
    for (auto& row : rows) {
        actions_.push_back(row.separator ? (menu_->addSeparator(), nullptr) : buildAction(row));
        rows_.push_back(std::move(row));
    }
}

QAction* MenuItem::buildAction(const MenuRow& row) {
    QString title = QString::fromStdString(localized(row.titleKey));
    if (row.titleNamesApp) title = QString::fromStdString(Localization::format(title.toStdString(), {AppUtils::appName()}));
    auto* action = menu_->addAction(title);
    // An ampersand in a title is text, not a mnemonic.
    action->setText(title.replace(QLatin1Char('&'), QStringLiteral("&&")));
    QList<QKeySequence> sequences;
    if (auto sequence = KeyEquivalent::sequence(row.key, row.mask()); !sequence.isEmpty()) sequences << sequence;
    if (row.alternateModifiers) {
        const auto mask = KeyEquivalent::combinedModifierFlags(*row.alternateModifiers);
        if (auto sequence = KeyEquivalent::sequence(row.key, mask); !sequence.isEmpty()) sequences << sequence;
    }
    action->setShortcuts(sequences);
    action->setShortcutContext(row.scope == ShortcutScope::application ? Qt::ApplicationShortcut : Qt::WindowShortcut);
    action->setData(row.representedObject);
    if (row.tag) action->setProperty("tag", *row.tag);
    if (row.hasState) {
        action->setCheckable(true);
        action->setChecked(row.on);
    }
    const std::size_t index = rows_.size();
    connect(action, &QAction::triggered, this, [this, index, action] {
        const MenuRow& chosen = rows_[index];
        // A mark shows what was read at launch; choosing the entry does not move it.
        if (action->isCheckable()) action->setChecked(chosen.on);
        perform(chosen, action);
    });
    return action;
}

QAction* MenuItem::actionForSelector(std::string_view selector) const {
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        if (rows_[index].selector == selector) return actions_[index];
    }
    return nullptr;
}

void MenuItem::perform(const MenuRow& row, QAction* sender) {
    if (row.action && row.target == MenuTarget::none) {
        sendActionToTarget(*row.action, routedObject(row, sender));
        return;
    }
    performItemCommand(row, sender);
}

void MenuItem::performItemCommand(const MenuRow&, QAction*) {}

std::any MenuItem::routedObject(const MenuRow&, QAction*) const { return {}; }

bool MenuItem::validateItemCommand(const MenuRow&) const { return true; }

void MenuItem::menuWillOpen() {}

void MenuItem::menuDidClose() {}

QWidget* MenuItem::focusWidget() {
    QWidget* window = QApplication::activeWindow();
    return window ? window->focusWidget() : nullptr;
}

void MenuItem::validate() {
    if (!validatesItems_) return;
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        QAction* action = actions_[index];
        if (!action) continue;
        const MenuRow& row = rows_[index];
        const bool routed = row.action && row.target == MenuTarget::none;
        action->setEnabled(routed ? ActionRouter::targetForAction(*row.action) != nullptr : validateItemCommand(row));
    }
}

void MenuItem::restoreEnabled() {
    if (!validatesItems_) return;
    for (QAction* action : actions_) {
        if (action) action->setEnabled(true);
    }
}

}  // namespace tallowmere
