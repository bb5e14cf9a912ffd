#include "platform/lzfse/LzfseDecoder.h"

#include <cstring>
#include <memory>

#include "platform/lzfse/BackwardBitReader.h"
#include "platform/lzfse/Format.h"
#include "platform/lzfse/FseTables.h"
#include "platform/lzfse/LzfseBlockHeader.h"
#include "platform/lzfse/LzvnDecoder.h"

namespace tallowmere::lzfse {

namespace {

struct BlockInfo {
    std::uint32_t magic = 0;
    std::size_t size = 0;
    std::uint64_t rawBytes = 0;
};

DecodeStatus readBlockInfo(std::span<const std::uint8_t> rest, BlockInfo& info) {
    if (rest.size() < 4) return DecodeStatus::truncated;
    info.magic = load32(rest.data());
    std::uint64_t size = 0;
    switch (info.magic) {
        case kEndOfStreamMagic:
            size = 4;
            info.rawBytes = 0;
            break;
        case kRawMagic:
            if (rest.size() < kRawHeaderSize) return DecodeStatus::truncated;
            info.rawBytes = load32(rest.data() + 4);
            size = kRawHeaderSize + info.rawBytes;
            break;
        case kLzvnMagic:
            if (rest.size() < kLzvnHeaderSize) return DecodeStatus::truncated;
            info.rawBytes = load32(rest.data() + 4);
            // With nothing to produce the end instruction is never reached.
            if (info.rawBytes == 0) return DecodeStatus::invalid;
            size = kLzvnHeaderSize + std::uint64_t{load32(rest.data() + 8)};
            break;
        case kV1Magic:
        case kV2Magic: {
            LzfseBlockHeader header;
            const DecodeStatus status = LzfseBlockHeader::parse(rest, true, header);
            if (status != DecodeStatus::complete) return status;
            info.rawBytes = header.nRawBytes;
            size = header.blockSize();
            break;
        }
        default:
            return DecodeStatus::invalid;
    }
    if (size > rest.size()) return DecodeStatus::truncated;
    info.size = static_cast<std::size_t>(size);
    return DecodeStatus::complete;
}

// Tables and literal buffer of one LZFSE block, reused from block to block.
struct LzfseScratch {
    LiteralEntry literalTable[kLiteralStates];
    ValueEntry lTable[kLStates];
    ValueEntry mTable[kMStates];
    ValueEntry dTable[kDStates];
    std::uint8_t literals[kMaxLiteralsPerBlock + kCopySlack];
};

struct OwnedStates {
    int literal, l, m, d;
};

bool buildTables(const LzfseBlockHeader& h, LzfseScratch& s, OwnedStates& owned) {
    owned.literal = FseTables::buildLiteralDecoder(h.literalFreq(), kLiteralStates, s.literalTable);
    owned.l = FseTables::buildValueDecoder(h.lFreq(), kLStates, kLExtraBits.data(), kLBase.data(), s.lTable);
    owned.m = FseTables::buildValueDecoder(h.mFreq(), kMStates, kMExtraBits.data(), kMBase.data(), s.mTable);
    owned.d = FseTables::buildValueDecoder(h.dFreq(), kDStates, kDExtraBits.data(), kDBase.data(), s.dTable);
    return owned.literal >= 0 && owned.l >= 0 && owned.m >= 0 && owned.d >= 0;
}

bool decodeLiterals(const LzfseBlockHeader& h, const std::uint8_t* payload, LzfseScratch& s, int owned) {
    BackwardBitReader reader;
    if (!reader.init(payload, payload + h.nLiteralPayloadBytes, h.literalBits)) return false;
    std::uint32_t q0 = h.literalState[0], q1 = h.literalState[1], q2 = h.literalState[2], q3 = h.literalState[3];
    const std::uint32_t limit = static_cast<std::uint32_t>(owned);
    // States matter only once a symbol is decoded: an empty stream may have no table at all.
    bool unowned = h.nLiterals > 0 && (q0 >= limit || q1 >= limit || q2 >= limit || q3 >= limit);
    const LiteralEntry* table = s.literalTable;
    std::uint8_t* lit = s.literals;
    for (std::uint32_t i = 0; i < h.nLiterals; i += 4) {
        reader.refill();
        const LiteralEntry e0 = table[q0];
        lit[i] = e0.symbol;
        q0 = e0.base + static_cast<std::uint32_t>(reader.read(e0.nbits));
        const LiteralEntry e1 = table[q1];
        lit[i + 1] = e1.symbol;
        q1 = e1.base + static_cast<std::uint32_t>(reader.read(e1.nbits));
        const LiteralEntry e2 = table[q2];
        lit[i + 2] = e2.symbol;
        q2 = e2.base + static_cast<std::uint32_t>(reader.read(e2.nbits));
        const LiteralEntry e3 = table[q3];
        lit[i + 3] = e3.symbol;
        q3 = e3.base + static_cast<std::uint32_t>(reader.read(e3.nbits));
        unowned |= (q0 >= limit) | (q1 >= limit) | (q2 >= limit) | (q3 >= limit);
    }
    return !unowned && !reader.overrun();
}

// One L, M or D value; the state moves on.
inline std::uint32_t decodeValue(const ValueEntry* table, std::uint32_t& state, BackwardBitReader& reader) {
    const ValueEntry e = table[state];
    const std::uint64_t bits = reader.read(e.totalBits);
    state = e.base + static_cast<std::uint32_t>(bits >> e.extraBits);
    return e.valueBase + static_cast<std::uint32_t>(lowBits(bits, e.extraBits));
}

bool decodeMatches(const LzfseBlockHeader& h, const std::uint8_t* payload, const LzfseScratch& s,
                   const OwnedStates& owned, std::uint8_t* out, std::size_t pos, std::size_t end) {
    BackwardBitReader reader;
    if (!reader.init(payload, payload + h.nLmdPayloadBytes, h.lmdBits)) return false;
    std::uint32_t ls = h.lState, ms = h.mState, ds = h.dState;
    bool unowned = h.nMatches > 0 && (ls >= std::uint32_t(owned.l) || ms >= std::uint32_t(owned.m) ||
                                      ds >= std::uint32_t(owned.d));
    const std::uint8_t* lit = s.literals;
    const std::uint8_t* const litEnd = s.literals + h.nLiterals;
    std::uint32_t previousDistance = 0;  // none yet in this block
    for (std::uint32_t n = 0; n < h.nMatches; ++n) {
        reader.refill();
        const std::uint32_t l = decodeValue(s.lTable, ls, reader);
        const std::uint32_t m = decodeValue(s.mTable, ms, reader);
        std::uint32_t d = decodeValue(s.dTable, ds, reader);
        unowned |= (ls >= std::uint32_t(owned.l)) | (ms >= std::uint32_t(owned.m)) |
                   (ds >= std::uint32_t(owned.d));
        if (d == 0) {
            if (previousDistance == 0) return false;
            d = previousDistance;
        } else {
            previousDistance = d;
        }
        if (l > static_cast<std::size_t>(litEnd - lit) || std::size_t{l} + m > end - pos) return false;
        copyWords(out + pos, lit, l);
        lit += l;
        pos += l;
        if (d > pos) return false;
        copyMatch(out + pos, d, m);
        pos += m;
    }
    return pos == end && !unowned && !reader.overrun();
}

// Matches may reach back to `streamStart` in `out`, not before.
DecodeStatus decodeLzfseBlock(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& out,
                              std::size_t streamStart, LzfseScratch& scratch) {
    LzfseBlockHeader h;
    const DecodeStatus parsed = LzfseBlockHeader::parse(block, false, h);
    if (parsed != DecodeStatus::complete) return parsed;
    // Literals come in groups of four, the padding included in the count.
    if (h.nLiterals > kMaxLiteralsPerBlock || h.nMatches > kMaxMatchesPerBlock || h.nLiterals % 4 != 0) {
        return DecodeStatus::invalid;
    }
    if (h.lState >= kLStates || h.mState >= kMStates || h.dState >= kDStates) return DecodeStatus::invalid;
    for (std::uint16_t q : h.literalState) {
        if (q >= kLiteralStates) return DecodeStatus::invalid;
    }
    OwnedStates owned{};
    if (!buildTables(h, scratch, owned)) return DecodeStatus::invalid;
    const std::uint8_t* literalPayload = block.data() + h.headerSize;
    if (!decodeLiterals(h, literalPayload, scratch, owned.literal)) return DecodeStatus::invalid;

    const std::size_t start = out.size();
    out.resize(start + h.nRawBytes + kCopySlack);
    const bool ok = decodeMatches(h, literalPayload + h.nLiteralPayloadBytes, scratch, owned,
                                  out.data() + streamStart, start - streamStart, start - streamStart + h.nRawBytes);
    out.resize(ok ? start + h.nRawBytes : start);
    return ok ? DecodeStatus::complete : DecodeStatus::invalid;
}

DecodeStatus decodeLzvnBlock(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& out,
                             std::size_t streamStart) {
    const std::uint32_t rawBytes = load32(block.data() + 4);
    const std::size_t start = out.size();
    out.resize(start + rawBytes + kCopySlack);
    const bool ok = LzvnDecoder::decode(block.subspan(kLzvnHeaderSize), out.data() + streamStart,
                                        start - streamStart, start - streamStart + rawBytes);
    out.resize(ok ? start + rawBytes : start);
    return ok ? DecodeStatus::complete : DecodeStatus::invalid;
}

DecodeStatus decodeBlock(std::span<const std::uint8_t> block, std::uint32_t magic, std::vector<std::uint8_t>& out,
                         std::size_t streamStart, std::unique_ptr<LzfseScratch>& scratch) {
    switch (magic) {
        case kRawMagic:
            out.insert(out.end(), block.begin() + kRawHeaderSize, block.end());
            return DecodeStatus::complete;
        case kLzvnMagic:
            return decodeLzvnBlock(block, out, streamStart);
        default:
            if (!scratch) scratch = std::make_unique<LzfseScratch>();
            return decodeLzfseBlock(block, out, streamStart, *scratch);
    }
}

}  // namespace

StreamScan LzfseDecoder::scan(std::span<const std::uint8_t> in, std::uint64_t maxOutput) {
    StreamScan result;
    std::size_t pos = 0;
    for (;;) {
        BlockInfo info;
        result.status = readBlockInfo(in.subspan(pos), info);
        if (result.status != DecodeStatus::complete) return result;
        pos += info.size;
        result.rawBytes += info.rawBytes;
        if (result.rawBytes > maxOutput) {
            result.status = DecodeStatus::tooLarge;
            return result;
        }
        if (info.magic == kEndOfStreamMagic) {
            result.streamBytes = pos;
            return result;
        }
    }
}

DecodeStatus LzfseDecoder::decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                                  std::uint64_t maxOutput) {
    const StreamScan walk = scan(in, maxOutput);
    if (walk.status != DecodeStatus::complete) return walk.status;
    const std::size_t start = out.size();
    out.reserve(start + walk.rawBytes + kCopySlack);
    std::unique_ptr<LzfseScratch> scratch;
    std::size_t pos = 0;
    for (;;) {
        BlockInfo info;
        // The scan has checked the framing; only the block contents can fail now.
        readBlockInfo(in.subspan(pos), info);
        if (info.magic == kEndOfStreamMagic) return DecodeStatus::complete;
        const DecodeStatus status = decodeBlock(in.subspan(pos, info.size), info.magic, out, start, scratch);
        if (status != DecodeStatus::complete) {
            out.resize(start);
            return status == DecodeStatus::truncated ? DecodeStatus::invalid : status;
        }
        pos += info.size;
    }
}

}  // namespace tallowmere::lzfse
