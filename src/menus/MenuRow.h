#pragma once

#include <QVariant>
#include <optional>
#include <string>
#include <vector>

#include "menus/KeyEquivalent.h"
#include "window/Action.h"

namespace tallowmere {

// Who receives an entry's command: nobody named (the command travels the
// window's chain, or the desktop carries it out), or the menu item that
// built the entry.
enum class MenuTarget { none, item };

// Where an entry's key works: in the window that holds the menu bar, or in
// every window of the program (the preferences window too).
enum class ShortcutScope { window, application };

// One entry of a submenu as its menu item declares it.
struct MenuRow {
    bool separator = false;
    std::string titleKey;
    // The command by the name its receiver knows it under ("showNextArticle",
    // "terminate:").
    std::string selector;
    // The window command sent through the action router, for an entry
    // without a target; none for what the menu item or the desktop does.
    std::optional<Action> action;
    std::string key;
    // None keeps the default mask (Command); an empty list is a bare key.
    std::optional<std::vector<KeyModifier>> modifiers;
    MenuTarget target = MenuTarget::none;
    QVariant representedObject;
    std::optional<int> tag;
    // The entry shows an on/off mark, on when `on`.
    bool hasState = false;
    bool on = false;
    // The title is a format filled with the program's name.
    bool titleNamesApp = false;
    ShortcutScope scope = ShortcutScope::window;
    // A second chord for the same key, where the first is often taken by
    // the desktop.
    std::optional<std::vector<KeyModifier>> alternateModifiers;

    static MenuRow separatorRow() {
        MenuRow row;
        row.separator = true;
        return row;
    }

    std::uint32_t mask() const {
        return modifiers ? KeyEquivalent::combinedModifierFlags(*modifiers) : KeyEquivalent::defaultMask;
    }
};

}  // namespace tallowmere

namespace tallowmere {

// An entry of a submenu, the shape most rows take.
inline MenuRow menuEntry(std::string titleKey, std::string selector, std::optional<Action> action = std::nullopt,
                         std::string key = {}, std::optional<std::vector<KeyModifier>> modifiers = std::nullopt) {
    MenuRow row;
    row.titleKey = std::move(titleKey);
    row.selector = std::move(selector);
    row.action = action;
    row.key = std::move(key);
    row.modifiers = std::move(modifiers);
    return row;
}

}  // namespace tallowmere
