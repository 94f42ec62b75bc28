// The Demux job: one elementary-stream file per ticked box, filled by demux passes over
// every part of the title.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysers/report.h"
#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/lpcm_output.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/pcm_layout.h"
#include "jobs/audio_frames.h"
#include "jobs/captions_out.h"
#include "jobs/chapters.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/mkv_mux.h"
#include "jobs/mkvmerge_options.h"
#include "jobs/outputs.h"
#include "jobs/pgs.h"
#include "jobs/runner.h"
#include "jobs/vobsub.h"

namespace qf {

namespace {

// The picture size of the first video stream, where the last read saw one.
void videoSize(const JobRunner& ctx, int& width, int& height) {
    for (const StreamFacts& f : ctx.cat.VideoFacts) {
        if (f.entry < 0) continue;
        if (f.width().value_or(0) > 0 && f.height().value_or(0) > 0) {
            width = static_cast<int>(*f.width());
            height = static_cast<int>(*f.height());
        }
        break;
    }
}

// What the .idx of a subpicture stream says besides its units' times.
VobSubIndex vobSubIndex(JobRunner& ctx, size_t k, const std::string& name) {
    VobSubIndex index;
    videoSize(ctx, index.width, index.height);
    if (ctx.cat.titleFacts.palette) {
        index.palette = *ctx.cat.titleFacts.palette;
    } else if (!ctx.cat.titleFacts.dvdVideo) {
        // HD DVD units may bring their own; the log says which the index got at the end.
        index.palette = kDefaultVobSubPalette;
        index.paletteFromUnits = true;
    } else {
        index.palette = kDefaultVobSubPalette;
        ctx.log("No palette known for the title: " + escapeMarkup(namePart(name)) +
                " has the common default palette");
    }
    if (const auto it = ctx.cat.titleFacts.languages.find(ctx.cat.SubSlots[k].entry());
        it != ctx.cat.titleFacts.languages.end())
        index.language = it->second.code;
    index.videoStartPts = videoStartPts(ctx.cat).value_or(
        ctx.cat.EarliestPTS == kNoEarliestPts ? 0 : ctx.cat.EarliestPTS);
    index.forcedOnly = ctx.job.output.forcedOnly;
    return index;
}

// How the presentation graphics of a subpicture stream are made.
PgsOptions pgsOptions(const JobRunner& ctx) {
    PgsOptions o;
    videoSize(ctx, o.width, o.height);
    o.hasOrigin = ctx.cat.EarliestPTS != kNoEarliestPts;
    o.origin = o.hasOrigin ? ctx.cat.EarliestPTS : 0;
    o.forcedOnly = ctx.job.output.forcedOnly;
    o.palette = ctx.cat.titleFacts.palette.value_or(kDefaultVobSubPalette);
    return o;
}

// Creates the output of a planned stream: its file, or for VobSub its index and its packs.
std::unique_ptr<Stream> createStreamOutput(JobRunner& ctx, const PlannedStream& s,
                                           std::vector<std::string>& renamed) {
    const StreamOutput& out = s.out;
    const size_t k = s.slot;
    const auto delay = s.family == Family::Video ? std::nullopt : s.delayMs;
    std::unique_ptr<Stream> made;
    if (out.pgs) {
        auto sup = createOutput(ctx, out.path);
        ctx.tell(FileCreated{out.path, delay});
        made = std::make_unique<PgsWriter>(std::move(sup), pgsOptions(ctx));
    } else if (out.index.empty()) {
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

// Where the pass writes the stream in slot k of a family.
std::unique_ptr<Stream>& outputOf(PassIo& io, Family family, size_t k) {
    return family == Family::Video   ? io.VideoOut[k]
           : family == Family::Audio ? io.AudioOut[k]
                                     : io.SubOut[k];
}

// Creates the outputs of the planned streams; they are the only files the passes write to
// and the job closes.
void createOutputs(JobRunner& ctx, const OutputPlan& plan, std::vector<std::string>& renamed) {
    for (const PlannedStream& s : plan.streams)
        outputOf(ctx.io, s.family, s.slot) = createStreamOutput(ctx, s, renamed);
}

// A stream the Read job did not list because it begins after the fast check stopped, or
// that the playlist which gave the streams names none for: written as well when the job
// writes every stream (the command line without a selection), otherwise only noted.
// Either way the end of the log names it.
void lateStream(JobRunner& ctx, OutputPlan& plan, int32_t entry, Family family, int slot) {
    if (ctx.cat.playlistGave && slot >= 0 && slot < kSelectableSlots[familyIndex(family)] &&
        ctx.cat.Listed.at(family, static_cast<size_t>(slot)).present)
        return; // the playlist named it: its box was there before the pass
    Catalogue::LateStream late{entry, family, slot, "", false, ctx.cat.playlistGave};
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
        plan.add(plannedStream(ctx.cat, ctx.job, ctx.baseName, family, k));
        std::vector<std::string> renamed; // the options file names them all at the end
        outputOf(ctx.io, family, k) = createStreamOutput(ctx, *plan.stream(family, k), renamed);
        late.written = true;
    }
    ctx.cat.LateStreams.push_back(std::move(late));
}

// Ends a presentation graphics output and keeps its units for the report.
void finishPgs(JobRunner& ctx, PgsWriter& w, size_t k, const std::string& name) {
    w.finish();
    ctx.SubUnits[k] = w.units();
    if (w.droppedUnfinished() > 0)
        ctx.log(std::to_string(w.droppedUnfinished()) +
                " incomplete subpicture units left out of " + name);
    if (w.droppedUnreadable() > 0)
        ctx.log(std::to_string(w.droppedUnreadable()) +
                " subpicture units whose bitmap cannot be read left out of " + name);
    if (ctx.job.output.forcedOnly)
        ctx.log("Forced units only: " + std::to_string(w.units().written()) + " of " +
                std::to_string(w.units().size()) + " written to " + name);
}

// Writes the index of every VobSub output and keeps its units for the report; ends the
// presentation graphics outputs the same way.
void finishVobSub(JobRunner& ctx, const OutputPlan& plan) {
    for (size_t k = 0; k < ctx.io.SubOut.size(); ++k) {
        if (auto* p = dynamic_cast<PgsWriter*>(ctx.io.SubOut[k].get())) {
            finishPgs(ctx, *p, k,
                      escapeMarkup(namePart(plan.stream(Family::Subpicture, k)->out.path)));
            continue;
        }
        auto* w = dynamic_cast<VobSubWriter*>(ctx.io.SubOut[k].get());
        if (!w) continue;
        w->finish();
        ctx.SubUnits[k] = w->units();
        const std::string name =
            escapeMarkup(namePart(plan.stream(Family::Subpicture, k)->out.index));
        if (w->paletteFromUnits())
            ctx.log("Palette of " + name +
                    (w->unitPalette() ? ": from the subpictures" : ": the default palette"));
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

// A cancelled demux writes no hand-over file; one an earlier run left under the same
// name would name the now cut-off stream files as whole, so it goes. Only a regular file
// of ours with no other name is removed.
void removeStaleHandOvers(JobRunner& ctx, const OutputPlan& plan) {
    // In the folder the job wrote into, when it got as far as opening it: a rename of the
    // folder since then does not send the removal elsewhere.
    const int at = ctx.outputFolder ? ctx.outputFolder->fd() : AT_FDCWD;
    for (const std::string& name : plan.handOvers()) {
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

// Where the title's clock jumps, an audio track whose offset to the video changes keeps it
// through a timestamp file of its frames, each segment's from the segment's own time stamp
// on. Returns its name relative to the options file; empty where one delay serves.
// An LPCM stream converted to FLAC: how many samples each run of its bytes holds.
std::optional<std::pair<size_t, size_t>> flacChunks(const JobRunner& ctx, size_t slot) {
    LpcmFacts facts;
    if (lpcmOutput(ctx.cat, ctx.job, slot, &facts) != PcmFormat::Flac) return std::nullopt;
    const LpcmUnpacker unpacker(facts);
    return std::pair{unpacker.chunkBytes(), unpacker.chunkFrames()};
}

bool timedByFrames(const JobRunner& ctx, size_t slot,
                   const std::vector<timeline::AudioAnchor>& anchors) {
    if (ctx.cat.segments.size() < 2 || anchors.empty()) return false;
    const Codec codec = codecOfEntry(Family::Audio, ctx.cat.AudioSlots[slot].entry(),
                                     upperExt(ctx.job.source) == ".AOB");
    return framesKnown(codec) || (codec == Codec::Lpcm && flacChunks(ctx, slot));
}

// Timestamps may not go below zero: where a timed track starts before the video, every
// track and the chapters move on by as much (what mkvmerge does for a negative delay).
int64_t leadMs(const JobRunner& ctx, const OutputPlan& plan) {
    int64_t lead = 0;
    for (const PlannedStream& s : plan.streams) {
        if (s.family != Family::Audio) continue;
        const auto& anchors = ctx.cat.audioAnchors[s.slot];
        if (!timedByFrames(ctx, s.slot, anchors)) continue;
        const timeline::Ticks before =
            timeline::stampDelta(anchors.front().pts, ctx.cat.segments.front().anchorPts);
        lead = std::max<int64_t>(lead, (before + 89) / 90);
    }
    return lead;
}

std::string audioTimestamps(JobRunner& ctx, const std::string& path, size_t slot,
                            const std::vector<timeline::AudioAnchor>& anchors, int64_t lead) {
    if (!timedByFrames(ctx, slot, anchors)) return {};
    const Codec codec = codecOfEntry(Family::Audio, ctx.cat.AudioSlots[slot].entry(),
                                     upperExt(ctx.job.source) == ".AOB");
    const timeline::Ticks start = ctx.cat.segments.front().anchorPts - lead * 90;
    const int at = ctx.outputFolder ? ctx.outputFolder->fd() : AT_FDCWD;
    const std::string entry = ctx.outputFolder ? namePart(path) : path;
    const auto flac = codec == Codec::Lpcm ? flacChunks(ctx, slot) : std::nullopt;
    const std::string text =
        flac ? flacTimestamps(at, entry, anchors, start, flac->first, flac->second)
             : fileTimestamps(codec, at, entry, anchors, start);
    if (text.empty()) return {};
    const std::string name = path + ".timestamps.txt";
    writeFile(ctx, name, text);
    return namePart(name);
}

// A title whose still cells hold a picture: the video's frames timed one after the other
// within each segment, each segment from its title time on, so that the picture before
// it is shown for the still time. Empty where the frames follow each other throughout (or
// were not counted, or are shown for other than two fields each).
std::string videoTimestamps(JobRunner& ctx, const std::string& path, int64_t lead) {
    const auto& segments = ctx.cat.segments;
    const auto fps = ctx.cat.facts(Family::Video, 0).frameRate();
    if (segments.size() < 2 || !fps || *fps <= 0) return {};
    const double frame = 1000.0 / *fps; // ms
    bool held = false;
    double at = 0;
    for (const timeline::SegmentPlaced& s : segments) {
        if (s.frames <= 0 || s.fields != 2 * s.frames) return {};
        if (std::abs(static_cast<double>(s.titleTime) / 90 - at) > frame / 2) held = true;
        at = static_cast<double>(s.titleTime) / 90 + static_cast<double>(s.frames) * frame;
    }
    if (!held) return {};
    std::string text = "# timestamp format v2\n";
    for (const timeline::SegmentPlaced& s : segments)
        for (int64_t k = 0; k < s.frames; ++k) {
            char line[32];
            std::snprintf(line, sizeof line, "%.3f\n",
                          static_cast<double>(s.titleTime) / 90 + static_cast<double>(k) * frame +
                              static_cast<double>(lead));
            text += line;
        }
    const std::string name = path + ".timestamps.txt";
    writeFile(ctx, name, text);
    return namePart(name);
}

// The title's chapters, and the one options file mkvmerge needs for all the files.
void writeFilesForMuxers(JobRunner& ctx, const OutputPlan& plan,
                         const std::vector<std::string>& renamed,
                         const std::vector<std::string>& captions) {
    const auto& choices = ctx.job.output;
    const std::string& prefix = plan.prefix;
    const bool chapters = plan.chapters;
    if (chapters) {
        writeFile(ctx, prefix + ".chapters.xml", matroskaChapters(ctx.cat.titleFacts.chapters));
        writeFile(ctx, prefix + ".chapters.txt", ogmChapters(ctx.cat.titleFacts.chapters));
    }
    if (!plan.mkvmergeOptions) return;
    const std::string name = prefix + ".mkvmerge.json";
    std::vector<MkvmergeTrack> tracks;
    std::string left, empty;
    const int64_t lead = leadMs(ctx, plan);
    {
        for (const PlannedStream& s : plan.streams) {
            const Family family = s.family;
            const size_t k = s.slot;
            const StreamOutput& out = s.out;
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
            const int32_t entry = ctx.cat.slotTable(family)[k].entry();
            if (const auto it = ctx.cat.titleFacts.languages.find(entry);
                it != ctx.cat.titleFacts.languages.end() && family != Family::Video)
                t.language = it->second.code;
            t.name = ctx.job.selection.at(family, k).caption;
            if (family == Family::Video && k == 0)
                t.timestamps = videoTimestamps(ctx, out.path, lead);
            if (family == Family::Audio) {
                t.syncMs = s.delayMs;
                t.timestamps = audioTimestamps(ctx, out.path, k, ctx.cat.audioAnchors[k], lead);
            }
            tracks.push_back(std::move(t));
        }
    }
    if (ctx.cat.titleFacts.dvdVideo) keepForcedOfAudioLanguage(tracks);
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
    if (lead > 0)
        for (MkvmergeTrack& t : tracks)
            if (t.timestamps.empty()) t.syncMs = t.syncMs.value_or(0) + lead;
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
                              chapters ? namePart(prefix) + ".chapters.xml" : "", lead));
}

void runDemux(JobRunner& ctx) {
    ctx.cat.FrameCount = {0, 0};
    ctx.cat.FieldCount = {0, 0};
    ctx.CreatedFiles.clear();

    prepareMkv(ctx);
    const Title title = jobTitle(ctx);
    OutputPlan outputs = plan(ctx.cat, ctx.job, false);

    ctx.slog("Opening", 0);
    openTitle(ctx, title, false);
    logFileSize(ctx);

    for (auto& units : ctx.SubUnits) units = {};
    if (upperExt(ctx.job.source) == ".VOB") ctx.cat.titleFacts.dvdVideo = true;
    std::vector<std::string> renamed;
    createOutputs(ctx, outputs, renamed);

    ctx.cat.LateStreams.clear();
    if (ctx.cat.fastCheckStop >= 0 || ctx.cat.playlistGave)
        ctx.onLateStream = [&](int32_t entry, Family family, int slot) {
            lateStream(ctx, outputs, entry, family, slot);
        };
    struct Unhook {
        JobRunner& c;
        ~Unhook() { c.onLateStream = nullptr; }
    } unhook{ctx};

    ctx.slog("Demuxing " + namePart(ctx.job.source), 0);
    // By the slots the outputs were named by, before the pass counts them again.
    convertLpcmOutputs(ctx.io, ctx.cat, ctx.job);
    demux(ctx, kDemuxPass);

    ctx.io.SourceStream.reset();
    finishVobSub(ctx, outputs);
    ctx.io.closeOutputs();
    // Only Cancel stops a writing pass early; files for muxers are of a finished demux
    // only, and a cancel's last line says which files are cut off.
    if (!ctx.control.stopRequested()) {
        writeFilesForMuxers(ctx, outputs, renamed, writeCaptions(ctx, outputs));
        const bool muxed =
            ctx.job.output.mkv == OutputChoices::Mkv::Off || makeMkv(ctx, outputs.prefix);
        finishLog(ctx, {muxed ? StopReason::None : StopReason::Cancel});
        logFrameCounts(ctx, FrameLines::Demux);
        return;
    }
    removeStaleHandOvers(ctx, outputs);
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
