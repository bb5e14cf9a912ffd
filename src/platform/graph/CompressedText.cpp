#include "platform/graph/CompressedText.h"

#include <sqlite3.h>
#include <zlib.h>

#include <climits>

namespace tallowmere::graph {

namespace {

constexpr std::uint8_t kMarker = 0x01;  // raw deflate; other values are left for later forms
constexpr int kRawDeflate = -15;  // window bits: no zlib header or checksum
constexpr int kLevel = 6;
constexpr std::uint64_t kLargestExpansion = 1032;

GraphError damaged(const std::string& why) { return GraphError{GraphErrorCode::sqliteFailed, "stored text damaged: " + why}; }

void appendLength(Bytes& out, std::uint64_t length) {
    for (; length >= 0x80; length >>= 7) out.push_back(static_cast<std::uint8_t>((length & 0x7F) | 0x80));
    out.push_back(static_cast<std::uint8_t>(length));
}

std::optional<std::uint64_t> readLength(std::span<const std::uint8_t> bytes, std::size_t& at) {
    std::uint64_t length = 0;
    for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        const std::uint8_t byte = bytes[at++];
        length |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return length;
    }
    return std::nullopt;
}

// Each thread keeps its streams: setting one up takes about 300 KB, which
// would otherwise be taken and given back for every text.
struct Deflater {
    z_stream stream{};
    bool ready = deflateInit2(&stream, kLevel, Z_DEFLATED, kRawDeflate, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    ~Deflater() {
        if (ready) deflateEnd(&stream);
    }
};

struct Inflater {
    z_stream stream{};
    bool ready = inflateInit2(&stream, kRawDeflate) == Z_OK;
    ~Inflater() {
        if (ready) inflateEnd(&stream);
    }
};

void sqlStoredText(sqlite3_context* context, int, sqlite3_value** arguments) {
    sqlite3_value* value = arguments[0];
    if (sqlite3_value_type(value) != SQLITE_BLOB) {
        sqlite3_result_value(context, value);
        return;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_value_blob(value));
    auto text = CompressedText::decode({bytes, static_cast<std::size_t>(sqlite3_value_bytes(value))});
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_text64(context, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

}  // namespace

bool CompressedText::registerWith(sqlite3* db) {
    return sqlite3_create_function(db, "stored_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, sqlStoredText,
                                   nullptr, nullptr) == SQLITE_OK;
}

std::optional<Bytes> CompressedText::encode(std::string_view text) {
    if (text.size() < minimumLength || text.size() > UINT_MAX / 2) return std::nullopt;
    thread_local Deflater deflater;
    if (!deflater.ready || deflateReset(&deflater.stream) != Z_OK) return std::nullopt;
    z_stream& stream = deflater.stream;
    Bytes out{kMarker};
    appendLength(out, text.size());
    const std::size_t header = out.size();
    out.resize(header + deflateBound(&stream, static_cast<uLong>(text.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = out.data() + header;
    stream.avail_out = static_cast<uInt>(out.size() - header);
    const int status = deflate(&stream, Z_FINISH);
    const std::size_t written = header + stream.total_out;
    if (status != Z_STREAM_END || written >= text.size()) return std::nullopt;
    out.resize(written);
    return out;
}

Result<std::string> CompressedText::decode(std::span<const std::uint8_t> stored) {
    if (stored.empty() || stored[0] != kMarker) return damaged("unknown form");
    std::size_t at = 1;
    const auto length = readLength(stored, at);
    if (!length) return damaged("no length");
    // Deflate never expands more than about a thousand times: a larger
    // length is damage, and must not be allocated.
    const std::uint64_t streamSize = stored.size() - at;
    if (*length > largestText || streamSize > UINT_MAX || *length > streamSize * kLargestExpansion + minimumLength)
        return damaged("length out of range");
    thread_local Inflater inflater;
    if (!inflater.ready || inflateReset(&inflater.stream) != Z_OK) return damaged("no inflater");
    z_stream& stream = inflater.stream;
    std::string text(static_cast<std::size_t>(*length), '\0');
    stream.next_in = const_cast<Bytef*>(stored.data() + at);
    stream.avail_in = static_cast<uInt>(stored.size() - at);
    stream.next_out = reinterpret_cast<Bytef*>(text.data());
    stream.avail_out = static_cast<uInt>(text.size());
    const int status = inflate(&stream, Z_FINISH);
    if (status != Z_STREAM_END || stream.total_out != text.size() || stream.avail_in != 0)
        return damaged("stream does not match its length");
    return text;
}

}  // namespace tallowmere::graph
