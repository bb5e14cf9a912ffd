#include "window/CleanStringFormatter.h"

#include <algorithm>

namespace tallowmere {

CleanStringFormatter::CleanStringFormatter(QObject* parent) : QValidator(parent) {}

std::optional<QString> CleanStringFormatter::stringForObjectValue(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().trimmed();
}

QValidator::State CleanStringFormatter::validate(QString& input, int& position) const {
    const QString trimmed = input.trimmed();
    if (trimmed != input) {
        int leading = 0;
        while (leading < input.size() && input.at(leading).isSpace()) ++leading;
        input = trimmed;
        position = std::clamp(position - leading, 0, static_cast<int>(input.size()));
    }
    return Acceptable;
}

}  // namespace tallowmere
