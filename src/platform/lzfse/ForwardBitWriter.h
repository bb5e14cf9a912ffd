#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/lzfse/Format.h"

namespace tallowmere::lzfse {

// Appends values least significant bit first, packing bytes from bit 0 up:
// the order the backward reader takes apart from the other end.
class ForwardBitWriter {
public:
    explicit ForwardBitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // value < 2^count, count <= 32.
    void write(std::uint64_t value, unsigned count) {
        window_ |= value << used_;
        used_ += count;
        if (used_ >= 32) flushWords();
    }

    // Pads the last byte with zero bits; returns minus the number of padding
    // bits (-7..0), the `bits` field of the payload.
    int finish() {
        const int padding = static_cast<int>((8 - used_ % 8) % 8);
        while (used_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(window_));
            window_ >>= 8;
            used_ = used_ >= 8 ? used_ - 8 : 0;
        }
        return -padding;
    }

private:
    void flushWords() {
        const std::size_t at = out_.size();
        out_.resize(at + 4);
        store32(out_.data() + at, static_cast<std::uint32_t>(window_));
        window_ >>= 32;
        used_ -= 32;
    }

    std::vector<std::uint8_t>& out_;
    std::uint64_t window_ = 0;
    unsigned used_ = 0;
};

}  // namespace tallowmere::lzfse
