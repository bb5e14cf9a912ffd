#pragma once

#include <optional>
#include <string>
#include <vector>
#include <variant>

#include "platform/feedkit/AtomFeed.h"
#include "platform/feedkit/FeedError.h"
#include "platform/feedkit/JSONFeed.h"
#include "platform/feedkit/RSSFeed.h"

namespace tallowmere::feedkit {

// The outcome of one parse: an Atom, RSS or JSON feed, or a failure.
class Result {
public:
    enum class Case { atom, rss, json, failure };

    static Result atom(AtomFeed feed);
    static Result rss(RSSFeed feed);
    static Result json(JSONFeed feed);
    static Result failure(FeedError error);

    Case kind() const { return static_cast<Case>(value_.index()); }
    bool isSuccess() const { return kind() != Case::failure; }
    // The error of a failure; absent for a success.
    std::optional<FeedError> error() const;

    // The payload of the case, or nullptr for another case.
    const AtomFeed* atomFeed() const { return std::get_if<AtomFeed>(&value_); }
    const RSSFeed* rssFeed() const { return std::get_if<RSSFeed>(&value_); }
    const JSONFeed* jsonFeed() const { return std::get_if<JSONFeed>(&value_); }

    // What a reader of the log should know about a document that was read:
    // items left unread beyond the limit, dates in unknown zones.
    const std::vector<std::string>& notices() const { return notices_; }
    void setNotices(std::vector<std::string> notices) { notices_ = std::move(notices); }

private:
    using Value = std::variant<AtomFeed, RSSFeed, JSONFeed, FeedError>;
    explicit Result(Value value) : value_(std::move(value)) {}

    Value value_;
    std::vector<std::string> notices_;
};

}  // namespace tallowmere::feedkit
