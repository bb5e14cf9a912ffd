#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/lzfse/Format.h"

namespace tallowmere::lzfse {

// Reads an entropy-coded payload from its last bit towards its first, the
// reverse of the order in which the encoder wrote it. The window is topped up
// whole bytes at a time; once the payload's bytes are used up it is topped up
// with zero bits that must never be consumed, which overrun() reports. So a
// reader may look ahead below the payload's start without reading memory
// outside it, and a stream that really uses those bits is still caught.
class BackwardBitReader {
public:
    // `bits` is minus the number of unused high bits in the last byte (-7..0).
    // False when that field is out of range, the unused bits are not zero, or
    // an empty payload claims a partial byte.
    bool init(const std::uint8_t* begin, const std::uint8_t* end, int bits) {
        if (bits > 0 || bits < -7) return false;
        if (begin == end && bits != 0) return false;
        begin_ = begin;
        cur_ = end;
        window_ = 0;
        avail_ = 0;
        fake_ = 0;
        refill();
        return read(static_cast<unsigned>(-bits)) == 0;
    }

    // Afterwards at least 56 bits can be read.
    void refill() {
        const int bytes = (63 - avail_) >> 3;
        if (bytes == 0) return;
        if (cur_ - begin_ >= 8) {
            const unsigned shift = 8u * static_cast<unsigned>(bytes);
            window_ = (window_ << shift) | (load64(cur_ - 8) >> (64 - shift));
            cur_ -= bytes;
        } else {
            for (int i = 0; i < bytes; ++i) {
                window_ <<= 8;
                if (cur_ > begin_) {
                    window_ |= *--cur_;
                } else {
                    fake_ += 8;
                }
            }
        }
        avail_ += 8 * bytes;
    }

    // At most 56 bits since the last refill in total.
    std::uint64_t read(unsigned count) {
        avail_ -= static_cast<int>(count);
        return lowBits(window_ >> avail_, count);
    }

    // True once a bit below the start of the payload was consumed.
    bool overrun() const { return avail_ < fake_; }

private:
    const std::uint8_t* begin_ = nullptr;
    const std::uint8_t* cur_ = nullptr;
    std::uint64_t window_ = 0;
    int avail_ = 0;
    int fake_ = 0;
};

}  // namespace tallowmere::lzfse
