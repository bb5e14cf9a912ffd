#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "store/Node.h"

namespace tallowmere {

class Feed;

// A folder of feeds. Deleting it deletes its feeds (and so their articles).
class Folder : public Node {
public:
    static constexpr const char* entityName = "Folder";
    struct Key : Node::Key {
        static constexpr const char* closed = "closed";
        static constexpr const char* feeds = "feeds";
    };

    explicit Folder(graph::ObjectPtr object) : Node(std::move(object), entityName) {}
    static std::optional<Folder> from(const graph::ObjectPtr& object);
    static graph::FetchRequest fetchRequest() { return graph::FetchRequest(entityName); }
    static Folder insert(graph::Context& context) { return Folder(context.insert(entityName)); }

    bool closed() const { return object_->boolean(Key::closed); }
    void setClosed(bool value) const { object_->setBoolean(Key::closed, value); }

    std::vector<Feed> feeds() const;
    std::size_t feedCount() const { return object_->count(Key::feeds); }
};

}  // namespace tallowmere

#include "store/Feed.h"
