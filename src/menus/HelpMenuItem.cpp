#include "menus/HelpMenuItem.h"

#include <QAction>
#include <QDesktopServices>
#include <QUrl>
#include <optional>
#include <string_view>

#include "store/DefaultConfig.h"

namespace tallowmere {
namespace {

std::optional<std::string_view> linkOfTag(int tag) {
    switch (tag) {
        case 0: return DefaultConfig::websiteURL;
        case 1: return DefaultConfig::privacyPolicyURL;
        case 2: return DefaultConfig::termsOfServiceURL;
        default: return std::nullopt;
    }
}

}  // namespace

HelpMenuItem::HelpMenuItem() : MenuItem(tableName, "help") { addRows(menuRows()); }

std::vector<MenuRow> HelpMenuItem::menuRows() {
    auto link = [](const char* titleKey, int tag) {
        auto row = menuEntry(titleKey, "openLink:");
        row.target = MenuTarget::item;
        row.tag = tag;
        return row;
    };
    return {link("tallowmere_website", 0), MenuRow::separatorRow(), link("privacy_policy", 1), link("terms_of_service", 2)};
}

void HelpMenuItem::openLink(QAction* sender) {
    if (!sender) return;
    bool isNumber = false;
    const int tag = sender->property("tag").toInt(&isNumber);
    if (!isNumber) return;
    const auto link = linkOfTag(tag);
    if (!link) return;
    // Whether a browser took it is not looked at.
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(link->data(), static_cast<qsizetype>(link->size()))));
}

void HelpMenuItem::performItemCommand(const MenuRow&, QAction* sender) { openLink(sender); }

}  // namespace tallowmere
