// The Demux job: one elementary-stream file per ticked box, filled by demux passes over
// the source file and, for a two-part title, the second part.
#include <cstdio>
#include <memory>
#include <utility>

#include "engine/catalogue.h"
#include "engine/context.h"
#include "engine/demux.h"
#include "jobs/disc_title.h"
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

// A stream the Read job did not list because it begins after the fast check stopped:
// written as well when the job writes every stream (the command line without a
// selection), otherwise only noted. Either way the end of the log names it.
void lateStream(Context& ctx, const std::string& prefix, int32_t entry, Family family, int slot) {
    Context::LateStream late{entry, family, slot, "", false};
    const int f = static_cast<int>(family);
    const std::string kind = family == Family::Video   ? VideoKindName(entry)
                             : family == Family::Audio ? AudioKindName(entry)
                                                       : SubKindName(entry);
    if (slot < 0) {
        late.caption = kind;
    } else {
        char number[8];
        std::snprintf(number, sizeof number, family == Family::Video ? "%d" : "%02d", slot);
        late.caption = kind + "." + number;
    }
    if (ctx.writeLateStreams && slot >= 0 && slot < kSelectableSlots[f]) {
        const auto k = static_cast<size_t>(slot);
        CheckBox& box = ctx.ui.box(f, k);
        box.enabled = box.checked = true;
        box.caption = late.caption;
        auto& out = family == Family::Video   ? ctx.VideoOut[k]
                    : family == Family::Audio ? ctx.AudioOut[k]
                                              : ctx.SubOut[k];
        const std::string name = outputName(ctx, prefix, f, k);
        out = createOutput(ctx, name);
        ctx.log("Creating " + escapeMarkup(name));
        late.written = true;
    }
    ctx.LateStreams.push_back(std::move(late));
}

void runDemux(Context& ctx) {
    auto& ui = ctx.ui;
    ui.bDemux = false;
    ui.bRebuild = false;
    ui.page = 0;
    ctx.FrameCount = {0, 0};
    ctx.CreatedFiles.clear();

    const std::string second = titleOf(ctx);
    const std::string prefix = outputPrefix(ctx);

    ctx.slog("Opening", 0);
    openJobSource(ctx, false);
    logFileSize(ctx);

    createOutputs(ctx, prefix, 0, ui.cbVideo, ctx.VideoOut);
    createOutputs(ctx, prefix, 1, ui.cbAudio, ctx.AudioOut);
    createOutputs(ctx, prefix, 2, ui.cbSub, ctx.SubOut);

    ctx.LateStreams.clear();
    if (ctx.fastCheckStop >= 0)
        ctx.onLateStream = [&](int32_t entry, Family family, int slot) {
            lateStream(ctx, prefix, entry, family, slot);
        };
    struct Unhook {
        Context& c;
        ~Unhook() { c.onLateStream = nullptr; }
    } unhook{ctx};

    ctx.slog("Demuxing " + namePart(ui.eEVOfile), 0);
    demux(ctx, kDemuxPass);
    continueOnSecondPart(ctx, second, "Demuxing",
                         [&](const std::string&) { demux(ctx, kDemuxPass); });

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
