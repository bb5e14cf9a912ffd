#include "platform/graph/Predicate.h"

#include <nlohmann/json.hpp>

#include "platform/graph/Object.h"
#include "platform/graph/SqlQuery.h"
#include "platform/graph/TextFolding.h"

namespace tallowmere::graph {

struct Predicate::Node {
    enum class Kind { constantTrue, all, any, negation, compare, in, count } kind = Kind::constantTrue;
    std::vector<Predicate> parts;
    std::string keyPath;
    Comparison op = Comparison::equal;
    Value value;
    bool folded = false;
    bool separately = false;
    std::vector<Value> values;
};

namespace {
using Kind = Predicate::Node::Kind;

std::shared_ptr<Predicate::Node> make(Kind kind) {
    auto node = std::make_shared<Predicate::Node>();
    node->kind = kind;
    return node;
}

bool compareInMemory(const Value& lhs, Comparison op, const Value& rhs, bool folded) {
    if (op == Comparison::equal || op == Comparison::notEqual) {
        bool equal;
        if (isNull(rhs)) {
            equal = isNull(lhs);
        } else if (isNull(lhs)) {
            equal = false;
        } else if (folded) {
            auto* text = std::get_if<std::string>(&lhs);
            equal = text && TextFolding::fold(*text) == std::get<std::string>(rhs);
        } else {
            equal = valuesEqual(lhs, rhs);
        }
        return op == Comparison::equal ? equal : !equal;
    }
    if (isNull(lhs) || isNull(rhs)) return false;
    if (op == Comparison::beginsWith) {
        auto* text = std::get_if<std::string>(&lhs);
        auto* prefix = std::get_if<std::string>(&rhs);
        if (!text || !prefix) return false;
        if (folded) return TextFolding::beginsWith(*text, *prefix);
        return std::string_view(*text).substr(0, prefix->size()) == *prefix;
    }
    // A folded ordering compares the folded text, as its SQL form does.
    const auto* text = folded ? std::get_if<std::string>(&lhs) : nullptr;
    int c = text ? compareValues(Value(TextFolding::fold(*text)), rhs) : compareValues(lhs, rhs);
    switch (op) {
        case Comparison::less: return c < 0;
        case Comparison::lessOrEqual: return c <= 0;
        case Comparison::greater: return c > 0;
        case Comparison::greaterOrEqual: return c >= 0;
        default: return false;
    }
}

const char* sqlOperator(Comparison op) {
    switch (op) {
        case Comparison::equal: return " = ";
        case Comparison::notEqual: return " IS NOT ";
        case Comparison::less: return " < ";
        case Comparison::lessOrEqual: return " <= ";
        case Comparison::greater: return " > ";
        case Comparison::greaterOrEqual: return " >= ";
        default: return " = ";
    }
}

std::string jsonList(const std::vector<Value>& values) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& v : values) {
        if (auto* i = std::get_if<std::int64_t>(&v)) list.push_back(*i);
        else if (auto* d = std::get_if<double>(&v)) list.push_back(*d);
        else if (auto* b = std::get_if<bool>(&v)) list.push_back(*b ? 1 : 0);
        else if (auto* s = std::get_if<std::string>(&v)) list.push_back(*s);
        else if (auto* t = std::get_if<Date>(&v)) list.push_back(t->seconds);
        else if (auto* o = std::get_if<ObjectID>(&v)) list.push_back(o->key());
    }
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
}  // namespace

Predicate Predicate::truePredicate() {
    static const Predicate always(make(Kind::constantTrue));
    return always;
}

Predicate Predicate::compare(std::string keyPath, Comparison op, Value value) {
    auto node = make(Kind::compare);
    node->keyPath = std::move(keyPath);
    node->op = op;
    node->value = std::move(value);
    return Predicate(node);
}

Predicate Predicate::compareFolded(std::string keyPath, Comparison op, std::string text) {
    auto node = make(Kind::compare);
    node->keyPath = std::move(keyPath);
    node->op = op;
    node->value = TextFolding::fold(text);
    node->folded = true;
    return Predicate(node);
}

Predicate Predicate::in(std::string keyPath, std::vector<Value> values) {
    auto node = make(Kind::in);
    node->keyPath = std::move(keyPath);
    node->values = std::move(values);
    return Predicate(node);
}

Predicate Predicate::count(std::string toManyKey, Comparison op, std::int64_t number) {
    auto node = make(Kind::count);
    node->keyPath = std::move(toManyKey);
    node->op = op;
    node->value = number;
    return Predicate(node);
}

Predicate Predicate::allOf(std::vector<Predicate> parts) {
    auto node = make(Kind::all);
    node->parts = std::move(parts);
    return Predicate(node);
}

Predicate Predicate::anyOf(std::vector<Predicate> parts) {
    auto node = make(Kind::any);
    node->parts = std::move(parts);
    return Predicate(node);
}

Predicate Predicate::anyOfSeparately(std::vector<Predicate> parts) {
    auto node = make(Kind::any);
    node->parts = std::move(parts);
    node->separately = true;
    return Predicate(node);
}

