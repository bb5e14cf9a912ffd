#pragma once

#include <chrono>
#include <optional>
#include <set>
#include <string>

namespace tallowmere {

// The fields through which every incoming article (parsed or mirrored from the
// cloud) reaches the store, so the storing code never sees a concrete type.
class RemoteArticle {
public:
    using Date = std::chrono::system_clock::time_point;

    virtual ~RemoteArticle() = default;

    virtual const std::string& title() const = 0;
    virtual Date date() const = 0;
    virtual const std::string& content() const = 0;
    virtual const std::optional<std::string>& creator() const = 0;
    virtual const std::string& link() const = 0;
    virtual const std::optional<std::string>& topImageURL() const = 0;
    virtual const std::optional<std::set<std::string>>& tags() const = 0;

protected:
    RemoteArticle() = default;
    RemoteArticle(const RemoteArticle&) = default;
    RemoteArticle& operator=(const RemoteArticle&) = default;
};

}  // namespace tallowmere
