#pragma once
// The job runner: what the Read, Demux and Rebuild jobs and the playlist reader share and
// keep from one job to the next (the catalogue of the last Read, the source and outputs of
// the running job, its request and base name), running a job under the job guard with the
// clean-up after an error, and the lines that end a job.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/blockpass.h"
#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/events.h"
#include "engine/log_formatter.h"
#include "engine/pass_io.h"
#include "engine/paths.h"
#include "engine/request.h"
#include "engine/run_control.h"
#include "engine/stream.h"
#include "engine/subpicture_units.h"
#include "engine/timefmt.h"

namespace qf {

class JobRunner {
public:
    explicit JobRunner(JobEvents& sink) : events(&sink) {}
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Where the jobs report; a front end that runs jobs on another thread puts a queue here.
    JobEvents* events;
    TimeSettings timeSettings;
    // Why the running pass should stop, whether it writes, and its pause gate: the only
    // state a front end's thread shares with the job's.
    RunControl control;
    // What the last Read job (or playlist reading) found; the front end shows it.
    Catalogue cat;
    // The running job's source, read buffer and outputs.
    PassIo io;

    std::atomic<bool> busy = false;
    // The request of the running job (or the last one): what it reads, writes and how.
    JobRequest job;
    // The name the outputs of the running job begin with.
    std::string baseName;
    // Called by a demux pass when it meets a stream the read had not listed.
    std::function<void(int32_t entry, Family family, int slot)> onLateStream;
    // How the front end's user reads the whole source, for the notes that say what the
    // fast check left out.
    ReadWholeWords readWholeWords;
    // Playlist attribute tables, indexed 1..8, kept from one reading to the next.
    std::array<std::string, 9> VideoAttrs, AudioAttrs, SubAttrs;
    // The units of each subpicture stream the last Demux job wrote as VobSub, by slot.
    std::array<SubpictureUnitList, 16> SubUnits;
    // The files the last Demux or Rebuild job created, in the order it created them.
    std::vector<std::string> CreatedFiles;
    // The folder the running job creates its outputs in, open while the job runs.
    std::shared_ptr<const OutputFolder> outputFolder;
    // How the jobs open a source: a file on disk, unless a test puts a stream in its place.
    std::function<std::unique_ptr<Stream>(const std::string& path)> openFile;

    // A pass over the running job's source, with the options its request fixed.
    PassEnv passEnv() {
        PassEnv env(io, cat, control, *events);
        env.options = job.pass;
        env.aob = isAobSource(job.source);
        env.dvdVideo = isDvdVideoSource(job.source, cat.titleFacts);
        env.time = timeSettings;
        env.onLateStream = onLateStream;
        return env;
    }
    // Appends a marked-up line to the log.
    void log(std::string_view line) const { events->logAppended(std::string(line)); }
    // Sets status panel 0 or 1.
    void slog(std::string_view text, int panel) const {
        events->statusChanged(panel == 0 ? 0 : 1, std::string(text));
    }
    // The words of the jobs' events, in the front end's time settings.
    LogFormatter formatter() const { return LogFormatter(timeSettings, readWholeWords); }
    // Tells the front end an event, in its words and as a value.
    template <class Event> void tell(const Event& event) const {
        qf::tell(*events, formatter(), event);
    }
    std::string formatTime(std::chrono::duration<double> d) const {
        return formatDuration(d, timeSettings);
    }
    char decimalSeparator() const { return timeSettings.decimalSeparator; }
};

// A pass of the running job over its source (see engine/demux.h, engine/blockpass.h).
inline void demux(JobRunner& runner, uint8_t mode) {
    PassEnv env = runner.passEnv();
    demux(env, mode);
}
inline void runBlocks(JobRunner& runner, const BlockPassSettings& settings, BlockHandler& handler) {
    PassEnv env = runner.passEnv();
    runBlocks(env, settings, handler);
}

// Runs `body` as the job of `request` (kept in ctx.job while it runs), unless one runs
// already: false then. When the body fails, the source and the outputs are closed and the
// error goes on to the front end.
bool runJob(JobRunner& ctx, const JobRequest& request, const std::function<void()>& body);

// The title the job's source starts: every part when the request asks for them, else the
// source alone. Sets the job's base name from it and tells the front end.
Title jobTitle(JobRunner& ctx);
// That title as the request gives it, telling no one and changing nothing.
Title requestTitle(const JobRequest& request);

// Opens path as the new SourceStream (closing the previous one first).
void openSource(JobRunner& ctx, const std::string& path);
// Opens the parts of a title as one SourceStream, each as openSource would.
void openParts(JobRunner& ctx, const std::vector<std::string>& paths);
// "File size: N Mbytes." for the open source.
void logFileSize(JobRunner& ctx);

// How a job's passes ended, for the lines around "Done.".
struct JobEnd {
    StopReason reason = StopReason::None; // None: done
    int64_t fastCheckBytes = -1;          // bytes read when "Fast EVO checking" stopped a read pass
    // A writing job's outputs: a stop names them as incomplete. None for a Read.
    const std::vector<std::string>* files = nullptr;
};

// Tells the jobs' end (Stopped, with the late streams of the catalogue): "Done.", the
// fast-check note, the late streams, or the cancel line; an empty line; status "Ready".
void finishLog(JobRunner& ctx, const JobEnd& end = {});

// Tells the frames counted in both video slots (their lines and, when any, an empty line).
// Durations are at the frame rate the Read job found in the stream; when it found none, the Read
// job shows them at 24000/1001 frames per second (in bold), the Demux job at 23.976.
enum class FrameLines { Read, Demux };
void logFrameCounts(JobRunner& ctx, FrameLines form);
// The time the frames counted in a video slot are shown for, as those lines give them:
// MPEG-2 frames by the fields they are displayed for, other video frame by frame.
std::chrono::duration<double> countedTime(const JobRunner& ctx, size_t slot, FrameLines form);

} // namespace qf
