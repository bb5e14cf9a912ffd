#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/Context.h"
#include "platform/graph/Object.h"

namespace tallowmere {

// What every entity handle shares: the object of the graph it stands for.
// A handle is a cheap, copyable reference; like the object itself it is
// used only inside its context's blocks (the computed properties of the
// entities wrap themselves, see there).
class StoredObject {
public:
    const graph::ObjectPtr& object() const { return object_; }
    graph::ObjectID objectID() const { return object_->objectID(); }
    // Nothing once the context is gone.
    graph::Context* context() const { return object_->context(); }
    bool isDeleted() const { return object_->isDeleted(); }
    bool operator==(const StoredObject& other) const { return object_ == other.object_; }

    // Whether the object is of the entity or one of its children.
    static bool isKindOf(const graph::Object& object, std::string_view entityName);

protected:
    // Stops the program when the object is missing or of another entity:
    // a handle of the wrong kind is a programming error.
    StoredObject(graph::ObjectPtr object, std::string_view entityName);

    std::optional<std::string> text(const char* key) const { return object_->string(key); }
    // False, and the old value kept, for a value above StoredModel::maximumValueSize.
    bool setText(const char* key, std::optional<std::string> value) const;
    std::optional<graph::Bytes> data(const char* key) const { return object_->binary(key); }
    bool setData(const char* key, std::optional<graph::Bytes> value) const;
    // Runs `block` inside the object's context and returns its result, or
    // `fallback` when the object has no context.
    template <typename T, typename Block>
    T inContext(T fallback, Block&& block) const {
        graph::Context* context = object_->context();
        if (!context) return fallback;
        T result = std::move(fallback);
        context->performAndWait([&] { result = block(); });
        return result;
    }

    graph::ObjectPtr object_;
};

// Handles over fetched or related objects, in order:
//   auto feeds = makeHandles<Feed>(context.fetch(Feed::fetchRequest()).value());
// Every object must be of the handle's entity.
template <typename Handle, typename Objects>
std::vector<Handle> makeHandles(const Objects& objects) {
    std::vector<Handle> handles;
    for (graph::ObjectPtr object : objects) handles.emplace_back(std::move(object));
    return handles;
}

}  // namespace tallowmere
