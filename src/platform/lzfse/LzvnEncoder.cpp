#include "platform/lzfse/LzvnEncoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "platform/lzfse/Format.h"

namespace tallowmere::lzfse {

namespace {

constexpr std::size_t kMinMatch = 3;
constexpr unsigned kHashBits = 12;
constexpr std::size_t kSmallDistanceLimit = 1536;
constexpr std::size_t kMediumDistanceLimit = 16384;

class Emitter {
public:
    explicit Emitter(std::vector<std::uint8_t>& out) : out_(out) {}

    void literals(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const std::size_t piece = std::min<std::size_t>(count, 271);
            if (piece >= 16) {
                out_.push_back(0xE0);
                out_.push_back(static_cast<std::uint8_t>(piece - 16));
            } else {
                out_.push_back(static_cast<std::uint8_t>(0xE0 | piece));
            }
            out_.insert(out_.end(), bytes, bytes + piece);
            bytes += piece;
            count -= piece;
        }
    }

    // Up to three literals ride along with the match's first instruction.
    void match(const std::uint8_t* lits, std::size_t litCount, std::size_t length, std::size_t distance) {
        if (litCount > 3) {
            literals(lits, litCount);
            lits += litCount;
            litCount = 0;
        }
        const unsigned ll = static_cast<unsigned>(litCount);
        const std::size_t room = 10 - 2 * ll;  // what the 3-bit length field allows beside ll literals
        std::size_t first = std::min(length, room);
        if (distance == previous_ && ll > 0) {
            out_.push_back(static_cast<std::uint8_t>((ll << 6) | ((first - 3) << 3) | 6));
        } else if (distance == previous_) {
            first = 0;  // carried by the match-only instructions below
        } else if (distance < kSmallDistanceLimit) {
            out_.push_back(static_cast<std::uint8_t>((ll << 6) | ((first - 3) << 3) | (distance >> 8)));
            out_.push_back(static_cast<std::uint8_t>(distance));
        } else if (distance < kMediumDistanceLimit && length <= 34 && length > room) {
            first = length;
            const unsigned m = static_cast<unsigned>(length - 3);
            const unsigned word = static_cast<unsigned>(distance << 2) | (m & 3);
            out_.push_back(static_cast<std::uint8_t>(0xA0 | (ll << 3) | (m >> 2)));
            out_.push_back(static_cast<std::uint8_t>(word));
            out_.push_back(static_cast<std::uint8_t>(word >> 8));
        } else {
            out_.push_back(static_cast<std::uint8_t>((ll << 6) | ((first - 3) << 3) | 7));
            out_.push_back(static_cast<std::uint8_t>(distance));
            out_.push_back(static_cast<std::uint8_t>(distance >> 8));
        }
        out_.insert(out_.end(), lits, lits + litCount);
        previous_ = distance;
        repeatMatch(length - first);
    }

    void end() {
        out_.push_back(0x06);
        out_.insert(out_.end(), 7, 0);
    }

private:
    void repeatMatch(std::size_t length) {
        while (length > 0) {
            const std::size_t piece = std::min<std::size_t>(length, 271);
            if (piece >= 16) {
                out_.push_back(0xF0);
                out_.push_back(static_cast<std::uint8_t>(piece - 16));
            } else {
                out_.push_back(static_cast<std::uint8_t>(0xF0 | piece));
            }
            length -= piece;
        }
    }

    std::vector<std::uint8_t>& out_;
    std::size_t previous_ = 0;
};

std::uint32_t hash3(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

struct Candidate {
    std::size_t length = 0;
    std::size_t distance = 0;
    long score = 0;  // bytes matched minus what the instruction costs
};

// Remembers the last few positions of every 3-byte hash and picks the match
// that saves the most bytes, the current distance being the cheapest to name.
class Finder {
public:
    explicit Finder(std::span<const std::uint8_t> in) : in_(in), table_((std::size_t{1} << kHashBits) * kWays, -1) {}

    Candidate best(std::size_t pos, std::size_t previous) {
        std::int32_t* bucket = &table_[hash3(in_.data() + pos) * kWays];
        Candidate best;
        if (previous > 0 && previous <= pos) consider(pos, previous, 1, best);
        for (std::size_t i = 0; i < kWays; ++i) {
            if (bucket[i] < 0) break;
            const std::size_t distance = pos - static_cast<std::size_t>(bucket[i]);
            if (distance > kMaxLzvnDistance) break;
            consider(pos, distance, distance < kSmallDistanceLimit ? 2 : 3, best);
        }
        for (std::size_t i = kWays - 1; i > 0; --i) bucket[i] = bucket[i - 1];
        bucket[0] = static_cast<std::int32_t>(pos);
        return best;
    }

    void insert(std::size_t pos) {
        std::int32_t* bucket = &table_[hash3(in_.data() + pos) * kWays];
        for (std::size_t i = kWays - 1; i > 0; --i) bucket[i] = bucket[i - 1];
        bucket[0] = static_cast<std::int32_t>(pos);
    }

private:
    static constexpr std::size_t kWays = 4;

    void consider(std::size_t pos, std::size_t distance, long cost, Candidate& best) const {
        const std::uint8_t* a = in_.data() + pos - distance;
        const std::uint8_t* b = in_.data() + pos;
        const std::size_t limit = in_.size() - pos;
        std::size_t length = 0;
        while (length < limit && a[length] == b[length]) ++length;
        const long score = static_cast<long>(length) - cost;
        if (length >= kMinMatch && score > best.score) best = {length, distance, score};
    }

    std::span<const std::uint8_t> in_;
    std::vector<std::int32_t> table_;
};

}  // namespace

std::vector<std::uint8_t> LzvnEncoder::encode(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    out.reserve(in.size() + in.size() / 16 + 16);
    Emitter emit(out);
    Finder finder(in);
    const std::size_t n = in.size();
    std::size_t anchor = 0;
    std::size_t pos = 0;
    std::size_t previous = 0;
    while (pos + kMinMatch <= n) {
        Candidate match = finder.best(pos, previous);
        if (match.length == 0) {
            ++pos;
            continue;
        }
        // A better match one byte on is worth a literal.
        while (pos + 1 + kMinMatch <= n) {
            const Candidate next = finder.best(pos + 1, previous);
            if (next.score <= match.score + 1) break;
            match = next;
            ++pos;
        }
        emit.match(in.data() + anchor, pos - anchor, match.length, match.distance);
        previous = match.distance;
        for (std::size_t k = pos + 2; k < pos + match.length && k + kMinMatch <= n; ++k) finder.insert(k);
        pos += match.length;
        anchor = pos;
    }
    emit.literals(in.data() + anchor, n - anchor);
    emit.end();
    return out;
}

}  // namespace tallowmere::lzfse
