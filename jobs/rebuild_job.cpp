// The Rebuild job: writes BaseName + ".rebuilt.EVO" (".rebuilt.VOB" for a DVD-Video
// title) holding only the ticked streams, renumbered, from every part of the title.
#include <memory>

#include "engine/paths.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/outputs.h"
#include "jobs/rebuild.h"
#include "jobs/runner.h"

namespace qf {

namespace {

void runRebuild(JobRunner& ctx, RebuildState& st) {
    st.reset();
    st.takeSelection(ctx);
    ctx.CreatedFiles.clear();
    const Title title = jobTitle(ctx);
    const std::string target = plan(ctx.cat, ctx.job, true).rebuilt;

    ctx.slog("Opening", 0);
    openTitle(ctx, title, false);
    logFileSize(ctx);

    st.RebuiltOut = createOutput(ctx, target);
    ctx.tell(FileCreated{target, std::nullopt});

    ctx.slog("Rebuilding " + namePart(ctx.job.source), 0);
    st.SourceName = namePart(ctx.job.source);
    Rebuild(ctx, st);

    ctx.io.SourceStream.reset();
    st.RebuiltOut->close();
    st.RebuiltOut.reset();

    // Packs are only recognised at 2048-byte steps from the start of the file; say so
    // rather than leave a short or empty result unexplained.
    if (st.SkippedBlocks > 0)
        ctx.log("Blocks without pack header skipped: " + std::to_string(st.SkippedBlocks));
    // Only Cancel stops a writing pass early.
    finishLog(ctx, {ctx.control.stopReason(), -1, &ctx.CreatedFiles});
}

} // namespace

JobOutcome rebuildJob(JobRunner& ctx, const JobRequest& request) {
    JobOutcome outcome;
    outcome.ran = runJob(ctx, request, [&] {
        RebuildState st; // its output is closed as the body ends, also by an error
        runRebuild(ctx, st);
        outcome.cancelled = ctx.control.stopRequested();
    });
    return outcome;
}

} // namespace qf
