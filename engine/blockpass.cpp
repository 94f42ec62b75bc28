#include "engine/blockpass.h"

#include <algorithm>

#include "engine/context.h"
#include "engine/timefmt.h"

namespace qf {

namespace {

constexpr double kSecond = 1.0 / 86400.0;

// "512/4096 Mbytes, Remaining time: 0:07:01", the time estimated from the pace so far.
std::string progressLine(const Context& ctx, int64_t pos, int64_t size, double startTime) {
    const long double elapsed = nowInDays() - startTime;
    const long double remaining =
        elapsed * static_cast<long double>(size) / static_cast<long double>(pos) - elapsed +
        kSecond;
    return std::to_string(pos / 1048576) + "/" + std::to_string(size / 1048576) +
           " Mbytes, Remaining time: " + ctx.formatTime(static_cast<double>(remaining));
}

} // namespace

void runBlocks(Context& ctx, const BlockPassSettings& settings, BlockHandler& handler) {
    ctx.events->passRunning(true);
    ctx.CancelFlag = false;
    ctx.WriteMode = settings.writes;
    struct Restore {
        Context& c;
        ~Restore() {
            c.events->passRunning(false);
            c.BlockAt = 0;
        }
    } restore{ctx};

    // Within a title of several parts, progress counts over all of them.
    const bool inTitle = ctx.Span.total > 0;
    const double startTime = inTitle ? ctx.Span.startTime : nowInDays();
    Stream& src = *ctx.SourceStream;
    const int64_t size = src.size();
    const int64_t before = inTitle ? ctx.Span.before : 0;
    const int64_t total = inTitle ? std::max(ctx.Span.total, before + size) : size;
    while (src.position() < size && !ctx.CancelFlag) {
        const int64_t start = src.position();
        // Up to the next multiple of the chunk size, so that the event loop's turns fall on
        // chunk ends.
        const auto want =
            static_cast<size_t>(kChunkSize - static_cast<uint64_t>(start) % kChunkSize);
        const size_t got = src.read(ctx.ReadBuffer.data(), want);
        if (got == 0) throw Error(src.failure("Stream read error"));
        for (size_t at = 0; at < got; at += kBlockSize) {
            const size_t len = std::min(kBlockSize, got - at);
            const int64_t pos = start + static_cast<int64_t>(at + len);
            ctx.BlockAt = at;
            ctx.BlockLen = len;
            ctx.BlockEnd = pos;
            if (pos % kPumpInterval == 0) {
                ctx.slog(
                    settings.progressPrefix + progressLine(ctx, before + pos, total, startTime), 1);
                ctx.events->processEvents();
            }
            if (settings.stopPast > 0 && pos > settings.stopPast) ctx.CancelFlag = true;
            if (pos % kRepaintInterval == 0) ctx.events->repaint();
            ctx.Pause.wait(); // while the user is asked whether to stop
            handler.parseBlock({ctx.ReadBuffer.data() + at, len});
            // A stop is seen between blocks: the source is left where the last one ended.
            if (ctx.CancelFlag && at + len < got) {
                src.seek(pos);
                break;
            }
        }
        handler.writeChunk();
    }
}

} // namespace qf
