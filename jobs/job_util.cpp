#include "jobs/job_util.h"

#include <memory>

#include "engine/context.h"
#include "engine/stream.h"
#include "jobs/window.h"

namespace qf {

JobGuard::JobGuard(Context& ctx) : ctx_(ctx), active_(!ctx.busy) {
    if (active_) ctx_.busy = true;
}

JobGuard::~JobGuard() {
    release();
}

void JobGuard::release() {
    if (active_) ctx_.busy = false;
    active_ = false;
}

std::string prepareBaseName(Context& ctx) {
    ctx.BaseName = CutExt(ctx.EVOname);
    std::string second;
    if (ctx.ui.cbContinue) second = getsecond(ctx.ui.eEVOfile);
    if (!second.empty()) ctx.BaseName += "_" + CutExt(namePart(second));
    return second;
}

std::string outputPrefix(const Context& ctx) {
    // Without an output folder the outputs go beside the source, never into whatever
    // folder the process happens to run in.
    std::string folder = ctx.ui.eWorkdir.empty() ? folderPart(ctx.ui.eEVOfile) : ctx.ui.eWorkdir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + ctx.BaseName;
}

CatalogueCopy copyCatalogue(const Context& ctx) {
    return {ctx.VideoSlots, ctx.AudioSlots, ctx.SubSlots};
}

void keepFirstPart(Context& ctx, const CatalogueCopy& first) {
    auto keep = [](auto& slots, const auto& earlier) {
        for (size_t k = 0; k < slots.size(); ++k)
            if (slots[k] == -1) slots[k] = earlier[k];
    };
    keep(ctx.VideoSlots, first.video);
    keep(ctx.AudioSlots, first.audio);
    keep(ctx.SubSlots, first.sub);
}

void openSource(Context& ctx, const std::string& path) {
    ctx.SourceStream.reset();
    ctx.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
}

void logFileSize(Context& ctx) {
    ctx.log("File size: " + std::to_string(ctx.SourceStream->size() / 1048576) + " Mbytes.");
}

void finishLog(Context& ctx, const JobEnd& end) {
    if (end.cancelled) ctx.log("Cancelled.");
    ctx.log("Done.");
    if (end.fastCheckBytes >= 0)
        ctx.log("Fast check: only the first " + std::to_string(end.fastCheckBytes / 1048576) +
                " Mbytes were read; untick Fast EVO checking on the Options page to read the "
                "whole file and count its frames.");
    ctx.log("");
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

void logFrameCounts(Context& ctx, FrameLines form) {
    const bool read = form == FrameLines::Read;
    for (int slot = 0; slot < 2; ++slot) {
        const int32_t n = ctx.FrameCount[slot];
        if (n <= 0) continue;
        // At the rate the Read job found in the stream; without one, each job keeps the
        // film rate it has always assumed.
        const double rate = ctx.VideoFacts[static_cast<size_t>(slot)].number(key::FrameRate);
        const double days = rate > 0 ? n / rate / 86400
                            : read   ? n / 24000.0 * 1001 / 86400
                                     : n / 23.976 / 86400;
        const std::string time = ctx.formatTime(days);
        ctx.log(std::to_string(n) +
                (read ? " frames ([b]" + time + " s[/b])" : " frames (" + time + " s)") +
                " count in video stream " + std::to_string(slot) + ".");
    }
    if (static_cast<int64_t>(ctx.FrameCount[0]) + ctx.FrameCount[1] > 0) ctx.log("");
}

void restoreJobButtons(Context& ctx, bool bRebuildBefore) {
    ctx.ui.bCancel = false;
    ctx.ui.bCheck = !ctx.ui.eEVOfile.empty();
    ctx.ui.bRebuild = bRebuildBefore;
    cbVideoClick(ctx);
}

} // namespace qf
