// The Demux job: one elementary-stream file per ticked box, filled by demux passes over
// every part of the title.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysers/report.h"
#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/lpcm_output.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/captions_out.h"
#include "jobs/chapters.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/mkvmerge_options.h"
#include "jobs/outputs.h"
#include "jobs/runner.h"
#include "jobs/vobsub.h"

namespace qf {

namespace {

// What the .idx of a subpicture stream says besides its units' times.
VobSubIndex vobSubIndex(JobRunner& ctx, size_t k, const std::string& name) {
    VobSubIndex index;
    for (const StreamFacts& f : ctx.cat.VideoFacts) {
        if (f.entry < 0) continue;
        if (f.width().value_or(0) > 0 && f.height().value_or(0) > 0) {
            index.width = static_cast<int>(*f.width());
            index.height = static_cast<int>(*f.height());
        }
        break;
    }
    if (ctx.cat.titleFacts.palette) {
        index.palette = *ctx.cat.titleFacts.palette;
    } else {
        index.palette = kDefaultVobSubPalette;
        ctx.log("No palette known for the title: " + escapeMarkup(namePart(name)) +
                " has the common default palette");
    }
    if (const auto it = ctx.cat.titleFacts.languages.find(ctx.cat.SubSlots[k]);
        it != ctx.cat.titleFacts.languages.end())
        index.language = it->second.code;
    index.videoStartPts =
        videoStartPts(ctx).value_or(ctx.cat.EarliestPTS == 0xFFFFFFFF ? 0 : ctx.cat.EarliestPTS);
    index.forcedOnly = ctx.job.output.forcedOnly;
    return index;
}

// Creates the output of the stream in slot k of a family: its file, or for VobSub its
// index and its packs.
std::unique_ptr<Stream> createStreamOutput(JobRunner& ctx, const std::string& prefix, Family family,
                                           size_t k, std::vector<std::string>& renamed) {
    const StreamOutput out = streamOutput(ctx, prefix, family, k);
    const auto delay = family == Family::Video ? std::nullopt : streamDelayMs(ctx, family, k);
    std::unique_ptr<Stream> made;
    if (out.index.empty()) {
        made = createOutput(ctx, out.path);
        ctx.tell(FileCreated{out.path, delay});
    } else {
        auto idx = createOutput(ctx, out.index);
        ctx.tell(FileCreated{out.index, delay});
        auto sub = createOutput(ctx, out.path);
        ctx.tell(FileCreated{out.path, std::nullopt});
        made = std::make_unique<VobSubWriter>(std::move(sub), std::move(idx),
                                              vobSubIndex(ctx, k, out.index));
    }
    if (out.namedForMkvmerge) renamed.push_back(namePart(out.path));
    return made;
}

// Creates the outputs of the chosen streams of one family; they are the only files the
// passes write to and the job closes.
template <size_t M>
void createOutputs(JobRunner& ctx, const std::string& prefix, Family family,
                   std::array<std::unique_ptr<Stream>, M>& outs,
                   std::vector<std::string>& renamed) {
    for (size_t k = 0; k < M && k < static_cast<size_t>(kSelectableSlots[familyIndex(family)]); ++k)
        if (ctx.job.selection.at(family, k).checked)
            outs[k] = createStreamOutput(ctx, prefix, family, k, renamed);
}

// A stream the Read job did not list because it begins after the fast check stopped:
// written as well when the job writes every stream (the command line without a
// selection), otherwise only noted. Either way the end of the log names it.
void lateStream(JobRunner& ctx, const std::string& prefix, int32_t entry, Family family, int slot) {
    Catalogue::LateStream late{entry, family, slot, "", false};
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
    late.written =
        ctx.job.output.lateStreams && slot >= 0 && slot < kSelectableSlots[familyIndex(family)];
    ctx.tell(late);
    if (late.written) {
        const auto k = static_cast<size_t>(slot);
        // The job's own record of what it writes takes the stream in, and so does the list.
        ctx.job.selection.at(family, k) = {true, late.caption};
        ctx.cat.Listed.at(family, k) = {late.caption, true};
        ctx.events->streamAdded(family, k, late.caption);
        auto& out = family == Family::Video   ? ctx.io.VideoOut[k]
                    : family == Family::Audio ? ctx.io.AudioOut[k]
                                              : ctx.io.SubOut[k];
        std::vector<std::string> renamed; // the options file names them all at the end
        out = createStreamOutput(ctx, prefix, family, k, renamed);
    }
    ctx.cat.LateStreams.push_back(std::move(late));
}

// Writes the index of every VobSub output and keeps its units for the report.
void finishVobSub(JobRunner& ctx, const std::string& prefix) {
    for (size_t k = 0; k < ctx.io.SubOut.size(); ++k) {
        auto* w = dynamic_cast<VobSubWriter*>(ctx.io.SubOut[k].get());
        if (!w) continue;
        w->finish();
        ctx.SubUnits[k] = w->units();
        const std::string name =
            escapeMarkup(namePart(streamOutput(ctx, prefix, Family::Subpicture, k).index));
        if (w->droppedBeforeStart() > 0)
            ctx.log(std::to_string(w->droppedBeforeStart()) +
                    " subpicture units before the video's start left out of " + name);
        if (w->droppedUnfinished() > 0)
            ctx.log(std::to_string(w->droppedUnfinished()) +
                    " incomplete subpicture units left out of " + name);
        if (w->droppedSharingPack() > 0)
            ctx.log(std::to_string(w->droppedSharingPack()) +
                    " subpicture units sharing a pack with an earlier one left out of " + name);
        if (ctx.job.output.forcedOnly)
            ctx.log("Forced units only: " + std::to_string(w->units().written()) + " of " +
                    std::to_string(w->units().size()) + " written to " + name);
    }
}

void writeFile(JobRunner& ctx, const std::string& name, const std::string& text) {
    auto out = createOutput(ctx, name);
    ctx.tell(FileCreated{name, std::nullopt});
    out->write(text.data(), text.size());
    out->close();
}

// The hand-over files of a demux: those a finished one writes.
std::vector<std::string> handOverNames(const JobRunner& ctx, const std::string& prefix) {
    std::vector<std::string> names;
    if (ctx.job.output.chapters && !ctx.cat.titleFacts.chapters.empty()) {
        names.push_back(prefix + ".chapters.xml");
        names.push_back(prefix + ".chapters.txt");
    }
    if (ctx.job.output.mkvmergeOptions) names.push_back(prefix + ".mkvmerge.json");
    return names;
}

// A cancelled demux writes no hand-over file; one an earlier run left under the same
// name would name the now cut-off stream files as whole, so it goes. Only a regular file
// of ours with no other name is removed.
void removeStaleHandOvers(JobRunner& ctx, const std::string& prefix) {
    // In the folder the job wrote into, when it got as far as opening it: a rename of the
    // folder since then does not send the removal elsewhere.
    const int at = ctx.outputFolder ? ctx.outputFolder->fd() : AT_FDCWD;
    for (const std::string& name : handOverNames(ctx, prefix)) {
        const std::string entry = ctx.outputFolder ? namePart(name) : name;
        struct stat st {};
        if (::fstatat(at, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || st.st_nlink != 1)
            continue;
        if (::unlinkat(at, entry.c_str(), 0) == 0)
            ctx.log("Removed " + escapeMarkup(namePart(name)) +
                    " of an earlier run: it would name the incomplete files.");
    }
}

// Did the finished demux write nothing to this output of its own?
bool writtenEmpty(const JobRunner& ctx, const std::string& path) {
    const int at = ctx.outputFolder ? ctx.outputFolder->fd() : AT_FDCWD;
    const std::string entry = ctx.outputFolder ? namePart(path) : path;
    struct stat st {};
    return ::fstatat(at, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
           st.st_size == 0;
}

// The title's chapters, and the one options file mkvmerge needs for all the files.
void writeFilesForMuxers(JobRunner& ctx, const std::string& prefix,
                         const std::vector<std::string>& renamed,
                         const std::vector<std::string>& captions) {
    const auto& choices = ctx.job.output;
    const bool chapters = choices.chapters && !ctx.cat.titleFacts.chapters.empty();
    if (chapters) {
        writeFile(ctx, prefix + ".chapters.xml", matroskaChapters(ctx.cat.titleFacts.chapters));
        writeFile(ctx, prefix + ".chapters.txt", ogmChapters(ctx.cat.titleFacts.chapters));
    }
    if (!choices.mkvmergeOptions) return;
    const std::string name = prefix + ".mkvmerge.json";
    std::vector<MkvmergeTrack> tracks;
    std::string left, empty;
    for (Family family : kFamilies) {
        for (size_t k = 0; k < static_cast<size_t>(kSelectableSlots[familyIndex(family)]); ++k) {
            if (!ctx.job.selection.at(family, k).checked) continue;
            const StreamOutput out = streamOutput(ctx, prefix, family, k);
            if (!out.forMkvmerge) {
                left += (left.empty() ? "" : ", ") + namePart(out.path);
                continue;
            }
            // An empty track makes mkvmerge warn and fail (forced units only, none forced).
            if (writtenEmpty(ctx, out.path)) {
                empty += (empty.empty() ? "" : ", ") + namePart(out.path);
                continue;
            }
            MkvmergeTrack t;
            t.kind = static_cast<TrackKind>(family);
            t.forced = family == Family::Subpicture && choices.forcedOnly;
            // Paths relative to the options file, so that the folder can be moved.
            t.file = namePart(out.index.empty() ? out.path : out.index);
            const int32_t entry = ctx.cat.slotTable(family)[k];
            if (const auto it = ctx.cat.titleFacts.languages.find(entry);
                it != ctx.cat.titleFacts.languages.end() && family != Family::Video)
                t.language = it->second.code;
            t.name = ctx.job.selection.at(family, k).caption;
            if (family == Family::Audio) t.syncMs = streamDelayMs(ctx, family, k);
            tracks.push_back(std::move(t));
        }
    }
    // The captions as text tracks; the disc names no language for them.
    for (const std::string& file : captions) {
        MkvmergeTrack t;
        t.kind = TrackKind::Subtitles;
        t.file = namePart(file);
        const std::string stem = namePart(file).substr(0, namePart(file).size() - 4);
        t.name = stem.substr(stem.rfind('.') + 1);
        tracks.push_back(std::move(t));
    }
    if (!left.empty())
        ctx.log("Left out of " + escapeMarkup(namePart(name)) +
                ", mkvmerge cannot read them: " + escapeMarkup(left));
    if (!empty.empty())
        ctx.log("Left out of " + escapeMarkup(namePart(name)) +
                ", nothing was written to them: " + escapeMarkup(empty));
    if (tracks.empty()) {
        ctx.log("No stream file for mkvmerge: " + escapeMarkup(namePart(name)) + " not written");
        return;
    }
    if (!renamed.empty()) {
        std::string list;
        for (const std::string& r : renamed) list += (list.empty() ? "" : ", ") + r;
        ctx.log("Named by codec for mkvmerge: " + escapeMarkup(list));
    }
    writeFile(ctx, name,
              mkvmergeOptions(namePart(prefix) + ".mkv", tracks,
                              chapters ? namePart(prefix) + ".chapters.xml" : ""));
}

void runDemux(JobRunner& ctx) {
    ctx.cat.FrameCount = {0, 0};
    ctx.cat.FieldCount = {0, 0};
    ctx.CreatedFiles.clear();

    const Title title = jobTitle(ctx);
    const std::string prefix = outputPrefix(ctx);

    ctx.slog("Opening", 0);
    openJobSource(ctx, false);
    logFileSize(ctx);

    for (auto& units : ctx.SubUnits) units = {};
    if (upperExt(ctx.job.source) == ".VOB") ctx.cat.titleFacts.dvdVideo = true;
    std::vector<std::string> renamed;
    createOutputs(ctx, prefix, Family::Video, ctx.io.VideoOut, renamed);
    createOutputs(ctx, prefix, Family::Audio, ctx.io.AudioOut, renamed);
    createOutputs(ctx, prefix, Family::Subpicture, ctx.io.SubOut, renamed);

    ctx.cat.LateStreams.clear();
    if (ctx.cat.fastCheckStop >= 0)
        ctx.onLateStream = [&](int32_t entry, Family family, int slot) {
            lateStream(ctx, prefix, entry, family, slot);
        };
    struct Unhook {
        JobRunner& c;
        ~Unhook() { c.onLateStream = nullptr; }
    } unhook{ctx};

    ctx.slog("Demuxing " + namePart(ctx.job.source), 0);
    forEachPart(ctx, title, "Demuxing", [&](const std::string&) {
        // By the slots the outputs were named by, before the pass counts them again.
        convertLpcmOutputs(ctx.io, ctx.cat, ctx.job);
        demux(ctx, kDemuxPass);
    });

    ctx.io.SourceStream.reset();
    finishVobSub(ctx, prefix);
    ctx.io.closeOutputs();
    // Only Cancel stops a writing pass early; files for muxers are of a finished demux
    // only, and a cancel's last line says which files are cut off.
    if (!ctx.control.stopRequested()) {
        writeFilesForMuxers(ctx, prefix, renamed, writeCaptions(ctx, prefix));
        finishLog(ctx);
        logFrameCounts(ctx, FrameLines::Demux);
        return;
    }
    removeStaleHandOvers(ctx, prefix);
    logFrameCounts(ctx, FrameLines::Demux);
    finishLog(ctx, {ctx.control.stopReason(), -1, &ctx.CreatedFiles});
}

} // namespace

JobOutcome demuxJob(JobRunner& ctx, const JobRequest& request) {
    JobOutcome outcome;
    outcome.ran = runJob(ctx, request, [&] {
        runDemux(ctx);
        outcome.cancelled = ctx.control.stopRequested();
    });
    return outcome;
}

} // namespace qf
