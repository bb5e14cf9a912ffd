#include "store/Node.h"

#include <charconv>
#include <chrono>

#include "foundation/AppUtils.h"
#include "foundation/TextOperations.h"

namespace tallowmere {
namespace {

// 2001-01-01 00:00:00 UTC in Unix time.
constexpr double referenceDateUnixSeconds = 978307200.0;

double nowSinceReferenceDate() {
    auto since1970 = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    return since1970.count() - referenceDateUnixSeconds;
}

std::string priorityDigit(std::int64_t sortValue, std::int16_t priority) {
    if (sortValue > 0) return std::to_string(sortValue);
    if (priority > 0) return "0";
    if (priority == 0) return "1";
    return "2";
}

}  // namespace

std::optional<Node> Node::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Node(object);
}

bool Node::isFeed() const { return isKindOf(*object_, Feed::entityName); }
bool Node::isFolder() const { return isKindOf(*object_, Folder::entityName); }
std::optional<Feed> Node::asFeed() const { return Feed::from(object_); }
std::optional<Folder> Node::asFolder() const { return Folder::from(object_); }

std::string Node::groupName() const {
    return inContext(std::string(), [&] {
        if (auto feed = asFeed())
            if (auto folder = feed->folder()) return folder->groupName();
        return sortName().value_or(std::string());
    });
}

const std::vector<std::string>& Node::groupNameKeyPaths() {
    static const std::vector<std::string> paths{Key::sortName, Feed::Key::folder,
                                                std::string(Feed::Key::folder) + "." + Key::sortName};
    return paths;
}

std::string Node::groupNameOfStored(const std::vector<graph::Value>& values) {
    auto text = [&](std::size_t index) {
        const auto* stored = index < values.size() ? std::get_if<std::string>(&values[index]) : nullptr;
        return stored ? *stored : std::string();
    };
    const bool inFolder = values.size() > 1 && std::holds_alternative<std::int64_t>(values[1]);
    return inFolder ? text(2) : text(0);
}

// Everything of the sort name before its time stamp; inside the context.
std::string Node::sortNameLead() const {
    std::string text = priorityDigit(sortValue(), priority()) + " " + name().value_or(std::string()) + " ";
    if (auto feed = asFeed())
        if (auto folder = feed->folder()) text = folder->groupName() + " " + text;
    return text;
}

void Node::updateSortName() const {
    graph::Context* context = object_->context();
    if (!context) return;
    context->performAndWait(
        [&] { setSortName(lowercased(sortNameLead() + sortTimeStamp(nowSinceReferenceDate()))); });
}

bool Node::sortNameFitsPosition() const {
    return inContext(false, [&] {
        const std::optional<std::string> stored = sortName();
        if (!stored) return false;
        const std::string lead = lowercased(sortNameLead());
        // The rest is the time stamp alone, which holds no space.
        return stored->starts_with(lead) && stored->find(' ', lead.size()) == std::string::npos;
    });
}

std::string Node::sortTimeStamp(double secondsSinceReferenceDate) {
    char buffer[64];
    // Fixed notation: present-day values are far below the range where the
    // shortest form would switch to an exponent.
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, secondsSinceReferenceDate, std::chars_format::fixed);
    std::string text =
        error == std::errc() ? std::string(buffer, end) : std::to_string(secondsSinceReferenceDate);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

const std::string& Node::pasteboardType() {
    static const std::string type = std::string(AppUtils::productIdentifier()) + ".node";
    return type;
}

}  // namespace tallowmere
