#pragma once
// The files the Demux and Rebuild jobs write: the plan that names them, and their creation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/slotmap.h"

namespace qf {

struct Catalogue;
class JobRunner;
class Stream;
struct FileId;
struct JobRequest;

// A caption or extension as a file-name part: bytes that are no UTF-8, control
// characters and / \\ : * ? " < > | become "_"; cut to 200 bytes between characters.
std::string fileNamePart(std::string_view text);
// How the Demux job writes the stream of a ticked box: prefix + "." + caption
// [+ " DELAY Nms"] + "." + extension.
struct StreamOutput {
    std::string path;              // the stream's file; for VobSub the .sub
    std::string index;             // for VobSub the .idx, else empty
    bool pgs = false;              // presentation graphics (.sup) of the units
    bool forMkvmerge = false;      // mkvmerge reads it: the options file names it
    bool namedForMkvmerge = false; // named by its codec only because the options file names it
};
// A stream a job writes: its slot, its file(s) and its delay against the first video
// stream in whole ms (none when the last Read job did not see both).
struct PlannedStream {
    Family family = Family::Video;
    size_t slot = 0;
    StreamOutput out;
    std::optional<int64_t> delayMs;
};
// Every file a Demux or Rebuild job writes, named as it names them. Names are decided here
// and nowhere else.
struct OutputPlan {
    std::string prefix;                 // output folder + the title's base name
    std::vector<PlannedStream> streams; // the ticked streams: video, audio, then subpicture
    std::string rebuilt;                // the Rebuild job's file; empty for a Demux job
    bool chapters = false;              // prefix + ".chapters.xml" and ".chapters.txt"
    bool mkvmergeOptions = false;       // prefix + ".mkvmerge.json"
    bool mkv = false;                   // prefix + ".mkv", muxed by mkvmerge at the end

    // In the order the job creates them.
    std::vector<std::string> files() const;
    // The files a finished demux writes for the tools that take its streams on.
    std::vector<std::string> handOvers() const;
    // Takes in a stream in its family and slot's place.
    void add(PlannedStream s);
    const PlannedStream* stream(Family family, size_t slot) const;
};
// The plan of a Demux job (or a Rebuild job) of `request` after the read that gave `cat`.
// Changes nothing and tells no one. The prefix is the output folder, or the source's
// folder when the request names none. The Rebuild job's file is prefix + ".rebuilt.EVO",
// or ".rebuilt.VOB" for a DVD-Video disc's title.
OutputPlan plan(const Catalogue& cat, const JobRequest& request, bool rebuild);
// One stream as plan() names it (for a stream a job meets that the read had not listed).
PlannedStream plannedStream(const Catalogue& cat, const JobRequest& request,
                            const std::string& baseName, Family family, size_t slot);
// A stream's delay against the first video stream, in whole ms; none when the last Read
// job did not see both.
std::optional<int64_t> streamDelayMs(const Catalogue& cat, Family family, size_t slot);
// The first PTS of the first video stream the last Read job saw, if it saw one.
std::optional<uint64_t> videoStartPts(const Catalogue& cat);
// The extension of a stream's file named by its codec ("vc1", "ac3", "sup" ...): from the
// catalogue entry, or for a stream listed by a playlist from its caption; empty when unknown.
std::string codecExtension(const JobRunner& ctx, Family family, size_t slot);
// The files the running job reads: the source, the title's other parts and the playlist.
std::vector<FileId> jobInputs(const JobRunner& ctx);
// Creates an output of the running job, named in the job's output plan, and adds it to
// CreatedFiles. Every output of a job is created in one folder, opened as ctx.outputFolder
// by the first (the folder the request names, else the source's): where the folder's name
// leads meanwhile does not matter.
std::unique_ptr<Stream> createOutput(JobRunner& ctx, const std::string& name);

} // namespace qf
