#pragma once

#include <any>
#include <optional>

namespace tallowmere {

// The one or two objects an action carries. A receiver reads each as the
// type it expects; an absent object or one of another type reads as none.
class ActionArguments {
public:
    ActionArguments() = default;
    ActionArguments(std::any first, std::any second) : first_(std::move(first)), second_(std::move(second)) {}

    template <typename T>
    std::optional<T> first() const {
        return read<T>(first_);
    }
    template <typename T>
    std::optional<T> second() const {
        return read<T>(second_);
    }

private:
    template <typename T>
    static std::optional<T> read(const std::any& value) {
        if (const T* typed = std::any_cast<T>(&value)) return *typed;
        return std::nullopt;
    }

    std::any first_;
    std::any second_;
};

}  // namespace tallowmere
