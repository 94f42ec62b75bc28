#include "engine/blockpass.h"

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

void runBlocks(Context& ctx, const BlockPassSettings& settings,
               const std::function<void(size_t)>& onBlock) {
    ctx.ui.bCancel = true;
    ctx.CancelFlag = false;
    ctx.WriteMode = settings.writes;
    struct CancelOff {
        Context& c;
        ~CancelOff() { c.ui.bCancel = false; }
    } cancelOff{ctx};

    const double startTime = nowInDays();
    Stream& src = *ctx.SourceStream;
    const int64_t size = src.size();
    while (src.position() < size && !ctx.CancelFlag) {
        const size_t len = src.read(ctx.ReadBuffer.data(), kBlockSize);
        if (len == 0) throw Error(src.failure("Stream read error"));
        ctx.BlockLen = len;
        const int64_t pos = src.position();
        if (pos % kPumpInterval == 0) {
            ctx.slog(settings.progressPrefix + progressLine(ctx, pos, size, startTime), 1);
            ctx.host.processEvents();
        }
        if (settings.stopPast > 0 && pos > settings.stopPast) ctx.CancelFlag = true;
        if (pos % kRepaintInterval == 0) ctx.host.repaint();
        onBlock(len);
    }
}

} // namespace qf
