#pragma once

#include <QComboBox>
#include <QVariant>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/Localization.h"

namespace tallowmere {

// A choice list built from (text key, value) pairs: each key is looked up in
// the string table of the pane that builds it, the item whose value equals
// `selected` is chosen (none when no item has that value), and picking an
// item hands its value to `action`. Enumeration and integer values are also
// each item's data, as their raw number.
template <typename T>
class PopUpButton : public QComboBox {
public:
    using Item = std::pair<std::string, T>;

    PopUpButton(std::vector<Item> items, const T& selected, std::string_view table,
                std::function<void(const T&)> action = {}, QWidget* parent = nullptr)
        : QComboBox(parent), items_(std::move(items)) {
        const auto localization = Localization::shared();
        for (const auto& [key, value] : items_) {
            addItem(QString::fromStdString(localization->localized(table, key)), itemData(value));
        }
        setCurrentIndex(indexOf(selected));
        if (action) {
            connect(this, &QComboBox::activated, this, [this, action = std::move(action)](int index) {
                if (index >= 0 && static_cast<std::size_t>(index) < items_.size()) action(items_[index].second);
            });
        }
    }

    // The value of the chosen item; none when no item is chosen.
    std::optional<T> selectedValue() const {
        const int index = currentIndex();
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) return std::nullopt;
        return items_[static_cast<std::size_t>(index)].second;
    }

    void selectValue(const T& value) { setCurrentIndex(indexOf(value)); }

private:
    static QVariant itemData(const T& value) {
        if constexpr (std::is_enum_v<T>) {
            return QVariant::fromValue(static_cast<long long>(value));
        } else if constexpr (std::is_integral_v<T>) {
            return QVariant::fromValue(static_cast<long long>(value));
        } else {
            return QVariant();
        }
    }

    int indexOf(const T& value) const {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (items_[i].second == value) return static_cast<int>(i);
        }
        return -1;
    }

    std::vector<Item> items_;
};

}  // namespace tallowmere