std::vector<Predicate> Predicate::separateAlternatives() const {
    const Node& n = *node_;
    auto separate = [](const Predicate& p) { return p.node_->kind == Kind::any && p.node_->separately && !p.node_->parts.empty(); };
    std::vector<Predicate> others;
    const Predicate* alternatives = nullptr;
    if (separate(*this)) {
        alternatives = this;
    } else if (n.kind == Kind::all) {
        for (const auto& part : n.parts) {
            if (!alternatives && separate(part))
                alternatives = &part;
            else
                others.push_back(part);
        }
    }
    if (!alternatives) return {*this};
    std::vector<Predicate> branches;
    const auto& parts = alternatives->node_->parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::vector<Predicate> branch = others;
        branch.push_back(parts[i]);
        for (std::size_t j = 0; j < i; ++j) branch.push_back(negation(parts[j]));
        branches.push_back(allOf(std::move(branch)));
    }
    return branches;
}

Predicate Predicate::negation(Predicate part) {
    auto node = make(Kind::negation);
    node->parts.push_back(std::move(part));
    return Predicate(node);
}

bool Predicate::isConstantTrue() const { return node_->kind == Kind::constantTrue; }

bool Predicate::evaluate(Object& object) const {
    const Node& n = *node_;
    switch (n.kind) {
        case Kind::constantTrue: return true;
        case Kind::all:
            for (const auto& p : n.parts)
                if (!p.evaluate(object)) return false;
            return true;
        case Kind::any:
            for (const auto& p : n.parts)
                if (p.evaluate(object)) return true;
            return false;
        case Kind::negation: return !n.parts.front().evaluate(object);
        case Kind::compare: return compareInMemory(object.valueForKeyPath(n.keyPath), n.op, n.value, n.folded);
        case Kind::in: {
            Value lhs = object.valueForKeyPath(n.keyPath);
            if (isNull(lhs)) return false;
            for (const auto& v : n.values)
                if (!isNull(v) && valuesEqual(lhs, v)) return true;
            return false;
        }
        case Kind::count:
            return compareInMemory(static_cast<std::int64_t>(object.count(n.keyPath)), n.op, n.value, false);
    }
    return false;
}

Result<std::string> Predicate::toSql(SqlQuery& query) const {
    const Node& n = *node_;
    switch (n.kind) {
        case Kind::constantTrue: return std::string("1");
        case Kind::all:
        case Kind::any: {
            if (n.parts.empty()) return std::string(n.kind == Kind::all ? "1" : "0");
            std::string out = "(";
            for (std::size_t i = 0; i < n.parts.size(); ++i) {
                auto part = n.parts[i].toSql(query);
                if (!part) return part;
                if (i) out += n.kind == Kind::all ? " AND " : " OR ";
                out += part.value();
            }
            return out + ")";
        }
        case Kind::negation: {
            // NULL counts as false, as in memory, so NOT of an unknown is true.
            auto part = n.parts.front().toSql(query);
            if (!part) return part;
            return "(NOT COALESCE(" + part.value() + ", 0))";
        }
        case Kind::compare: {
            auto column = query.column(n.keyPath);
            if (!column) return column;
            std::string lhs = n.folded ? "cd_fold(" + column.value() + ")" : column.value();
            if (n.op == Comparison::beginsWith)
                return (n.folded ? "cd_begins(" : "begins(") + column.value() + ", " + query.bind(n.value) + ")";
            if (isNull(n.value)) {
                if (n.op == Comparison::equal) return "(" + column.value() + " IS NULL)";
                if (n.op == Comparison::notEqual) return "(" + column.value() + " IS NOT NULL)";
                return std::string("0");
            }
            return "(" + lhs + sqlOperator(n.op) + query.bind(n.value) + ")";
        }
        case Kind::in: {
            auto column = query.column(n.keyPath);
            if (!column) return column;
            return "(" + column.value() + " IN (SELECT value FROM json_each(" + query.bind(jsonList(n.values)) + ")))";
        }
        case Kind::count: {
            auto resolved = query.resolve(n.keyPath);
            if (!resolved) return resolved.error();
            auto [p, alias] = resolved.value();
            if (!p || !p->isToMany())
                return GraphError{GraphErrorCode::invalidRequest, "@count needs a to-many relation: " + n.keyPath};
            std::string sub;
            if (p->isManyToMany()) {
                sub = "(SELECT COUNT(*) FROM \"" + p->joinTable + "\" j WHERE j." + (p->joinOwner ? "src" : "dst") + " = " +
                      alias + ".id)";
            } else {
                sub = "(SELECT COUNT(*) FROM \"" + p->destination->table() + "\" c WHERE c.\"" + p->inverse->column +
                      "\" = " + alias + ".id)";
            }
            return "(" + sub + sqlOperator(n.op) + query.bind(n.value) + ")";
        }
    }
    return std::string("0");
}

void Predicate::collectRelationHops(std::vector<std::string>& keyPaths) const {
    const Node& n = *node_;
    for (const auto& p : n.parts) p.collectRelationHops(keyPaths);
    if (n.kind == Kind::count || n.keyPath.find('.') != std::string::npos) keyPaths.push_back(n.keyPath);
}

}  // namespace tallowmere::graph
