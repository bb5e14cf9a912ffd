#include "platform/cloud/FieldCodec.h"

#include <cstring>
#include <type_traits>

namespace tallowmere::cloud {
namespace {

enum Kind : std::uint8_t { text = 1, integer = 2, real = 3, boolean = 4, date = 5, texts = 6, integers = 7, asset = 8 };

class Writer {
public:
    void byte(std::uint8_t value) { out.push_back(static_cast<char>(value)); }
    template <typename T>
    void raw(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto at = out.size();
        out.resize(at + sizeof(T));
        std::memcpy(out.data() + at, &value, sizeof(T));
    }
    void string(const std::string& value) {
        raw(static_cast<std::uint32_t>(value.size()));
        out.append(value);
    }
    std::string out;
};

class Reader {
public:
    Reader(const char* data, std::size_t size) : data_(data), left_(size) {}
    bool byte(std::uint8_t& value) { return raw(value); }
    template <typename T>
    bool raw(T& value) {
        if (left_ < sizeof(T)) return false;
        std::memcpy(&value, data_, sizeof(T));
        advance(sizeof(T));
        return true;
    }
    bool string(std::string& value) {
        std::uint32_t size = 0;
        if (!raw(size) || left_ < size) return false;
        value.assign(data_, size);
        advance(size);
        return true;
    }
    bool integers(std::vector<std::int64_t>& values) {
        std::uint32_t count = 0;
        if (!raw(count) || left_ / sizeof(std::int64_t) < count) return false;
        values.resize(count);
        if (count) std::memcpy(values.data(), data_, count * sizeof(std::int64_t));
        advance(count * sizeof(std::int64_t));
        return true;
    }
    bool atEnd() const { return left_ == 0; }

private:
    void advance(std::size_t n) {
        data_ += n;
        left_ -= n;
    }
    const char* data_;
    std::size_t left_;
};

void encodeValue(Writer& w, const FieldValue& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                w.byte(text);
                w.string(v);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                w.byte(integer);
                w.raw(v);
            } else if constexpr (std::is_same_v<T, double>) {
                w.byte(real);
                w.raw(v);
            } else if constexpr (std::is_same_v<T, bool>) {
                w.byte(boolean);
                w.byte(v ? 1 : 0);
            } else if constexpr (std::is_same_v<T, Date>) {
                w.byte(date);
                w.raw(FieldCodec::microseconds(v));
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                w.byte(texts);
                w.raw(static_cast<std::uint32_t>(v.size()));
                for (const auto& item : v) w.string(item);
            } else if constexpr (std::is_same_v<T, std::vector<std::int64_t>>) {
                w.byte(integers);
                w.raw(static_cast<std::uint32_t>(v.size()));
                const auto at = w.out.size();
                w.out.resize(at + v.size() * sizeof(std::int64_t));
                if (!v.empty()) std::memcpy(w.out.data() + at, v.data(), v.size() * sizeof(std::int64_t));
            } else if constexpr (std::is_same_v<T, Asset>) {
                w.byte(asset);
                w.string(v.fileURL.string());
            }
        },
        value);
}

std::optional<FieldValue> decodeValue(Reader& r) {
    std::uint8_t kind = 0;
    if (!r.byte(kind)) return std::nullopt;
    switch (kind) {
        case text: {
            std::string v;
            if (r.string(v)) return FieldValue(std::move(v));
            break;
        }
        case integer: {
            std::int64_t v = 0;
            if (r.raw(v)) return FieldValue(v);
            break;
        }
        case real: {
            double v = 0;
            if (r.raw(v)) return FieldValue(v);
            break;
        }
        case boolean: {
            std::uint8_t v = 0;
            if (r.byte(v)) return FieldValue(v != 0);
            break;
        }
        case date: {
            std::int64_t v = 0;
            if (r.raw(v)) return FieldValue(FieldCodec::date(v));
            break;
        }
        case texts: {
            std::uint32_t count = 0;
            if (!r.raw(count)) break;
            std::vector<std::string> v;
            for (std::uint32_t i = 0; i < count; ++i) {
                std::string item;
                if (!r.string(item)) return std::nullopt;
                v.push_back(std::move(item));
            }
            return FieldValue(std::move(v));
        }
        case integers: {
            std::vector<std::int64_t> v;
            if (r.integers(v)) return FieldValue(std::move(v));
            break;
        }
        case asset: {
            std::string v;
            if (r.string(v)) return FieldValue(Asset{v});
            break;
        }
        default: break;
    }
    return std::nullopt;
}

}  // namespace

std::string FieldCodec::encode(const std::map<std::string, FieldValue>& fields) {
    Writer w;
    w.raw(static_cast<std::uint32_t>(fields.size()));
    for (const auto& [key, value] : fields) {
        w.string(key);
        encodeValue(w, value);
    }
    return std::move(w.out);
}

std::optional<std::map<std::string, FieldValue>> FieldCodec::decode(const void* bytes, std::size_t size) {
    Reader r(static_cast<const char*>(bytes), size);
    std::uint32_t count = 0;
    if (size == 0) return std::map<std::string, FieldValue>();
    if (!r.raw(count)) return std::nullopt;
    std::map<std::string, FieldValue> fields;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string key;
        if (!r.string(key)) return std::nullopt;
        auto value = decodeValue(r);
        if (!value) return std::nullopt;
        fields.emplace(std::move(key), std::move(*value));
    }
    if (!r.atEnd()) return std::nullopt;
    return fields;
}

std::int64_t FieldCodec::microseconds(Date date) {
    return std::chrono::duration_cast<std::chrono::microseconds>(date.time_since_epoch()).count();
}

Date FieldCodec::date(std::int64_t microseconds) {
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::microseconds(microseconds)));
}

}  // namespace tallowmere::cloud
