#include "platform/graph/Object.h"

#include <algorithm>

#include "platform/dispatch/Queue.h"
#include "platform/graph/Context.h"
#include "platform/graph/SqlQuery.h"

namespace tallowmere::graph {

Object::Object(Context* context, const EntityDescription* entity, ObjectID id)
    : context_(context), entity_(entity), id_(id) {
    values_.resize(entity->propertyCount());
    dirty_.assign(entity->propertyCount(), false);
}

const PropertyDescription& Object::property(std::string_view key, bool wantColumn) const {
    const PropertyDescription* p = entity_->property(key);
    if (!p) dispatch::fatalMisuse("unknown key \"" + std::string(key) + "\" on " + entity_->name());
    if (wantColumn && !p->hasColumn())
        dispatch::fatalMisuse("key \"" + std::string(key) + "\" on " + entity_->name() + " is a to-many relation");
    return *p;
}

void Object::fire() {
    if (fault_ && context_) context_->fire(*this);
}

void Object::fire(const PropertyDescription& p) {
    fire();
    if (onDemandUnread_ && p.loadsOnDemand && context_) context_->loadOnDemand(*this);
}

Object::ToMany& Object::many(const PropertyDescription& p) {
    if (many_.size() < values_.size()) many_.resize(values_.size());
    auto& slot = many_[p.slot];
    if (!slot) slot = std::make_unique<ToMany>();
    return *slot;
}

void Object::setSlot(const PropertyDescription& p, Value value) {
    fire(p);
    Value& current = values_[p.slot];
    if (current.index() == value.index() && valuesEqual(current, value)) return;
    current = std::move(value);
    dirty_[p.slot] = true;
    if (context_) context_->markUpdated(*this);
}

Value Object::value(std::string_view key) {
    const PropertyDescription& p = property(key, true);
    fire(p);
    return values_[p.slot];
}

void Object::setValue(std::string_view key, Value value) {
    const PropertyDescription& p = property(key, true);
    if (p.isToOne()) {
        auto* id = std::get_if<ObjectID>(&value);
        setToOne(key, id && context_ ? context_->object(*id) : nullptr);
        return;
    }
    setSlot(p, std::move(value));
}

Value Object::valueForKeyPath(const std::string& keyPath) {
    if (keyPath.find('.') == std::string::npos) {
        if (keyPath == "self") return id_;
        const PropertyDescription& p = property(keyPath, false);
        if (!p.hasColumn()) return Value{};
        fire(p);
        return values_[p.slot];
    }
    auto parts = splitKeyPath(keyPath);
    ObjectPtr current = shared_from_this();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        current = current->toOne(parts[i]);
        if (!current) return Value{};
    }
    return current->valueForKeyPath(parts.back());
}

std::optional<std::string> Object::string(std::string_view key) {
    Value v = value(key);
    if (auto* s = std::get_if<std::string>(&v)) return std::move(*s);
    return std::nullopt;
}
void Object::setString(std::string_view key, std::optional<std::string> value) {
    setSlot(property(key, true), value ? Value(std::move(*value)) : Value{});
}

std::int64_t Object::integer(std::string_view key) {
    Value v = value(key);
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    return 0;
}
void Object::setInteger(std::string_view key, std::int64_t value) {
    const PropertyDescription& p = property(key, true);
    if (p.type == AttributeType::integer16) value = static_cast<std::int16_t>(value);
    setSlot(p, value);
}

bool Object::boolean(std::string_view key) { return integer(key) != 0; }
void Object::setBoolean(std::string_view key, bool value) { setSlot(property(key, true), value); }

std::optional<Date> Object::date(std::string_view key) {
    Value v = value(key);
    if (auto* d = std::get_if<Date>(&v)) return *d;
    return std::nullopt;
}
void Object::setDate(std::string_view key, std::optional<Date> value) {
    setSlot(property(key, true), value ? Value(*value) : Value{});
}

std::optional<double> Object::real(std::string_view key) {
    Value v = value(key);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    return std::nullopt;
}
void Object::setReal(std::string_view key, std::optional<double> value) {
    setSlot(property(key, true), value ? Value(*value) : Value{});
}

