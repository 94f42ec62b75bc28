// The Read job: read passes over every part of the title, then the streams found, listed
// with their captions, and the frame counts.
#include <cstdio>

#include "engine/blockpass.h"
#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/runner.h"

namespace qf {

namespace {

// Why the pass just run stopped early, if it did: the fast-check limit (the bytes read
// then), or the user.
void noteStop(const JobRunner& ctx, JobEnd& end) {
    end.reason = ctx.control.stopReason();
    if (end.reason == StopReason::FastCheck) end.fastCheckBytes = ctx.io.SourceStream->position();
}

std::string twoDigits(size_t k) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02zu", k);
    return buf;
}

// The streams of the first `count` slots of a family, captioned "DD.stream.03".
template <size_t N, size_t M>
void listStreams(std::array<ListedStream, N>& listed, const std::array<SlotEntry, M>& slots,
                 size_t count, std::string (*kindName)(int32_t), bool twoDigitSuffix) {
    for (size_t k = 0; k < N; ++k) {
        ListedStream& s = listed[k];
        s.present = k < count && !slots[k].empty();
        s.caption = s.present ? kindName(slots[k].entry()) + "." +
                                    (twoDigitSuffix ? twoDigits(k) : std::to_string(k))
                              : "";
    }
}

// Everything up to and including the frame count lines; true when the user cancelled.
bool runRead(JobRunner& ctx) {
    ctx.cat.FrameCount = {0, 0};
    ctx.cat.FieldCount = {0, 0};
    ctx.cat.clearFacts();
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    // Slots are given anew; the Demux or Rebuild job that uses this selection keeps them.
    ctx.cat.Slots.clear();
    ctx.cat.fastCheckStop = -1;
    ctx.cat.playlistGave = false;
    const Title title = jobTitle(ctx);

    openTitle(ctx, title, true);
    ctx.slog("Reading " + namePart(ctx.job.source) + " ", 0);
    logFileSize(ctx);
    JobEnd end;
    demux(ctx, kReadPass);
    noteStop(ctx, end);
    ctx.io.SourceStream.reset();
    ctx.cat.fastCheckStop = end.fastCheckBytes;

    listStreams(ctx.cat.Listed.video, ctx.cat.VideoSlots, 2, VideoKindName, false);
    listStreams(ctx.cat.Listed.audio, ctx.cat.AudioSlots, 16, AudioKindName, true);
    listStreams(ctx.cat.Listed.sub, ctx.cat.SubSlots, 16, SubKindName, true);
    captionLanguages(ctx);
    ctx.events->streamsListed(ctx.cat.Listed);

    finishLog(ctx, end);
    logFrameCounts(ctx, FrameLines::Read);
    return end.reason == StopReason::Cancel || end.reason == StopReason::Error;
}

} // namespace

JobOutcome readJob(JobRunner& ctx, const JobRequest& request) {
    JobOutcome outcome;
    outcome.ran = runJob(ctx, request, [&] { outcome.cancelled = runRead(ctx); });
    return outcome;
}

JobOutcome runJobOfKind(JobRunner& ctx, JobKind kind, const JobRequest& request) {
    return kind == JobKind::Read    ? readJob(ctx, request)
           : kind == JobKind::Demux ? demuxJob(ctx, request)
                                    : rebuildJob(ctx, request);
}

std::optional<JobKind> followUpJob(JobKind done, const JobOutcome& outcome,
                                   std::optional<JobKind> autoJob) {
    if (done != JobKind::Read || !outcome.ran || outcome.cancelled) return std::nullopt;
    return autoJob;
}

} // namespace qf
