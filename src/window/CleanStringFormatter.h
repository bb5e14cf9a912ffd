#pragma once

#include <QValidator>
#include <QVariant>
#include <optional>

namespace tallowmere {

// Keeps a text field free of white space and line breaks at either end
// while it is typed or pasted into: the text is rewritten to its trimmed
// form at once. Spaces inside the text stay.
class CleanStringFormatter : public QValidator {
    Q_OBJECT
public:
    explicit CleanStringFormatter(QObject* parent = nullptr);

    // A text trimmed at both ends; nothing for anything that is not a text.
    static std::optional<QString> stringForObjectValue(const QVariant& value);

    State validate(QString& input, int& position) const override;
};

}  // namespace tallowmere
