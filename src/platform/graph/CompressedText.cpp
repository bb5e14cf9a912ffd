#include "platform/graph/CompressedText.h"

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

namespace tallowmere::graph {

namespace {

constexpr std::uint8_t kMarker = 0x01;  // raw deflate; other values are left for later forms
constexpr std::uint8_t kDictionaryMarker = 0x02;  // raw deflate with a preset dictionary
constexpr std::size_t kChecksumSize = 4;
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

void appendChecksum(Bytes& out, std::uint32_t checksum) {
    for (std::size_t i = 0; i < kChecksumSize; ++i) out.push_back(static_cast<std::uint8_t>(checksum >> (8 * i)));
}

std::optional<std::uint32_t> readChecksum(std::span<const std::uint8_t> bytes, std::size_t& at) {
    if (bytes.size() - at < kChecksumSize) return std::nullopt;
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < kChecksumSize; ++i) checksum |= static_cast<std::uint32_t>(bytes[at++]) << (8 * i);
    return checksum;
}

std::uint32_t checksumOf(std::string_view dictionary) {
    uLong sum = adler32(0L, Z_NULL, 0);
    // In pieces: a uInt cannot hold every length.
    for (std::size_t at = 0; at < dictionary.size(); at += UINT_MAX / 2) {
        const std::size_t piece = std::min<std::size_t>(dictionary.size() - at, UINT_MAX / 2);
        sum = adler32(sum, reinterpret_cast<const Bytef*>(dictionary.data() + at), static_cast<uInt>(piece));
    }
    return static_cast<std::uint32_t>(sum);
}

// A preset dictionary only ever reaches back one window: its tail is all
// that counts, and all that may be handed to zlib's 32-bit sizes.
std::string_view windowOf(std::string_view dictionary) {
    constexpr std::size_t window = 32 * 1024;
    return dictionary.size() > window ? dictionary.substr(dictionary.size() - window) : dictionary;
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

std::span<const std::uint8_t> blobOf(sqlite3_value* value) {
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_value_blob(value));
    return {bytes, bytes ? static_cast<std::size_t>(sqlite3_value_bytes(value)) : 0};
}

// The dictionary argument's text: absent when NULL or damaged.
std::optional<std::string> dictionaryArgument(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL: return std::nullopt;
        case SQLITE_BLOB: {
            auto text = CompressedText::decode(blobOf(value));
            return text ? std::optional(std::move(text.value())) : std::nullopt;
        }
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            return std::string(text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
        }
    }
}

void sqlStoredText(sqlite3_context* context, int count, sqlite3_value** arguments) {
    sqlite3_value* value = arguments[0];
    if (sqlite3_value_type(value) != SQLITE_BLOB) {
        sqlite3_result_value(context, value);
        return;
    }
    const std::optional<std::string> dictionary = count > 1 ? dictionaryArgument(arguments[1]) : std::nullopt;
    auto text = CompressedText::decode(blobOf(value), dictionary ? std::optional<std::string_view>(*dictionary)
                                                                 : std::nullopt);
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_text64(context, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

}  // namespace

bool CompressedText::registerWith(sqlite3* db) {
    for (int arguments : {1, 2})
        if (sqlite3_create_function(db, "stored_text", arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    sqlStoredText, nullptr, nullptr) != SQLITE_OK)
            return false;
    return true;
}

std::optional<Bytes> CompressedText::encode(std::string_view text, std::string_view dictionary) {
    if (text.size() < minimumLength || text.size() > UINT_MAX / 2) return std::nullopt;
    thread_local Deflater deflater;
    if (!deflater.ready || deflateReset(&deflater.stream) != Z_OK) return std::nullopt;
    z_stream& stream = deflater.stream;
    const std::string_view window = windowOf(dictionary);
    if (!window.empty() && deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(window.data()),
                                                static_cast<uInt>(window.size())) != Z_OK)
        return std::nullopt;
    Bytes out{dictionary.empty() ? kMarker : kDictionaryMarker};
    appendLength(out, text.size());
    if (!dictionary.empty()) appendChecksum(out, checksumOf(dictionary));
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

Result<std::string> CompressedText::decode(std::span<const std::uint8_t> stored,
                                           std::optional<std::string_view> dictionary) {
    if (stored.empty() || (stored[0] != kMarker && stored[0] != kDictionaryMarker)) return damaged("unknown form");
    const bool needsDictionary = stored[0] == kDictionaryMarker;
    std::size_t at = 1;
    const auto length = readLength(stored, at);
    if (!length) return damaged("no length");
    if (needsDictionary) {
        const auto checksum = readChecksum(stored, at);
        if (!checksum) return damaged("no dictionary checksum");
        if (!dictionary || dictionary->empty() || *checksum != checksumOf(*dictionary))
            return damaged("compressed against another text");
    }
    // Deflate never expands more than about a thousand times: a larger
    // length is damage, and must not be allocated.
    const std::uint64_t streamSize = stored.size() - at;
    if (*length > largestText || streamSize > UINT_MAX || *length > streamSize * kLargestExpansion + minimumLength)
        return damaged("length out of range");
    thread_local Inflater inflater;
    if (!inflater.ready || inflateReset(&inflater.stream) != Z_OK) return damaged("no inflater");
    z_stream& stream = inflater.stream;
    if (needsDictionary) {
        const std::string_view window = windowOf(*dictionary);
        if (inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(window.data()), static_cast<uInt>(window.size())) !=
            Z_OK)
            return damaged("dictionary refused");
    }
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
