#pragma once
// What the Read, Demux and Rebuild jobs and the playlist reader share: running under the
// job guard with the clean-up after an error, the parts of a title and the walk over them,
// and the lines that end a job.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/paths.h"

namespace qf {

class Context;

struct JobRequest;

// Runs `body` as the job of `request` (kept in ctx.job while it runs), unless one runs
// already: false then. When the body fails, the source and the outputs are closed and the
// error goes on to the front end.
bool runJob(Context& ctx, const JobRequest& request, const std::function<void()>& body);

// The title the job's source starts: every part when the request asks for them, else the
// source alone. Sets the job's base name from it and tells the front end.
Title jobTitle(Context& ctx);
// That title as the request gives it, telling no one and changing nothing.
Title requestTitle(const JobRequest& request);

// Opens path as the new SourceStream (closing the previous one first).
void openSource(Context& ctx, const std::string& path);
// "File size: N Mbytes." for the open source.
void logFileSize(Context& ctx);

// Runs `pass` with each part's name, in order: first on the source, which the job has
// opened; then, while the passes end without a stop, on each further part: opens it in the previous
// one's place, logs "Continue on NAME" and shows `verb` + " " + NAME. Progress and remaining time
// count over the whole title. A slot a later part left empty keeps the stream an earlier part gave
// it, so a stream found only in one part stays selectable, demuxed and rebuilt.
void forEachPart(Context& ctx, const Title& title, std::string_view verb,
                 const std::function<void(const std::string& name)>& pass);

// How a job's passes ended, for the lines around "Done.".
struct JobEnd {
    bool cancelled = false;      // the user pressed Cancel
    int64_t fastCheckBytes = -1; // bytes read when "Fast EVO checking" stopped a read pass
    // A writing job's outputs: a cancel names them as incomplete. None for a Read.
    const std::vector<std::string>* files = nullptr;
};

// Logs "Done.", the fast-check note when a read pass stopped early, and an empty line;
// status "Ready" and an empty progress panel. The note stands before the empty line so
// that the empty line still ends the job's lines. A job the user stopped has no "Done.":
// its last line says so, and for a writing job which files are incomplete.
void finishLog(Context& ctx, const JobEnd& end = {});

// The frame count lines of both video slots and, when any, an empty line. Durations are at
// the frame rate the Read job found in the stream; when it found none, the Read job shows
// them at 24000/1001 frames per second (in bold), the Demux job at 23.976.
enum class FrameLines { Read, Demux };
void logFrameCounts(Context& ctx, FrameLines form);
// The seconds the frames counted in a video slot are shown for, as those lines give them:
// MPEG-2 frames by the fields they are displayed for, other video frame by frame.
double countedSeconds(const Context& ctx, size_t slot, FrameLines form);

} // namespace qf
