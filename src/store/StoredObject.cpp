#include "store/StoredObject.h"

#include "platform/dispatch/Queue.h"
#include "store/StoredModel.h"

namespace tallowmere {

StoredObject::StoredObject(graph::ObjectPtr object, std::string_view entityName)
    : object_(std::move(object)) {
    if (!object_) dispatch::fatalMisuse("a " + std::string(entityName) + " handle without an object");
    if (!isKindOf(*object_, entityName))
        dispatch::fatalMisuse("a " + std::string(entityName) + " handle over a " + object_->entity().name());
}

bool StoredObject::isKindOf(const graph::Object& object, std::string_view entityName) {
    for (const auto* entity = &object.entity(); entity; entity = entity->parent())
        if (entity->name() == entityName) return true;
    return false;
}

bool StoredObject::setText(const char* key, std::optional<std::string> value) const {
    if (value && value->size() > StoredModel::maximumValueSize) return false;
    object_->setString(key, std::move(value));
    return true;
}

bool StoredObject::setData(const char* key, std::optional<graph::Bytes> value) const {
    if (value && value->size() > StoredModel::maximumValueSize) return false;
    object_->setBinary(key, std::move(value));
    return true;
}

}  // namespace tallowmere
