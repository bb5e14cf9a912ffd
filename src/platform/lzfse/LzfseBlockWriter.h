#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallowmere::lzfse {

// Gathers (literals, match length, distance) sequences into LZFSE blocks and
// appends each finished block to the output. Values too large for one triple
// are split; a block is written when it has no room for the next triple. A
// block that would come out larger than its bytes stored raw is written raw.
class LzfseBlockWriter {
public:
    explicit LzfseBlockWriter(std::vector<std::uint8_t>& out);

    // Sequences are added in input order and each one's literals follow the
    // previous one's match in the input. `literalCount` bytes from `literals`, then `matchLength` bytes copied
    // from `distance` back (distance unused when matchLength is 0).
    void add(const std::uint8_t* literals, std::size_t literalCount, std::size_t matchLength,
             std::uint32_t distance);
    // Writes what is gathered, if anything.
    void flush();

private:
    struct Triple {
        std::uint32_t l;
        std::uint32_t m;
        std::uint32_t d;  // 0 for a literal run with no match
    };

    void push(const std::uint8_t* literals, std::uint32_t l, std::uint32_t m, std::uint32_t d);
    void writeCompressed();
    void writeRaw();

    std::vector<std::uint8_t>& out_;
    std::vector<std::uint8_t> literals_;
    std::vector<Triple> triples_;
    // The block's decoded bytes are one stretch of the input; kept for the raw fallback.
    const std::uint8_t* blockBegin_ = nullptr;
    std::size_t rawBytes_ = 0;
};

}  // namespace tallowmere::lzfse
