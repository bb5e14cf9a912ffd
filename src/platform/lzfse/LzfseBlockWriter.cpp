#include "platform/lzfse/LzfseBlockWriter.h"

#include <algorithm>
#include <array>
#include <bit>

#include "platform/lzfse/ForwardBitWriter.h"
#include "platform/lzfse/Format.h"
#include "platform/lzfse/FseTables.h"
#include "platform/lzfse/LzfseBlockHeader.h"

namespace tallowmere::lzfse {

namespace {

constexpr std::size_t kBlockTriples = kMaxMatchesPerBlock;
// Padded to a multiple of four this stays within the decoder's limit.
constexpr std::size_t kBlockLiterals = kMaxLiteralsPerBlock - 4;

struct Coded {
    std::uint32_t symbol;
    std::uint32_t extra;
    unsigned extraBits;
};

Coded codeL(std::uint32_t l) {
    if (l < 16) return {l, 0, 0};
    if (l < 20) return {16, l - 16, 2};
    if (l < 28) return {17, l - 20, 3};
    if (l < 60) return {18, l - 28, 5};
    return {19, l - 60, 8};
}

Coded codeM(std::uint32_t m) {
    if (m < 16) return {m, 0, 0};
    if (m < 24) return {16, m - 16, 3};
    if (m < 56) return {17, m - 24, 5};
    if (m < 312) return {18, m - 56, 8};
    return {19, m - 312, 11};
}

// Symbol 4g + j covers [4(2^g - 1) + j 2^g, +2^g): d + 4 has g + 3 significant bits.
Coded codeD(std::uint32_t d) {
    const std::uint32_t biased = d + 4;
    const unsigned group = static_cast<unsigned>(std::bit_width(biased)) - 3;
    const std::uint32_t j = (biased >> group) - 4;
    return {4 * group + j, biased & ((1u << group) - 1), group};
}

// Moves an encoder state by one symbol, writing its state bits.
inline void encodeSymbol(const EncodeEntry& e, std::uint32_t& state, ForwardBitWriter& writer) {
    if (state >= e.threshold) {
        writer.write(state & ((1u << e.bitsHigh) - 1), e.bitsHigh);
        state = static_cast<std::uint32_t>(e.deltaHigh + static_cast<std::int32_t>(state >> e.bitsHigh));
    } else {
        const unsigned bits = e.bitsHigh - 1u;
        writer.write(state & ((1u << bits) - 1), bits);
        state = static_cast<std::uint32_t>(e.deltaLow + static_cast<std::int32_t>(state >> bits));
    }
}

}  // namespace

LzfseBlockWriter::LzfseBlockWriter(std::vector<std::uint8_t>& out) : out_(out) {
    literals_.reserve(kMaxLiteralsPerBlock);
    triples_.reserve(kBlockTriples);
}

void LzfseBlockWriter::add(const std::uint8_t* literals, std::size_t literalCount, std::size_t matchLength,
                           std::uint32_t distance) {
    while (literalCount > kMaxL) {
        push(literals, kMaxL, 0, 0);
        literals += kMaxL;
        literalCount -= kMaxL;
    }
    if (matchLength == 0) {
        if (literalCount > 0) push(literals, static_cast<std::uint32_t>(literalCount), 0, 0);
        return;
    }
    while (matchLength > 0) {
        const std::size_t piece = std::min<std::size_t>(matchLength, kMaxM);
        push(literals, static_cast<std::uint32_t>(literalCount), static_cast<std::uint32_t>(piece), distance);
        // The next piece starts where this one's match ends in the input.
        literals += literalCount + piece;
        literalCount = 0;
        matchLength -= piece;
    }
}

void LzfseBlockWriter::push(const std::uint8_t* literals, std::uint32_t l, std::uint32_t m, std::uint32_t d) {
    if (triples_.size() >= kBlockTriples || literals_.size() + l > kBlockLiterals) flush();
    if (triples_.empty()) blockBegin_ = literals;
    literals_.insert(literals_.end(), literals, literals + l);
    triples_.push_back({l, m, d});
    rawBytes_ += std::size_t{l} + m;
}

void LzfseBlockWriter::flush() {
    if (triples_.empty()) return;
    const std::size_t blockStart = out_.size();
    writeCompressed();
    if (out_.size() - blockStart > rawBytes_ + kRawHeaderSize) {
        out_.resize(blockStart);
        writeRaw();
    }
    literals_.clear();
    triples_.clear();
    rawBytes_ = 0;
}

void LzfseBlockWriter::writeRaw() {
    const std::size_t at = out_.size();
    out_.resize(at + kRawHeaderSize);
    store32(out_.data() + at, kRawMagic);
    store32(out_.data() + at + 4, static_cast<std::uint32_t>(rawBytes_));
    out_.insert(out_.end(), blockBegin_, blockBegin_ + rawBytes_);
}

void LzfseBlockWriter::writeCompressed() {
    LzfseBlockHeader h;
    h.nRawBytes = static_cast<std::uint32_t>(rawBytes_);
    while (literals_.size() % 4 != 0) literals_.push_back(0);
    h.nLiterals = static_cast<std::uint32_t>(literals_.size());
    h.nMatches = static_cast<std::uint32_t>(triples_.size());

    // Repeated distances are coded as 0; a literal run takes whichever
    // distance is current, since its distance is never used for copying.
    std::vector<Coded> codedD(triples_.size());
    std::array<std::uint32_t, kFrequencyCount> counts{};
    std::uint32_t* lCounts = counts.data();
    std::uint32_t* mCounts = lCounts + kLSymbols;
    std::uint32_t* dCounts = mCounts + kMSymbols;
    std::uint32_t* literalCounts = dCounts + kDSymbols;
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < triples_.size(); ++i) {
        const Triple& t = triples_[i];
        std::uint32_t d = t.m == 0 ? (previous == 0 ? 1 : previous) : t.d;
        std::uint32_t coded = d == previous ? 0 : d;
        previous = d;
        codedD[i] = codeD(coded);
        ++lCounts[codeL(t.l).symbol];
        ++mCounts[codeM(t.m).symbol];
        ++dCounts[codedD[i].symbol];
    }
    for (std::uint8_t byte : literals_) ++literalCounts[byte];

