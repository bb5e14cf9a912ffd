// Throughput of the LZFSE codec on 1 MiB of English-like text and 1 MiB of
// random bytes, and the compressed size of the text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/AppUtils.h"
#include "platform/lzfse/LzfseDecoder.h"
#include "platform/lzfse/LzfseEncoder.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

constexpr std::size_t kSize = 1 << 20;

// The prose vector repeated: its copies lie further apart than the longest
// distance, so the ratio is that of the text itself.
const std::vector<std::uint8_t>& text() {
    static const std::vector<std::uint8_t> data = [] {
        const std::string prose = test::readFixture("lzfse/text-300k.bin");
        std::vector<std::uint8_t> out;
        while (out.size() < kSize) out.insert(out.end(), prose.begin(), prose.end());
        out.resize(kSize);
        return out;
    }();
    return data;
}

const std::vector<std::uint8_t>& randomBytes() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> out(kSize);
        std::uint64_t state = 0x9E3779B97F4A7C15ULL;
        for (auto& b : out) {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            b = static_cast<std::uint8_t>((state * 0x2545F4914F6CDD1DULL) >> 56);
        }
        return out;
    }();
    return data;
}

void encode(benchmark::State& state, const std::vector<std::uint8_t>& input) {
    std::size_t compressed = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> out = lzfse::LzfseEncoder::encode(input);
        compressed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(input.size());
}

void decode(benchmark::State& state, const std::vector<std::uint8_t>& input) {
    const std::vector<std::uint8_t> stream = lzfse::LzfseEncoder::encode(input);
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        lzfse::LzfseDecoder::decode(stream, out, std::uint64_t{64} << 20);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_EncodeText(benchmark::State& state) { encode(state, text()); }
void BM_EncodeRandom(benchmark::State& state) { encode(state, randomBytes()); }
void BM_DecodeText(benchmark::State& state) { decode(state, text()); }
void BM_DecodeRandom(benchmark::State& state) { decode(state, randomBytes()); }

// The same through the 4096-byte buffer loop the stored model uses.
void BM_AppUtilsRoundTripText(benchmark::State& state) {
    for (auto _ : state) {
        const auto compressed = AppUtils::compress(text(), false);
        const auto back = AppUtils::compress(*compressed, true);
        benchmark::DoNotOptimize(back->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text().size()));
}

}  // namespace

BENCHMARK(BM_EncodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppUtilsRoundTripText)->Unit(benchmark::kMillisecond);
