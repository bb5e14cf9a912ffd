#include "platform/lzfse/LzvnEncoder.h"

#include <algorithm>
#include <array>
#include <cstddef>

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

}  // namespace

std::vector<std::uint8_t> LzvnEncoder::encode(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    out.reserve(in.size() + in.size() / 16 + 16);
    Emitter emit(out);
    const std::uint8_t* const base = in.data();
    const std::size_t n = in.size();
    std::array<std::int32_t, std::size_t{1} << kHashBits> table;
    table.fill(-1);
    std::size_t anchor = 0;
    std::size_t pos = 0;
    while (pos + kMinMatch <= n) {
        const std::uint32_t h = hash3(base + pos);
        const std::int32_t candidate = table[h];
        table[h] = static_cast<std::int32_t>(pos);
        std::size_t length = 0;
        if (candidate >= 0 && pos - static_cast<std::size_t>(candidate) <= kMaxLzvnDistance) {
            const std::uint8_t* a = base + candidate;
            while (pos + length < n && a[length] == base[pos + length]) ++length;
        }
        if (length < kMinMatch) {
            ++pos;
            continue;
        }
        const std::size_t distance = pos - static_cast<std::size_t>(candidate);
        emit.match(base + anchor, pos - anchor, length, distance);
        for (std::size_t k = pos + 1; k < pos + length && k + kMinMatch <= n; ++k) {
            table[hash3(base + k)] = static_cast<std::int32_t>(k);
        }
        pos += length;
        anchor = pos;
    }
    emit.literals(base + anchor, n - anchor);
    emit.end();
    return out;
}

}  // namespace tallowmere::lzfse
