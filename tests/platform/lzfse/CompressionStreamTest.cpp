#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "LzfseTestData.h"
#include "platform/lzfse/CompressionStream.h"
#include "platform/lzfse/LzfseDecoder.h"

using namespace tallowmere::lzfse;
using namespace tallowmere::lzfse::testdata;

namespace {

struct StreamRun {
    CompressionStatus last = CompressionStatus::ok;
    std::vector<std::uint8_t> output;
};

// Offers the input `inChunk` bytes at a time and takes output through a
// buffer of `outChunk` bytes, finalizing with the last piece when asked to.
// Stops at end or error, or when a step makes no progress.
StreamRun drive(CompressionOperation operation, const std::vector<std::uint8_t>& input, std::size_t inChunk,
          std::size_t outChunk, bool finalize) {
    CompressionStream stream;
    StreamRun run;
    EXPECT_EQ(stream.init(operation, kCompressionAlgorithmLzfse), CompressionStatus::ok);
    std::vector<std::uint8_t> buffer(outChunk);
    std::size_t offered = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        if (stream.srcSize == 0 && offered < input.size()) {
            const std::size_t piece = std::min(inChunk, input.size() - offered);
            stream.srcPtr = input.data() + offered;
            stream.srcSize = piece;
            offered += piece;
        }
        stream.dstPtr = buffer.data();
        stream.dstSize = buffer.size();
        const std::size_t srcBefore = stream.srcSize;
        const int flags = finalize && offered == input.size() ? kCompressionStreamFinalize : 0;
        run.last = stream.process(flags);
        const std::size_t produced = buffer.size() - stream.dstSize;
        run.output.insert(run.output.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(produced));
        if (run.last != CompressionStatus::ok) break;
        if (produced == 0 && stream.srcSize == srcBefore && offered == input.size()) break;
    }
    stream.destroy();
    return run;
}

TEST(CompressionStream, DecodesAStreamOfferedPieceByPiece) {
    const std::vector<std::uint8_t> stream = fixture("synth-mixed-blocks.lzfse");
    const std::vector<std::uint8_t> plain = fixture("synth-mixed-blocks.bin");
    for (std::size_t inChunk : {std::size_t{1}, std::size_t{100}, std::size_t{4096}, stream.size()}) {
        for (std::size_t outChunk : {std::size_t{7}, std::size_t{4096}, std::size_t{1 << 20}}) {
            SCOPED_TRACE(testing::Message() << inChunk << " in, " << outChunk << " out");
            const StreamRun run = drive(CompressionOperation::decode, stream, inChunk, outChunk, false);
            EXPECT_EQ(run.last, CompressionStatus::end);
            EXPECT_TRUE(run.output == plain);
        }
    }
}

TEST(CompressionStream, EncodesAtFinalize) {
    const std::vector<std::uint8_t> plain = prose(100000);
    for (std::size_t inChunk : {std::size_t{999}, plain.size()}) {
        const StreamRun run = drive(CompressionOperation::encode, plain, inChunk, 4096, true);
        EXPECT_EQ(run.last, CompressionStatus::end);
        std::vector<std::uint8_t> back;
        ASSERT_EQ(LzfseDecoder::decode(run.output, back, CompressionStream::kMaxDecodedBytes), DecodeStatus::complete);
        EXPECT_TRUE(back == plain);
    }
    // Without finalize the encoder only collects input.
    const StreamRun pending = drive(CompressionOperation::encode, plain, plain.size(), 4096, false);
    EXPECT_EQ(pending.last, CompressionStatus::ok);
    EXPECT_TRUE(pending.output.empty());
}

TEST(CompressionStream, ACutStreamWaitsForMoreThenFailsAtFinalize) {
    const std::vector<std::uint8_t> cut = fixture("bad-no-eos.lzfse");
    const StreamRun waiting = drive(CompressionOperation::decode, cut, cut.size(), 4096, false);
    EXPECT_EQ(waiting.last, CompressionStatus::ok);
    EXPECT_TRUE(waiting.output.empty());
    const StreamRun finalized = drive(CompressionOperation::decode, cut, 500, 4096, true);
    EXPECT_EQ(finalized.last, CompressionStatus::error);
    EXPECT_TRUE(finalized.output.empty());
}

TEST(CompressionStream, BrokenStreamsFailAndStayFailed) {
    CompressionStream stream;
    ASSERT_EQ(stream.init(CompressionOperation::decode, kCompressionAlgorithmLzfse), CompressionStatus::ok);
    const std::vector<std::uint8_t> bad = fixture("bad-repeat-first.lzfse");
    std::uint8_t out[64];
    stream.srcPtr = bad.data();
    stream.srcSize = bad.size();
    stream.dstPtr = out;
    stream.dstSize = sizeof out;
    EXPECT_EQ(stream.process(0), CompressionStatus::error);
    const std::vector<std::uint8_t> good = fixture("one-byte.lzfse");
    stream.srcPtr = good.data();
    stream.srcSize = good.size();
    EXPECT_EQ(stream.process(kCompressionStreamFinalize), CompressionStatus::error);
    EXPECT_EQ(stream.dstSize, sizeof out);
}

TEST(CompressionStream, OnlyLzfseAndOnlyWhileInitialised) {
    CompressionStream stream;
    EXPECT_EQ(stream.process(0), CompressionStatus::error);
    EXPECT_EQ(stream.init(CompressionOperation::encode, 0x100), CompressionStatus::error);
    EXPECT_EQ(stream.process(kCompressionStreamFinalize), CompressionStatus::error);
    EXPECT_EQ(stream.init(CompressionOperation::encode, kCompressionAlgorithmLzfse), CompressionStatus::ok);
    EXPECT_EQ(stream.destroy(), CompressionStatus::ok);
    EXPECT_EQ(stream.process(kCompressionStreamFinalize), CompressionStatus::error);
}

TEST(CompressionStream, AnEmptyStreamEndsAtOnce) {
    const StreamRun run = drive(CompressionOperation::decode, fixture("empty.lzfse"), 100, 4096, false);
    EXPECT_EQ(run.last, CompressionStatus::end);
    EXPECT_TRUE(run.output.empty());
}

}  // namespace
