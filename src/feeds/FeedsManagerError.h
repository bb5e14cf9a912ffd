#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/Localizable.h"

namespace tallowmere {

// Why adding a feed failed. The two string cases carry the normalised URL
// string, not what the user typed.
class FeedsManagerError : public Localizable<FeedsManagerError> {
public:
    static constexpr std::string_view tableName = "FeedsManagerError";

    enum class Kind { malformedURL, alreadyAdded, download, cancelled };

    static FeedsManagerError malformedURL(std::string urlString) {
        return FeedsManagerError(Kind::malformedURL, std::move(urlString));
    }
    static FeedsManagerError alreadyAdded(std::string urlString) {
        return FeedsManagerError(Kind::alreadyAdded, std::move(urlString));
    }
    // The absolute string of the URL that was asked for.
    static FeedsManagerError download(std::string absoluteURLString) {
        return FeedsManagerError(Kind::download, std::move(absoluteURLString));
    }
    static FeedsManagerError cancelled() { return FeedsManagerError(Kind::cancelled, {}); }

    Kind kind() const { return kind_; }
    // The URL string of the three cases that carry one; empty for cancelled.
    const std::string& urlString() const { return urlString_; }
    // The localised text with the URL string in it; nothing for cancelled.
    std::optional<std::string> errorDescription() const;
    bool operator==(const FeedsManagerError& other) const {
        return kind_ == other.kind_ && urlString_ == other.urlString_;
    }

private:
    FeedsManagerError(Kind kind, std::string urlString) : kind_(kind), urlString_(std::move(urlString)) {}

    Kind kind_;
    std::string urlString_;
};

}  // namespace tallowmere
