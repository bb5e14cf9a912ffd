#include "platform/graph/Value.h"

#include <chrono>

namespace tallowmere::graph {

Date Date::now() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration<double>(since).count()};
}

namespace {
// SQLite's storage-class order: NULL < numbers < text < blob.
int rank(const Value& v) {
    switch (v.index()) {
        case 0: return 0;
        case 4: return 2;
        case 6: return 3;
        default: return 1;
    }
}

double number(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto* t = std::get_if<Date>(&v)) return t->seconds;
    if (auto* o = std::get_if<ObjectID>(&v)) return static_cast<double>(o->key());
    return 0;
}

std::int64_t integer(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto* o = std::get_if<ObjectID>(&v)) return o->key();
    return 0;
}

bool isExactInteger(const Value& v) {
    return std::holds_alternative<std::int64_t>(v) || std::holds_alternative<bool>(v) ||
           std::holds_alternative<ObjectID>(v);
}
}  // namespace

int compareValues(const Value& a, const Value& b) {
    int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    switch (ra) {
        case 0: return 0;
        case 1: {
            if (isExactInteger(a) && isExactInteger(b)) {
                auto x = integer(a), y = integer(b);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
            double x = number(a), y = number(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        case 2: {
            int c = std::get<std::string>(a).compare(std::get<std::string>(b));
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        default: {
            const auto& x = std::get<Bytes>(a);
            const auto& y = std::get<Bytes>(b);
            if (x < y) return -1;
            return x == y ? 0 : 1;
        }
    }
}

bool valuesEqual(const Value& a, const Value& b) { return compareValues(a, b) == 0; }

}  // namespace tallowmere::graph
