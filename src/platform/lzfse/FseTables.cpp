#include "platform/lzfse/FseTables.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace tallowmere::lzfse {

namespace {

// k for a symbol of frequency f among `states` states: f << k lies in [N, 2N).
int shiftFor(std::uint32_t freq, int states) {
    return std::countl_zero(freq) - std::countl_zero(static_cast<std::uint32_t>(states));
}

// Walks the states of each symbol, calling sink(state, symbol, nbits, base).
template <typename Sink>
int forEachState(std::span<const std::uint16_t> freq, int states, Sink&& sink) {
    int total = 0;
    for (std::uint16_t f : freq) total += f;
    if (total > states) return -1;
    int state = 0;
    for (std::size_t symbol = 0; symbol < freq.size(); ++symbol) {
        const int f = freq[symbol];
        if (f == 0) continue;
        const int k = shiftFor(static_cast<std::uint32_t>(f), states);
        const int wide = ((2 * states) >> k) - f;
        for (int j = 0; j < f; ++j, ++state) {
            if (j < wide) {
                sink(state, static_cast<int>(symbol), k, ((f + j) << k) - states);
            } else {
                sink(state, static_cast<int>(symbol), k - 1, (j - wide) << (k - 1));
            }
        }
    }
    return total;
}

}  // namespace

int FseTables::buildLiteralDecoder(std::span<const std::uint16_t> freq, int states, LiteralEntry* table) {
    std::memset(table, 0, sizeof(LiteralEntry) * static_cast<std::size_t>(states));
    return forEachState(freq, states, [&](int state, int symbol, int nbits, int base) {
        table[state] = {static_cast<std::uint8_t>(nbits), static_cast<std::uint8_t>(symbol),
                        static_cast<std::uint16_t>(base)};
    });
}

int FseTables::buildValueDecoder(std::span<const std::uint16_t> freq, int states,
                                 const std::uint8_t* extraBits, const std::uint32_t* valueBase,
                                 ValueEntry* table) {
    std::memset(table, 0, sizeof(ValueEntry) * static_cast<std::size_t>(states));
    return forEachState(freq, states, [&](int state, int symbol, int nbits, int base) {
        table[state] = {static_cast<std::uint8_t>(nbits + extraBits[symbol]), extraBits[symbol],
                        static_cast<std::uint16_t>(base), valueBase[symbol]};
    });
}

void FseTables::buildEncoder(std::span<const std::uint16_t> freq, int states, EncodeEntry* table) {
    int start = 0;
    for (std::size_t symbol = 0; symbol < freq.size(); ++symbol) {
        const int f = freq[symbol];
        if (f == 0) {
            table[symbol] = {};
            continue;
        }
        const int k = shiftFor(static_cast<std::uint32_t>(f), states);
        EncodeEntry& e = table[symbol];
        e.threshold = static_cast<std::uint16_t>((f << k) - states);
        e.bitsHigh = static_cast<std::uint8_t>(k);
        e.deltaHigh = start - f + (states >> k);
        // With k = 0 the symbol owns every state and the low case never happens.
        e.deltaLow = k > 0 ? start - f + (states >> (k - 1)) : 0;
        start += f;
    }
}

void FseTables::normalise(std::span<const std::uint32_t> counts, int states, std::span<std::uint16_t> freq) {
    std::uint64_t total = 0;
    for (std::uint32_t c : counts) total += c;
    std::fill(freq.begin(), freq.end(), 0);
    if (total == 0) return;

    int sum = 0;
    for (std::size_t s = 0; s < counts.size(); ++s) {
        if (counts[s] == 0) continue;
        std::uint64_t f = (std::uint64_t{counts[s]} * static_cast<std::uint64_t>(states) + total / 2) / total;
        if (f == 0) f = 1;
        freq[s] = static_cast<std::uint16_t>(f);
        sum += static_cast<int>(f);
    }
    // Settle the rounding one state at a time where it costs the fewest
    // coded bits: take from the symbol losing least by it, give to the one
    // gaining most.
    while (sum > states) {
        std::size_t best = counts.size();
        double bestCost = 0;
        for (std::size_t s = 0; s < counts.size(); ++s) {
            if (freq[s] <= 1) continue;
            const double cost = counts[s] * std::log2(double(freq[s]) / double(freq[s] - 1));
            if (best == counts.size() || cost < bestCost) {
                best = s;
                bestCost = cost;
            }
        }
        --freq[best];
        --sum;
    }
    while (sum < states) {
        std::size_t best = counts.size();
        double bestGain = 0;
        for (std::size_t s = 0; s < counts.size(); ++s) {
            if (counts[s] == 0) continue;
            const double gain = counts[s] * std::log2(double(freq[s] + 1) / double(freq[s]));
            if (best == counts.size() || gain > bestGain) {
                best = s;
                bestGain = gain;
            }
        }
        ++freq[best];
        ++sum;
    }
}

}  // namespace tallowmere::lzfse
