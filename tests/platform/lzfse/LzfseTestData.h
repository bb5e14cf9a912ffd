#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/lzfse/Format.h"
#include "platform/lzfse/LzfseBlockHeader.h"
#include "support/TempDir.h"

namespace tallowmere::lzfse::testdata {

inline std::vector<std::uint8_t> fixture(const std::string& name) {
    const std::string bytes = tallowmere::test::readFixture("lzfse/" + name);
    return {bytes.begin(), bytes.end()};
}

// Deterministic bytes: xorshift64*.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed | 1) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(next() % bound); }
    std::vector<std::uint8_t> bytes(std::size_t count) {
        std::vector<std::uint8_t> out(count);
        for (auto& b : out) b = static_cast<std::uint8_t>(next() >> 56);
        return out;
    }

private:
    std::uint64_t state_;
};

// English-like prose of `count` bytes, cut from the text vector and repeated
// with variations so that it has matches at every distance range.
inline std::vector<std::uint8_t> prose(std::size_t count, std::uint64_t seed = 7) {
    const std::vector<std::uint8_t> text = fixture("text-300k.bin");
    Random random(seed);
    std::vector<std::uint8_t> out;
    out.reserve(count);
    while (out.size() < count) {
        const std::size_t start = random.below(text.size() - 1);
        const std::size_t length = std::min({count - out.size(), text.size() - start, 1 + random.below(4000)});
        out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(start),
                   text.begin() + static_cast<std::ptrdiff_t>(start + length));
    }
    return out;
}

// The magics of the blocks of a well-formed stream, in order, as text ("bvx-" ...).
inline std::vector<std::string> blockKinds(const std::vector<std::uint8_t>& stream) {
    std::vector<std::string> kinds;
    std::size_t pos = 0;
    while (pos + 4 <= stream.size()) {
        const std::uint32_t magic = load32(stream.data() + pos);
        kinds.emplace_back(reinterpret_cast<const char*>(stream.data() + pos), 4);
        if (magic == kEndOfStreamMagic) break;
        if (magic == kRawMagic) {
            pos += kRawHeaderSize + load32(stream.data() + pos + 4);
        } else if (magic == kLzvnMagic) {
            pos += kLzvnHeaderSize + load32(stream.data() + pos + 8);
        } else {
            LzfseBlockHeader header;
            LzfseBlockHeader::parse(std::span(stream).subspan(pos), true, header);
            pos += header.blockSize();
        }
    }
    return kinds;
}

}  // namespace tallowmere::lzfse::testdata
