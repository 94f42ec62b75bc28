// The block-pass driver: every byte from the source's position to its end handed over
// once and in order, in blocks that never straddle what one read delivered, one write per
// read; a stop leaves the source where its last block ended; a failed read ends the pass
// after the blocks read before it, an error of the handler at once.
#include "engine/blockpass.h"

#include <gtest/gtest.h>

#include <climits>

#include "jobs/runner.h"
#include "support/memory_stream.h"
#include "support/recording_events.h"

namespace qf::test {
namespace {

constexpr int64_t kMiB = 1 << 20;

// A medium that delivers at most `most` bytes a read.
class ShortReads final : public MemoryStream {
public:
    using MemoryStream::MemoryStream;
    size_t most = SIZE_MAX;
    size_t read(void* buf, size_t n) override { return MemoryStream::read(buf, std::min(n, most)); }
};

class Recorder final : public BlockHandler {
public:
    explicit Recorder(JobRunner& c) : ctx(c) {}
    JobRunner& ctx;
    Bytes seen;
    size_t blocks = 0;
    std::vector<size_t> written; // blocks parsed at each writeChunk
    size_t cancelAt = 0, throwAt = 0;

    void parseBlock(std::span<const uint8_t> b) override {
        EXPECT_EQ(b.data(), ctx.io.block().data());
        EXPECT_EQ(b.size(), ctx.io.block().size());
        seen.insert(seen.end(), b.begin(), b.end());
        EXPECT_EQ(ctx.io.BlockEnd, static_cast<int64_t>(start + seen.size()));
        if (++blocks == throwAt) throw Error("handler");
        if (blocks == cancelAt) ctx.control.requestStop(StopReason::Cancel);
    }
    void writeChunk() override { written.push_back(blocks); }
    size_t start = 0;
};

TEST(BlockPass, BlocksStopsAndErrors) {
    const size_t size = 2 * kChunkSize + 300000;
    Bytes source(size);
    for (size_t k = 0; k < size; ++k) source[k] = static_cast<uint8_t>(k * 7 + k / 4093);
    struct Case {
        const char* name;
        size_t start = 0, most = SIZE_MAX, failAt = SIZE_MAX, cancelAt = 0, throwAt = 0;
        std::vector<size_t> written;
        int64_t left;
        const char* error = "";
    };
    const std::vector<Case> cases = {
        {"whole", 0, SIZE_MAX, SIZE_MAX, 0, 0, {16, 32, 34}, static_cast<int64_t>(size)},
        {"cancel mid-chunk", 0, SIZE_MAX, SIZE_MAX, 5, 0, {5}, 5 * kBlockSize},
        {"cancel at a chunk's end", 0, SIZE_MAX, SIZE_MAX, 16, 0, {16}, kChunkSize},
        {"cancel in the last chunk", 0, SIZE_MAX, SIZE_MAX, 33, 0, {16, 32, 33}, 33 * kBlockSize},
        // Blocks follow the reads: 3 MiB, then up to the next 4 MiB, and so on.
        {"short reads",
         1000,
         3 * kMiB,
         SIZE_MAX,
         0,
         0,
         {12, 16, 28, 32, 34},
         static_cast<int64_t>(size)},
        {"read error",
         0,
         SIZE_MAX,
         5 * kMiB + 123,
         0,
         0,
         {16, 21},
         5 * kMiB + 123,
         "Stream read error"},
        {"handler error", 0, SIZE_MAX, SIZE_MAX, 0, 20, {16}, 2 * kChunkSize, "handler"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingEvents host;
        JobRunner ctx(host);
        auto src = std::make_unique<ShortReads>(source);
        src->most = c.most;
        if (c.failAt != SIZE_MAX) src->readsFailAt = c.failAt;
        src->seek(static_cast<int64_t>(c.start));
        ctx.io.SourceStream = std::move(src);
        Recorder rec(ctx);
        rec.start = c.start;
        rec.cancelAt = c.cancelAt;
        rec.throwAt = c.throwAt;
        std::string error;
        try {
            runBlocks(ctx, {}, rec);
        } catch (const Error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(rec.written, c.written);
        EXPECT_EQ(ctx.io.SourceStream->position(), c.left);
        EXPECT_TRUE(std::equal(rec.seen.begin(), rec.seen.end(),
                               source.begin() + static_cast<std::ptrdiff_t>(c.start)));
        if (!c.throwAt) {
            EXPECT_EQ(static_cast<int64_t>(c.start + rec.seen.size()), c.left);
        }
    }
}

} // namespace
} // namespace qf::test