    std::span<std::uint16_t> freq(h.freq);
    FseTables::normalise({lCounts, kLSymbols}, kLStates, freq.subspan(0, kLSymbols));
    FseTables::normalise({mCounts, kMSymbols}, kMStates, freq.subspan(kLSymbols, kMSymbols));
    FseTables::normalise({dCounts, kDSymbols}, kDStates, freq.subspan(kLSymbols + kMSymbols, kDSymbols));
    FseTables::normalise({literalCounts, kLiteralSymbols}, kLiteralStates,
                         freq.subspan(kLSymbols + kMSymbols + kDSymbols, kLiteralSymbols));
    std::array<EncodeEntry, kLSymbols> lTable;
    std::array<EncodeEntry, kMSymbols> mTable;
    std::array<EncodeEntry, kDSymbols> dTable;
    std::array<EncodeEntry, kLiteralSymbols> literalTable;
    FseTables::buildEncoder(h.lFreq(), kLStates, lTable.data());
    FseTables::buildEncoder(h.mFreq(), kMStates, mTable.data());
    FseTables::buildEncoder(h.dFreq(), kDStates, dTable.data());
    FseTables::buildEncoder(h.literalFreq(), kLiteralStates, literalTable.data());

    // Both streams are written last symbol first so that the decoder reads them first to last.
    std::vector<std::uint8_t> literalPayload;
    literalPayload.reserve(literals_.size());
    {
        ForwardBitWriter writer(literalPayload);
        std::array<std::uint32_t, 4> q{};
        for (std::size_t i = literals_.size(); i >= 4; i -= 4) {
            for (int k = 3; k >= 0; --k) encodeSymbol(literalTable[literals_[i - 4 + k]], q[k], writer);
        }
        h.literalBits = writer.finish();
        for (int k = 0; k < 4; ++k) h.literalState[k] = static_cast<std::uint16_t>(q[k]);
    }
    std::vector<std::uint8_t> lmdPayload(kLmdPrefixBytes, 0);
    lmdPayload.reserve(triples_.size() * 6 + kLmdPrefixBytes);
    {
        ForwardBitWriter writer(lmdPayload);
        std::uint32_t ls = 0, ms = 0, ds = 0;
        for (std::size_t i = triples_.size(); i-- > 0;) {
            const Coded d = codedD[i];
            const Coded m = codeM(triples_[i].m);
            const Coded l = codeL(triples_[i].l);
            writer.write(d.extra, d.extraBits);
            encodeSymbol(dTable[d.symbol], ds, writer);
            writer.write(m.extra, m.extraBits);
            encodeSymbol(mTable[m.symbol], ms, writer);
            writer.write(l.extra, l.extraBits);
            encodeSymbol(lTable[l.symbol], ls, writer);
        }
        h.lmdBits = writer.finish();
        h.lState = static_cast<std::uint16_t>(ls);
        h.mState = static_cast<std::uint16_t>(ms);
        h.dState = static_cast<std::uint16_t>(ds);
    }
    h.nLiteralPayloadBytes = static_cast<std::uint32_t>(literalPayload.size());
    h.nLmdPayloadBytes = static_cast<std::uint32_t>(lmdPayload.size());
    h.writeV2(out_);
    out_.insert(out_.end(), literalPayload.begin(), literalPayload.end());
    out_.insert(out_.end(), lmdPayload.begin(), lmdPayload.end());
}

}  // namespace tallowmere::lzfse
