// The Demux job: one elementary-stream file per ticked box, filled by demux passes over
// every part of the title.
#include <memory>

#include "engine/context.h"
#include "engine/demux.h"
#include "jobs/jobs.h"
#include "jobs/outputs.h"
#include "jobs/runner.h"
#include "model/markup.h"
#include "model/paths.h"

namespace qf {

namespace {

// Creates the outputs of the ticked boxes of one family; they are the only files the
// passes write to and the job closes, whatever happens to the boxes meanwhile.
template <size_t N, size_t M>
void createOutputs(Context& ctx, const std::string& prefix, int family,
                   const std::array<CheckBox, N>& boxes,
                   std::array<std::unique_ptr<Stream>, M>& outs) {
    for (size_t k = 0; k < M && k < N; ++k) {
        if (!boxes[k].checked) continue;
        const std::string name = outputName(ctx, prefix, family, k);
        outs[k] = createOutput(ctx, name);
        ctx.log("Creating " + escapeMarkup(name));
    }
}

void runDemux(Context& ctx) {
    auto& ui = ctx.ui;
    ui.bDemux = false;
    ui.bRebuild = false;
    ui.page = 0;
    ctx.FrameCount = {0, 0};
    ctx.FieldCount = {0, 0};
    ctx.CreatedFiles.clear();

    const Title title = jobTitle(ctx);
    const std::string prefix = outputPrefix(ctx);

    ctx.log("Opening file " + escapeMarkup(ctx.ui.EVOname));
    ctx.slog("Opening", 0);
    openSource(ctx, ui.eEVOfile);
    logFileSize(ctx);

    createOutputs(ctx, prefix, 0, ui.cbVideo, ctx.VideoOut);
    createOutputs(ctx, prefix, 1, ui.cbAudio, ctx.AudioOut);
    createOutputs(ctx, prefix, 2, ui.cbSub, ctx.SubOut);

    ctx.slog("Demuxing " + namePart(ui.eEVOfile), 0);
    forEachPart(ctx, title, "Demuxing", [&](const std::string&) { demux(ctx, kDemuxPass); });

    ctx.SourceStream.reset();
    ctx.closeOutputs();

    // Only Cancel stops a writing pass early.
    finishLog(ctx, {ctx.CancelFlag});
    logFrameCounts(ctx, FrameLines::Demux);
    ui.bDemux = true;
    ui.bRebuild = true;
}

} // namespace

void bDemuxClick(Context& ctx) {
    const bool bRebuildBefore = ctx.ui.bRebuild;
    runJob(
        ctx, [&] { runDemux(ctx); }, [&] { restoreJobButtons(ctx, bRebuildBefore); });
}

} // namespace qf