std::optional<Bytes> Object::binary(std::string_view key) {
    Value v = value(key);
    if (auto* b = std::get_if<Bytes>(&v)) return std::move(*b);
    return std::nullopt;
}
void Object::setBinary(std::string_view key, std::optional<Bytes> value) {
    setSlot(property(key, true), value ? Value(std::move(*value)) : Value{});
}

ObjectPtr Object::toOne(std::string_view key) {
    const PropertyDescription& p = property(key, true);
    if (!p.isToOne()) dispatch::fatalMisuse("key \"" + std::string(key) + "\" is not a to-one relation");
    fire();
    auto* id = std::get_if<ObjectID>(&values_[p.slot]);
    return id && context_ ? context_->object(*id) : nullptr;
}

void Object::setToOne(std::string_view key, const ObjectPtr& target) {
    const PropertyDescription& p = property(key, true);
    if (!p.isToOne()) dispatch::fatalMisuse("key \"" + std::string(key) + "\" is not a to-one relation");
    if (target && target->context_ != context_) dispatch::fatalMisuse("relation between objects of two contexts");
    fire();
    Value old = values_[p.slot];
    Value now = target ? Value(target->id_) : Value{};
    if (old.index() == now.index() && valuesEqual(old, now)) return;
    values_[p.slot] = now;
    dirty_[p.slot] = true;
    if (!context_) return;
    context_->markUpdated(*this);
    if (auto* oldID = std::get_if<ObjectID>(&old)) context_->removeFromInverse(*oldID, *p.inverse, id_);
    if (target) context_->addToInverse(target->id_, *p.inverse, id_);
}

std::vector<ObjectID> Object::toManyIDs(std::string_view key) {
    const PropertyDescription& p = property(key, false);
    if (!p.isToMany()) dispatch::fatalMisuse("key \"" + std::string(key) + "\" is not a to-many relation");
    if (!context_) return {};
    context_->loadMembers(*this, p);
    return many(p).members;
}

std::vector<ObjectPtr> Object::toMany(std::string_view key) {
    std::vector<ObjectID> ids = toManyIDs(key);
    if (!context_) return {};
    return context_->loadBatch(ids, {});
}

std::size_t Object::count(std::string_view key) {
    const PropertyDescription& p = property(key, false);
    if (!p.isToMany()) dispatch::fatalMisuse("key \"" + std::string(key) + "\" is not a to-many relation");
    return context_ ? context_->countMembers(*this, p) : 0;
}

void Object::add(std::string_view key, const ObjectPtr& target) {
    const PropertyDescription& p = property(key, false);
    if (!p.isToMany() || !target || !context_) return;
    if (target->context_ != context_) dispatch::fatalMisuse("relation between objects of two contexts");
    if (p.inverse->isToOne()) {
        target->setToOne(p.inverse->name, shared_from_this());
        return;
    }
    context_->addToInverse(id_, p, target->id_);
    context_->addToInverse(target->id_, *p.inverse, id_);
}

void Object::remove(std::string_view key, const ObjectPtr& target) {
    const PropertyDescription& p = property(key, false);
    if (!p.isToMany() || !target || !context_) return;
    if (p.inverse->isToOne()) {
        target->fire();
        auto* current = std::get_if<ObjectID>(&target->values_[p.inverse->slot]);
        if (current && *current == id_) target->setToOne(p.inverse->name, nullptr);
        return;
    }
    context_->removeFromInverse(id_, p, target->id_);
    context_->removeFromInverse(target->id_, *p.inverse, id_);
}

void Object::setToMany(std::string_view key, const std::vector<ObjectPtr>& targets) {
    std::vector<ObjectID> current = toManyIDs(key);
    for (const auto& id : current) {
        bool keep = std::any_of(targets.begin(), targets.end(), [&](const ObjectPtr& t) { return t && t->id_ == id; });
        if (!keep) remove(key, context_->object(id));
    }
    for (const auto& target : targets) {
        if (target && std::find(current.begin(), current.end(), target->id_) == current.end()) add(key, target);
    }
}

}  // namespace tallowmere::graph
