#pragma once
// What the Read, Demux and Rebuild jobs and the playlist reader share: running under the
// job guard with the clean-up after an error, the parts of a title and the walk onto the
// second, and the lines that end a job.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qf {

class Context;

// Runs `body` as a job, unless one runs already (a button pressed while a pass hands
// control to the window): false then. When the body fails, the source and the outputs
// are closed, `undo` puts the window back so the user can try again, and the error goes
// on to the front end.
bool runJob(Context& ctx, const std::function<void()>& body, const std::function<void()>& undo);

// After a failed Demux or Rebuild job: the buttons as the selection asks. bRebuildBefore
// is the Rebuild button's state when the job started (kept for non-EVO sources).
void restoreJobButtons(Context& ctx, bool bRebuildBefore);

// The second part of the title when "Continue with second  EVO" is ticked and one exists
// (else empty); sets BaseName to the source name without extension, plus "_" and the
// second part's.
std::string titleOf(Context& ctx);

// Opens path as the new SourceStream (closing the previous one first).
void openSource(Context& ctx, const std::string& path);
// "File size: N Mbytes." for the open source.
void logFileSize(Context& ctx);

// When the first part's pass ended without a stop and the title has a second part: opens
// it in the first's place, logs "Continue on NAME", shows `verb` + " " + NAME and runs
// `pass` with NAME. Afterwards a slot the second part left empty keeps the first part's
// stream, so a stream found only in the first part stays selectable, demuxed and rebuilt.
void continueOnSecondPart(Context& ctx, const std::string& second, std::string_view verb,
                          const std::function<void(const std::string& name)>& pass);

// How a job's passes ended, for the lines around "Done.".
struct JobEnd {
    bool cancelled = false;      // the user pressed Cancel
    int64_t fastCheckBytes = -1; // bytes read when "Fast EVO checking" stopped a read pass
};

// Logs "Cancelled." when the user stopped the job, "Done.", the fast-check note when a
// read pass stopped early, and an empty line; status "Ready" and an empty progress panel.
// The note stands before the empty line so that the empty line still ends the job's lines.
void finishLog(Context& ctx, const JobEnd& end = {});

// The frame count lines of both video slots and, when any, an empty line. Durations are at
// the frame rate the Read job found in the stream; when it found none, the Read job shows
// them at 24000/1001 frames per second (in bold), the Demux job at 23.976.
enum class FrameLines { Read, Demux };
void logFrameCounts(Context& ctx, FrameLines form);

} // namespace qf
