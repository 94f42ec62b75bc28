#pragma once
// What a running job tells its front end: the core's only way out. A front end turns the
// calls into log lines, status texts and boxes; the window queues them to its own thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/slotmap.h"

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

    // Typed events, for front ends that want values rather than words; the log lines above
    // still carry everything a person reads.
    // Progress of a pass over the title: bytes done of total, and the seconds still
    // expected at the pace so far. At the same points as the progress text.
    virtual void progressed(int64_t done, int64_t total, double remainingSeconds) {
        (void)done;
        (void)total;
        (void)remainingSeconds;
    }
    // The Read job met a stream for the first time and gave it selectable slot `slot` of
    // family `family`; `entry` is its catalogue entry
    // (stream or sub-stream id).
    virtual void streamFound(Family family, int slot, int32_t entry) {
        (void)family;
        (void)slot;
        (void)entry;
    }
    // A pass goes on to the title's next part (index from 0; the first part is not told).
    virtual void partStarted(size_t index, const std::string& path) {
        (void)index;
        (void)path;
    }
    // A job created an output file.
    virtual void fileCreated(const std::string& path) { (void)path; }
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
