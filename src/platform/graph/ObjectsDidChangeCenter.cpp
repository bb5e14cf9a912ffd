#include "platform/graph/ObjectsDidChangeCenter.h"

#include <algorithm>

#include "platform/graph/ModelDescription.h"

namespace tallowmere::graph {

ObjectsDidChangeCenter& ObjectsDidChangeCenter::shared() {
    static ObjectsDidChangeCenter* center = new ObjectsDidChangeCenter();  // contexts may post while the process ends
    return *center;
}

ObjectsDidChangeCenter::Token ObjectsDidChangeCenter::addListener(Listener listener) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    listeners_.emplace_back(token, std::make_shared<const Listener>(std::move(listener)));
    return token;
}

void ObjectsDidChangeCenter::removeListener(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void ObjectsDidChangeCenter::post(const ChangeSet& changes) {
    std::vector<std::shared_ptr<const Listener>> listeners;
    {
        std::lock_guard lock(mutex_);
        if (listeners_.empty() || changes.empty()) return;
        for (const auto& entry : listeners_) listeners.push_back(entry.second);
    }
    ObjectsDidChange notification{changes.inserted, {}, changes.deleted};
    notification.updated.reserve(changes.updated.size());
    for (std::size_t i = 0; i < changes.updated.size(); ++i) {
        std::vector<std::string> keys;
        if (i < changes.changedProperties.size())
            for (const PropertyDescription* property : changes.changedProperties[i]) keys.push_back(property->name);
        notification.updated.emplace_back(changes.updated[i], std::move(keys));
    }
    for (const auto& listener : listeners) (*listener)(notification);
}

}  // namespace tallowmere::graph
