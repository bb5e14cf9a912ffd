#include "platform/graph/SqlQuery.h"

namespace tallowmere::graph {

std::vector<std::string> splitKeyPath(const std::string& keyPath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = keyPath.find('.', start);
        parts.push_back(keyPath.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

// The entity's own property, or one of an entity below it that shares its
// table: the rows of the other entities hold no value there.
const PropertyDescription* SqlQuery::propertyInTable(const EntityDescription& entity, const std::string& name) {
    if (const PropertyDescription* p = entity.property(name)) return p;
    if (!entity.hasEntityColumn()) return nullptr;
    for (const EntityDescription* below : entity.descendants())
        if (const PropertyDescription* p = below->property(name); p && p->hasColumn()) return p;
    return nullptr;
}

Result<std::pair<const PropertyDescription*, std::string>> SqlQuery::resolve(const std::string& keyPath) {
    auto parts = splitKeyPath(keyPath);
    const EntityDescription* entity = &entity_;
    std::string alias = "t0";
    std::string path;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (parts[i] == "self" && last) return std::pair<const PropertyDescription*, std::string>{nullptr, alias};
        const PropertyDescription* p = propertyInTable(*entity, parts[i]);
        if (!p) return GraphError{GraphErrorCode::invalidRequest, "unknown key " + parts[i] + " on " + entity->name()};
        if (last) return std::pair<const PropertyDescription*, std::string>{p, alias};
        if (!p->isToOne())
            return GraphError{GraphErrorCode::invalidRequest, "key path " + keyPath + " goes through a to-many relation"};
        path += (path.empty() ? "" : ".") + parts[i];
        auto found = aliasForPath_.find(path);
        if (found == aliasForPath_.end()) {
            std::string next = std::string("t").append(std::to_string(aliasForPath_.size() + 1));
            joins_.push_back(" LEFT JOIN \"" + p->destination->table() + "\" " + next + " ON " + next + ".id = " + alias +
                             ".\"" + p->column + "\"");
            found = aliasForPath_.emplace(path, next).first;
        }
        alias = found->second;
        entity = p->destination;
    }
    return GraphError{GraphErrorCode::invalidRequest, "empty key path"};
}

Result<std::string> SqlQuery::column(const std::string& keyPath) {
    auto resolved = resolve(keyPath);
    if (!resolved) return resolved.error();
    auto [p, alias] = resolved.value();
    if (!p) return alias + ".id";
    if (!p->hasColumn())
        return GraphError{GraphErrorCode::invalidRequest, "key " + p->name + " is a to-many relation"};
    if (p->loadsOnDemand) {
        auto found = aliasForPath_.find(alias + "#large");
        if (found == aliasForPath_.end()) {
            const std::string large = alias + "l";
            joins_.push_back(" LEFT JOIN \"" + p->owner->largeTable() + "\" " + large + " ON " + large + ".id = " + alias + ".id");
            found = aliasForPath_.emplace(alias + "#large", large).first;
        }
        const auto storedColumn = [&](const PropertyDescription& q) { return found->second + ".\"" + q.column + "\""; };
        const std::string stored = storedColumn(*p);
        // Large texts may be held compressed: filters and sorts see the text.
        if (p->type != AttributeType::string) return stored;
        if (p->dictionary) return "stored_text(" + stored + ", " + storedColumn(*p->dictionary) + ")";
        return "stored_text(" + stored + ")";
    }
    return alias + ".\"" + p->column + "\"";
}

std::string SqlQuery::bind(Value value) {
    parameters_.push_back(std::move(value));
    return std::string("?").append(std::to_string(parameters_.size()));
}

std::string SqlQuery::joins() const {
    std::string out;
    for (const auto& j : joins_) out += j;
    return out;
}

std::string SqlQuery::entityFilter() const {
    if (!entity_.hasEntityColumn() || &entity_ == entity_.root()) return {};
    std::string list;
    for (const auto* e : entity_.descendants()) list += (list.empty() ? "'" : ",'") + e->name() + "'";
    return "t0.entity IN (" + list + ")";
}

}  // namespace tallowmere::graph
