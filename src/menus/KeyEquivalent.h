#pragma once

#include <QKeySequence>
#include <Qt>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace tallowmere {

// The modifier flags a menu entry's key equivalent is declared with, at the
// values the menus declare them with. Command is the desktop's Ctrl, Option
// its Alt, Control its Meta (the Super key).
enum class KeyModifier : std::uint32_t {
    shift = 0x20000,
    control = 0x40000,
    option = 0x80000,
    command = 0x100000,
};

// Turns declared key equivalents into the desktop's key sequences.
class KeyEquivalent {
public:
    KeyEquivalent() = delete;

    // The mask of an entry whose mask is not set.
    static constexpr std::uint32_t defaultMask = static_cast<std::uint32_t>(KeyModifier::command);

    // The union of the flags; 0 (no modifier, a bare key) for an empty list.
    static std::uint32_t combinedModifierFlags(const std::vector<KeyModifier>& flags);
    static Qt::KeyboardModifiers qtModifiers(std::uint32_t mask);
    // The sequence of a key ("j", ",", "1") under a mask; empty for no key.
    static QKeySequence sequence(std::string_view key, std::uint32_t mask);
};

}  // namespace tallowmere
