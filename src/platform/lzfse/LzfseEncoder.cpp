#include "platform/lzfse/LzfseEncoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "platform/lzfse/Format.h"
#include "platform/lzfse/LzfseBlockWriter.h"
#include "platform/lzfse/LzvnEncoder.h"

namespace tallowmere::lzfse {

namespace {

// Matches are searched within one chunk, so positions fit the 32-bit table.
constexpr std::size_t kChunkBytes = std::size_t{1} << 30;
constexpr unsigned kHashBits = 14;
constexpr std::size_t kWays = 4;
constexpr std::size_t kMinMatch = 4;
// A match this long is taken without looking one byte further.
constexpr std::size_t kGoodMatch = 64;
// Inside a match, this many positions at either end go into the hash table.
constexpr std::size_t kInsertEdge = 16;
// Searches stop this far before the end, so 8-byte loads stay inside.
constexpr std::size_t kTailBytes = 8;

struct Match {
    std::size_t length = 0;
    std::size_t source = 0;
};

class MatchFinder {
public:
    MatchFinder(const std::uint8_t* base, std::size_t size)
        : base_(base), size_(size), table_((std::size_t{1} << kHashBits) * kWays, 0) {}

    // The longest earlier match at `pos` (also trying `repeat` back), then
    // remembers `pos`.
    Match find(std::size_t pos, std::size_t repeat) {
        const std::uint32_t head = load32(base_ + pos);
        std::uint32_t* bucket = &table_[hashOf(head) * kWays];
        Match best;
        if (repeat > 0 && repeat <= pos) consider(pos, pos - repeat, head, best);
        for (std::size_t i = 0; i < kWays; ++i) consider(pos, bucket[i], head, best);
        remember(bucket, pos);
        return best;
    }

    void insert(std::size_t pos) { remember(&table_[hashOf(load32(base_ + pos)) * kWays], pos); }

private:
    static std::uint32_t hashOf(std::uint32_t head) { return (head * 2654435761u) >> (32 - kHashBits); }

    static void remember(std::uint32_t* bucket, std::size_t pos) {
        for (std::size_t i = kWays - 1; i > 0; --i) bucket[i] = bucket[i - 1];
        bucket[0] = static_cast<std::uint32_t>(pos);
    }

    void consider(std::size_t pos, std::size_t source, std::uint32_t head, Match& best) const {
        if (source >= pos || pos - source > kMaxD || load32(base_ + source) != head) return;
        const std::size_t length = kMinMatch + extend(source + kMinMatch, pos + kMinMatch);
        if (length > best.length) best = {length, source};
    }

    std::size_t extend(std::size_t a, std::size_t b) const {
        std::size_t length = 0;
        while (b + length + 8 <= size_) {
            const std::uint64_t diff = load64(base_ + a + length) ^ load64(base_ + b + length);
            if (diff != 0) return length + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
            length += 8;
        }
        while (b + length < size_ && base_[a + length] == base_[b + length]) ++length;
        return length;
    }

    const std::uint8_t* base_;
    std::size_t size_;
    std::vector<std::uint32_t> table_;
};

void compressChunk(std::span<const std::uint8_t> chunk, LzfseBlockWriter& writer) {
    const std::uint8_t* const base = chunk.data();
    const std::size_t n = chunk.size();
    MatchFinder finder(base, n);
    const std::size_t limit = n > kTailBytes ? n - kTailBytes : 0;
    std::size_t pos = 0;
    std::size_t anchor = 0;
    std::size_t previousDistance = 0;
    while (pos < limit) {
        Match match = finder.find(pos, previousDistance);
        if (match.length < kMinMatch) {
            // Through incompressible stretches, look less often the longer nothing is found.
            pos += 1 + ((pos - anchor) >> 8);
            continue;
        }
        // One byte further may start a longer match; then take that one instead.
        while (match.length < kGoodMatch && pos + 1 < limit) {
            const Match next = finder.find(pos + 1, previousDistance);
            if (next.length <= match.length) break;
            match = next;
            ++pos;
        }
        std::size_t source = match.source;
        while (pos > anchor && source > 0 && base[pos - 1] == base[source - 1]) {
            --pos;
            --source;
            ++match.length;
        }
        const std::size_t distance = pos - source;
        writer.add(base + anchor, pos - anchor, match.length, static_cast<std::uint32_t>(distance));
        previousDistance = distance;
        const std::size_t end = pos + match.length;
        // Positions inside a long match rarely start a better one; remember
        // only those near its ends, which keeps long runs cheap.
        const std::size_t stop = std::min(end, limit);
        for (std::size_t k = pos + 2; k < stop; ++k) {
            if (k == pos + kInsertEdge && stop > k + kInsertEdge) k = stop - kInsertEdge;
            finder.insert(k);
        }
        pos = end;
        anchor = end;
    }
    writer.add(base + anchor, n - anchor, 0, 0);
}

void appendRaw(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
    const std::size_t at = out.size();
    out.resize(at + kRawHeaderSize);
    store32(out.data() + at, kRawMagic);
    store32(out.data() + at + 4, static_cast<std::uint32_t>(in.size()));
    out.insert(out.end(), in.begin(), in.end());
}

void appendLzvnOrRaw(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
    const std::vector<std::uint8_t> payload = LzvnEncoder::encode(in);
    if (payload.size() + kLzvnHeaderSize >= in.size() + kRawHeaderSize) {
        appendRaw(in, out);
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + kLzvnHeaderSize);
    store32(out.data() + at, kLzvnMagic);
    store32(out.data() + at + 4, static_cast<std::uint32_t>(in.size()));
    store32(out.data() + at + 8, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

}  // namespace

std::vector<std::uint8_t> LzfseEncoder::encode(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    out.reserve(in.size() / 2 + 64);
    if (in.size() < kMinCompressible) {
        appendRaw(in, out);
    } else if (in.size() < kLzvnThreshold) {
        appendLzvnOrRaw(in, out);
    } else {
        LzfseBlockWriter writer(out);
        for (std::size_t at = 0; at < in.size(); at += kChunkBytes) {
            compressChunk(in.subspan(at, std::min(kChunkBytes, in.size() - at)), writer);
            writer.flush();
        }
    }
    const std::size_t at = out.size();
    out.resize(at + 4);
    store32(out.data() + at, kEndOfStreamMagic);
    return out;
}

}  // namespace tallowmere::lzfse
