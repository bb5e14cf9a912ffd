#include "platform/lzfse/LzvnDecoder.h"

#include <array>
#include <cstring>

#include "platform/lzfse/Format.h"

namespace tallowmere::lzfse {

namespace {

enum class Op : std::uint8_t { smallDistance, mediumDistance, largeDistance, previousDistance, smallMatch,
                               largeMatch, smallLiteral, largeLiteral, nop, end, undefined };

constexpr Op classify(unsigned op) {
    if (op == 0xE0) return Op::largeLiteral;
    if (op > 0xE0 && op <= 0xEF) return Op::smallLiteral;
    if (op == 0xF0) return Op::largeMatch;
    if (op > 0xF0) return Op::smallMatch;
    if (op >= 0xA0 && op <= 0xBF) return Op::mediumDistance;
    if ((op >= 0x70 && op <= 0x7F) || (op >= 0xD0 && op <= 0xDF)) return Op::undefined;
    switch (op & 7) {
        case 7:
            return Op::largeDistance;
        case 6:
            if (op >= 0x40) return Op::previousDistance;
            if (op == 0x06) return Op::end;
            if (op == 0x0E || op == 0x16) return Op::nop;
            return Op::undefined;
        default:
            return Op::smallDistance;
    }
}

constexpr std::array<Op, 256> makeOpTable() {
    std::array<Op, 256> table{};
    for (unsigned op = 0; op < 256; ++op) table[op] = classify(op);
    return table;
}

constexpr std::array<Op, 256> kOps = makeOpTable();
constexpr std::size_t kEndInstructionBytes = 8;

}  // namespace

bool LzvnDecoder::decode(std::span<const std::uint8_t> payload, std::uint8_t* out, std::size_t outPos,
                         std::size_t outEnd) {
    const std::uint8_t* p = payload.data();
    const std::uint8_t* const end = p + payload.size();
    std::size_t distance = 0;  // unset until the block names one
    std::size_t pos = outPos;
    for (;;) {
        if (p >= end) return false;
        const unsigned op = *p;
        const std::size_t remaining = static_cast<std::size_t>(end - p);
        std::size_t length = 1;  // opcode and operand bytes
        std::size_t literals = 0;
        std::size_t match = 0;
        switch (kOps[op]) {
            case Op::end:
                return remaining == kEndInstructionBytes && pos == outEnd;
            case Op::nop:
                ++p;
                continue;
            case Op::undefined:
                return false;
            case Op::smallDistance:
                if (remaining < 2) return false;
                length = 2;
                literals = op >> 6;
                match = ((op >> 3) & 7) + 3;
                distance = ((op & 7u) << 8) | p[1];
                break;
            case Op::mediumDistance: {
                if (remaining < 3) return false;
                length = 3;
                const unsigned word = p[1] | (p[2] << 8);
                literals = (op >> 3) & 3;
                match = (((op & 7u) << 2) | (word & 3)) + 3;
                distance = word >> 2;
                break;
            }
            case Op::largeDistance:
                if (remaining < 3) return false;
                length = 3;
                literals = op >> 6;
                match = ((op >> 3) & 7) + 3;
                distance = p[1] | (p[2] << 8);
                break;
            case Op::previousDistance:
                literals = op >> 6;
                match = ((op >> 3) & 7) + 3;
                break;
            case Op::smallMatch:
                match = op & 15;
                break;
            case Op::largeMatch:
                if (remaining < 2) return false;
                length = 2;
                match = p[1] + 16u;
                break;
            case Op::smallLiteral:
                literals = op & 15;
                break;
            case Op::largeLiteral:
                if (remaining < 2) return false;
                length = 2;
                literals = p[1] + 16u;
                break;
        }
        // Every instruction is followed at least by the end instruction.
        if (length + literals + kEndInstructionBytes > remaining) return false;
        if (literals + match > outEnd - pos) return false;
        std::memcpy(out + pos, p + length, literals);
        pos += literals;
        p += length + literals;
        if (match > 0) {
            if (distance == 0 || distance > pos) return false;
            copyMatch(out + pos, distance, match);
            pos += match;
        }
    }
}

}  // namespace tallowmere::lzfse
