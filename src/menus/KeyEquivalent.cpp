#include "menus/KeyEquivalent.h"

#include <QString>

namespace tallowmere {

std::uint32_t KeyEquivalent::combinedModifierFlags(const std::vector<KeyModifier>& flags) {
    std::uint32_t mask = 0;
    for (KeyModifier flag : flags) mask |= static_cast<std::uint32_t>(flag);
    return mask;
}

Qt::KeyboardModifiers KeyEquivalent::qtModifiers(std::uint32_t mask) {
    Qt::KeyboardModifiers modifiers;
    if (mask & static_cast<std::uint32_t>(KeyModifier::command)) modifiers |= Qt::ControlModifier;
    if (mask & static_cast<std::uint32_t>(KeyModifier::option)) modifiers |= Qt::AltModifier;
    if (mask & static_cast<std::uint32_t>(KeyModifier::shift)) modifiers |= Qt::ShiftModifier;
    if (mask & static_cast<std::uint32_t>(KeyModifier::control)) modifiers |= Qt::MetaModifier;
    return modifiers;
}

QKeySequence KeyEquivalent::sequence(std::string_view key, std::uint32_t mask) {
    if (key.empty()) return {};
    // A letter names its key; the key sequence parser wants it upper case.
    const QKeySequence bare(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())).toUpper());
    if (bare.isEmpty()) return {};
    return QKeySequence(QKeyCombination(qtModifiers(mask), bare[0].key()));
}

}  // namespace tallowmere
