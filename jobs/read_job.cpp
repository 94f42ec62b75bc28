// The Read job: read passes over every part of the title, then one
// ticked, captioned check box per stream found, frame counts and the auto follow-up.
#include <cstdio>

#include "engine/blockpass.h"
#include "engine/catalogue.h"
#include "engine/context.h"
#include "engine/demux.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/runner.h"
#include "model/markup.h"
#include "model/paths.h"
#include "model/window.h"

namespace qf {

namespace {

// Why the pass just run stopped early, if it did. The fast-check limit also sets
// CancelFlag, but only once a read pass is past 300,000,000 bytes, and no message pump
// (where Cancel is seen) comes after that point before the pass ends.
void noteStop(const Context& ctx, JobEnd& end) {
    if (!ctx.CancelFlag) return;
    const int64_t read = ctx.SourceStream->position();
    if (ctx.ui.cbFastCheck && read > kFastCheckLimit)
        end.fastCheckBytes = read;
    else
        end.cancelled = true;
}

std::string twoDigits(size_t k) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02zu", k);
    return buf;
}

template <size_t N, size_t M>
void markBoxes(std::array<CheckBox, N>& boxes, const std::array<int32_t, M>& slots, size_t count,
               std::string (*kindName)(int32_t), bool twoDigitSuffix) {
    for (size_t k = 0; k < count; ++k) {
        CheckBox& box = boxes[k];
        box.enabled = slots[k] > -1;
        box.checked = box.enabled;
        if (box.checked)
            box.caption =
                kindName(slots[k]) + "." + (twoDigitSuffix ? twoDigits(k) : std::to_string(k));
    }
}

// Everything up to and including the frame count lines; true when the user cancelled.
bool runRead(Context& ctx) {
    auto& ui = ctx.ui;
    ui.bCheck = false;
    ui.bDemux = false;
    ui.bRebuild = false;
    Resetcbs(ctx.ui);
    ui.page = 0;

    ctx.FrameCount = {0, 0};
    ctx.FieldCount = {0, 0};
    ctx.resetFacts();
    ctx.EarliestPTS = 0xFFFFFFFF;
    // Slots are given anew; the Demux or Rebuild job that uses this selection keeps them.
    ctx.Slots.clear();
    ctx.fastCheckStop = -1;
    const Title title = jobTitle(ctx);

    openJobSource(ctx, true);
    ctx.slog("Reading " + namePart(ui.eEVOfile) + " ", 0);
    logFileSize(ctx);
    JobEnd end;
    forEachPart(ctx, title, "Reading", [&](const std::string&) {
        demux(ctx, kReadPass);
        noteStop(ctx, end);
    });
    ctx.SourceStream.reset();
    ctx.fastCheckStop = end.fastCheckBytes;

    markBoxes(ui.cbVideo, ctx.VideoSlots, 2, VideoKindName, false);
    markBoxes(ui.cbAudio, ctx.AudioSlots, 16, AudioKindName, true);
    markBoxes(ui.cbSub, ctx.SubSlots, 16, SubKindName, true);
    captionLanguages(ctx);

    finishLog(ctx, end);
    logFrameCounts(ctx, FrameLines::Read);

    ui.bCheck = true;
    cbVideoClick(ctx.ui);
    return end.cancelled;
}

} // namespace

void bCheckClick(Context& ctx) {
    bool userCancel = false;
    if (!runJob(
            ctx, [&] { userCancel = runRead(ctx); }, [&] { restoreJobButtons(ctx, false); }))
        return;
    // A user's Cancel means "stop here"; the fast-check stop is no reason to skip it.
    if (userCancel) return;
    if (ctx.ui.rbAutoDemux) bDemuxClick(ctx);
    if (ctx.ui.rbAutoRebuild) bRebuildClick(ctx);
}

} // namespace qf
