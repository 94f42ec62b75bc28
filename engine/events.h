#pragma once
// What a running job tells its front end: the core's only way out. A front end turns the
// calls into log lines, status texts and boxes; the window queues them to its own thread.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/codecs.h"
#include "engine/run_control.h"
#include "engine/slotmap.h"
#include "engine/timeline.h"

namespace qf {

// A stream in a selectable slot as a job lists it: its caption, and whether there is one.
struct ListedStream {
    std::string caption;
    bool present = false;
};

// The selectable slots of the three families: 8 video, 16 audio, 16 subpicture.
struct StreamList {
    std::array<ListedStream, 8> video;
    std::array<ListedStream, 16> audio, sub;

    ListedStream& at(Family family, size_t k) {
        return family == Family::Video ? video[k] : family == Family::Audio ? audio[k] : sub[k];
    }
    const ListedStream& at(Family family, size_t k) const {
        return const_cast<StreamList*>(this)->at(family, k);
    }
};

// What a pass and the jobs around it tell, as values. The engine and the jobs make them;
// LogFormatter (engine/log_formatter.h) is the one place that puts them into words.

// A read pass met a stream for the first time and gave it selectable slot `slot` of its
// family; `entry` is its catalogue entry (stream or sub-stream id).
struct StreamFound {
    Family family = Family::Video;
    int slot = -1;
    int32_t entry = -1;
    Codec codec = Codec::None;
};

// The source's first system header, read by a read pass: the streams it announces.
struct SystemHeaderRead {
    int video = 0, audio = 0;
};

// Progress of a pass over the title: bytes done of total, and the time still expected at
// the pace so far. `prefix` goes in front of the status text.
struct Progress {
    int64_t done = 0, total = 0;
    std::chrono::duration<double> remaining{};
    std::string prefix;
};

// A pass goes on to the title's next part (index from 0; the first part is not told);
// `verb` names the job in the status ("Reading", "Demuxing" …).
struct PartStarted {
    size_t index = 0;
    std::string path;
    std::string verb;
};

// A job created an output file; a stream's output may give the delay it starts with.
struct FileCreated {
    std::string path;
    std::optional<int64_t> delayMs;
};

// A stream a demux pass met that the last Read job had not listed (it began after the fast
// check stopped), in the order they were met.
struct LateStream {
    int32_t entry = -1;
    Family family = Family::Video;
    int slot = -1;       // -1: its family was full
    std::string caption; // the caption its box has or would have
    bool written = false;
    bool unnamed = false; // a playlist gave the streams and names none in its slot
};

// A segment of the title after the first begins: where it plays on the title, whether its
// clock starts again, and each audio stream's offset to its video. `names` gives the
// streams' names by audio slot.
struct SegmentStarted {
    timeline::SegmentPlaced segment;
    std::map<int, std::string> names;
};

// A job's passes ended: done (StopReason::None), stopped by the fast check after `readBytes`
// bytes, cancelled, or failed. The late streams its demux met (begun after `lateAfter`
// bytes), and for a writing job the files it created, which a stop leaves incomplete.
struct Stopped {
    StopReason reason = StopReason::None;
    int64_t readBytes = -1;
    std::vector<LateStream> late;
    int64_t lateAfter = -1;
    bool writes = false;
    std::vector<std::string> files;
};

// The frames a job counted in each video slot, and the time they are shown for; a Read job
// shows the time in bold.
struct FramesCounted {
    std::array<int32_t, 2> frames{};
    std::array<std::chrono::duration<double>, 2> shown{};
    bool read = false;
};

class JobEvents {
public:
    virtual ~JobEvents() = default;
    // A log line (marked-up text, see markup.h).
    virtual void logAppended(const std::string& markedLine) = 0;
    // Status panel 0 (state) or 1 (progress) changed; text is without the leading blank.
    virtual void statusChanged(int panel, const std::string& text) = 0;
    // A pass over the source begins (true) or ends (false): Cancel stops it.
    virtual void passRunning(bool running) { (void)running; }
    // The Read job listed the streams it found (its end); every slot is given.
    virtual void streamsListed(const StreamList& streams) { (void)streams; }
    // A Demux job writes a stream the Read job did not list (it began after the fast check).
    virtual void streamAdded(Family family, size_t slot, const std::string& caption) {
        (void)family;
        (void)slot;
        (void)caption;
    }
    // The name the job's outputs begin with.
    virtual void baseNameChosen(const std::string& baseName) { (void)baseName; }

    // Typed events, for front ends that want values rather than words; the log lines and
    // status texts above still carry everything a person reads, and come first.
    virtual void progressed(const Progress& event) { (void)event; }
    virtual void streamFound(const StreamFound& event) { (void)event; }
    virtual void partStarted(const PartStarted& event) { (void)event; }
    virtual void fileCreated(const FileCreated& event) { (void)event; }
    // When it was met; one the job takes in is given to streamAdded as well.
    virtual void lateStreamMet(const LateStream& event) { (void)event; }
    virtual void segmentStarted(const SegmentStarted& event) { (void)event; }
    virtual void stopped(const Stopped& event) { (void)event; }
    // Every 4 MiB of input during a pass: a front end running the pass on its own thread
    // handles pending user events here.
    virtual void processEvents() {}
    // Every 64 MiB: bring the view in line.
    virtual void repaint() {}
};

// Events that go nowhere; useful as a default.
class NullEvents : public JobEvents {
public:
    void logAppended(const std::string&) override {}
    void statusChanged(int, const std::string&) override {}
};

} // namespace qf
