#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/graph/FetchRequest.h"
#include "store/NodePriority.h"
#include "store/StoredObject.h"

namespace tallowmere {

class Feed;
class Folder;

// A feed or a folder of the sidebar. A fetch of "Node" returns both kinds.
class Node : public StoredObject {
public:
    static constexpr const char* entityName = "Node";
    // Key names for predicates and sort descriptors.
    struct Key {
        static constexpr const char* name = "name";
        static constexpr const char* priority = "priority";
        static constexpr const char* sortName = "sortName";
        static constexpr const char* sortValue = "sortValue";
        // Computed, not stored: the sidebar's section key.
        static constexpr const char* groupName = "groupName";
    };

    // The object must be a Node (feed or folder).
    explicit Node(graph::ObjectPtr object) : StoredObject(std::move(object), entityName) {}
    // Nothing when the object is missing or no Node.
    static std::optional<Node> from(const graph::ObjectPtr& object);
    static graph::FetchRequest fetchRequest() { return graph::FetchRequest(entityName); }

    bool isFeed() const;
    bool isFolder() const;
    std::optional<Feed> asFeed() const;
    std::optional<Folder> asFolder() const;

    std::optional<std::string> name() const { return text(Key::name); }
    bool setName(std::optional<std::string> value) const { return setText(Key::name, std::move(value)); }
    // The raw NodePriority value as stored (not necessarily −1…1).
    std::int16_t priority() const { return static_cast<std::int16_t>(object_->integer(Key::priority)); }
    void setPriority(std::int16_t value) const { object_->setInteger(Key::priority, value); }
    void setPriority(NodePriority value) const { setPriority(rawValue(value)); }
    std::optional<std::string> sortName() const { return text(Key::sortName); }
    bool setSortName(std::optional<std::string> value) const {
        return setText(Key::sortName, std::move(value));
    }
    std::int64_t sortValue() const { return object_->integer(Key::sortValue); }
    void setSortValue(std::int64_t value) const { object_->setInteger(Key::sortValue, value); }

    // The sidebar section: a feed in a folder shares the folder's, every
    // other node has its own sort name (empty when it has none). Safe from
    // any thread: runs inside the node's context.
    std::string groupName() const;
    // Stores "[<folder group> ]<P> <name> <time stamp>", lower-cased, as the
    // sort name: P is sortValue when above 0, else 0 for high, 1 for medium
    // and 2 for low priority. Does nothing without a context.
    void updateSortName() const;
    // Whether the sort name is the one updateSortName() would store now but
    // for its time stamp: rebuilding it could not move the node.
    bool sortNameFitsPosition() const;
    // groupName() of a node object, as the section namer of a fetched-results
    // controller over nodes.
    static std::string groupNameOf(graph::Object& object) {
        return Node(object.shared_from_this()).groupName();
    }
    // The stored values groupName() reads: the sort name, the folder and the
    // folder's sort name, as key paths from a node.
    static const std::vector<std::string>& groupNameKeyPaths();
    // groupName() from those values, read with a fetched-results
    // controller's rows (no object loaded).
    static std::string groupNameOfStored(const std::vector<graph::Value>& values);

    // The time stamp of the sort name: seconds since 2001-01-01 00:00 UTC in
    // the shortest text that reads back as the same double, always with a
    // fractional part ("786000000.0", "786000000.25").
    static std::string sortTimeStamp(double secondsSinceReferenceDate);
    // The type under which dragged nodes travel ("tallowmere.node").
    static const std::string& pasteboardType();

protected:
    Node(graph::ObjectPtr object, const char* entity) : StoredObject(std::move(object), entity) {}

private:
    std::string sortNameLead() const;
};

}  // namespace tallowmere

#include "store/Feed.h"
#include "store/Folder.h"
