#pragma once
// The state the engine, the jobs and the playlist reader share: what a pass owns and what
// the jobs keep from one job to the next. They report through `events`; the running job's
// request is `job`.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysers/report.h"
#include "engine/events.h"
#include "engine/facts.h"
#include "engine/request.h"
#include "engine/run_control.h"
#include "engine/slotmap.h"
#include "engine/stream.h"
#include "engine/subpicture_units.h"
#include "engine/timefmt.h"
#include "engine/title_facts.h"

namespace qf {

inline constexpr size_t kBlockSize = 0x40000; // 262,144 bytes: what a pass parses at a time
// What a pass reads and writes at a time: sixteen blocks, so that system calls, which cost
// more than copying, come once per 4 MiB of input rather than once per block.
inline constexpr size_t kChunkSize = 16 * kBlockSize;

// Run state: the stop reason, the write mode and the pause gate are in RunControl
// (engine/run_control.h); `busy` (JobState) says a job runs, so no other may start.

// What the running pass owns: reset or refilled by every pass, read by the jobs after it.
struct PassState {
    // Stream catalogue: −1 empty, else the id that claimed the slot (kListedByPlaylist:
    // listed in a playlist; an MPEG audio stream is entered as its PES id + kMpegAudioEntry).
    std::array<int32_t, 16> VideoSlots{};
    std::array<int32_t, 16> AudioSlots{};
    std::array<int32_t, 32> SubSlots{};
    // The catalogue of one family.
    int32_t* slotTable(Family family) {
        return family == Family::Video   ? VideoSlots.data()
               : family == Family::Audio ? AudioSlots.data()
                                         : SubSlots.data();
    }
    const int32_t* slotTable(Family family) const {
        return const_cast<PassState*>(this)->slotTable(family);
    }

    // Why the running pass should stop, whether it writes, and its pause gate.
    RunControl control;

    std::unique_ptr<Stream> SourceStream; // opened and closed by the jobs
    std::vector<uint8_t> ReadBuffer;      // a chunk, grown to two by the first pass
    // The block being parsed: BlockLen bytes at BlockAt in ReadBuffer, which end at the
    // source position BlockEnd.
    size_t BlockAt = 0, BlockLen = kBlockSize;
    int64_t BlockEnd = 0;
    // Outputs of the ticked boxes, made by the Demux job; a demux pass writes into them.
    std::array<std::unique_ptr<Stream>, 2> VideoOut;
    std::array<std::unique_ptr<Stream>, 16> AudioOut;
    std::array<std::unique_ptr<Stream>, 16> SubOut;

    std::array<int32_t, 2> FrameCount{}; // zeroed by the jobs, counted on across all parts
    // MPEG-2: the fields the counted frames are displayed for, which give their duration
    // (film with 3:2 pulldown shows 4 frames for 10 fields); 0 for other video.
    std::array<int64_t, 2> FieldCount{};
    // The title the pass is part of: the bytes of its parts before the source, its whole
    // size and when its first pass began, so that progress and the remaining time cover
    // the title. A total of 0: the source alone.
    struct TitleSpan {
        int64_t before = 0, total = 0;
        double startTime = 0;
        double pausedDays = 0; // held by questions since startTime
    } Span;
    uint32_t EarliestPTS = 0; // set by the Read job, used by demux passes
};

// What the jobs keep from one job to the next.
struct JobState {
    // The slot of every stream met since the last Read job (or playlist reading) began.
    SlotMap Slots;
    // What the last Read job learned of the stream in each slot (its frame rate gives the
    // durations of the frame counts).
    std::array<StreamFacts, 2> VideoFacts;
    std::array<StreamFacts, 16> AudioFacts;
    std::array<StreamFacts, 32> SubFacts;
    // What the last Read job learned of the stream in slot k of a family.
    StreamFacts& facts(Family family, size_t k) {
        return family == Family::Video   ? VideoFacts[k]
               : family == Family::Audio ? AudioFacts[k]
                                         : SubFacts[k];
    }
    const StreamFacts& facts(Family family, size_t k) const {
        return const_cast<JobState*>(this)->facts(family, k);
    }
    // Bytes of the title the last Read job had read when the fast check stopped it; -1
    // when it read everything (or a playlist gave the streams).
    int64_t fastCheckStop = -1;
    // A stream a demux pass met that the last Read job had not listed (it began after the
    // fast check stopped), in the order they were met.
    struct LateStream {
        int32_t entry = -1;
        Family family = Family::Video;
        int slot = -1;       // -1: its family was full
        std::string caption; // the caption its box has or would have
        bool written = false;
    };
    std::vector<LateStream> LateStreams;
    // Called by a demux pass when it meets such a stream, after its slot was claimed; may
    // create its output (VideoOut/AudioOut/SubOut of the slot) and tick its box.
    std::function<void(int32_t entry, Family family, int slot)> onLateStream;
    // How the front end's user reads the whole source, for the notes that say what the
    // fast check left out.
    struct ReadWholeWords {
        std::string fastCheckNote = "untick Fast EVO checking on the Options page";
        std::string lateStream = "untick Fast EVO checking";
    } readWholeWords;
    // What the disc says of the title being read (chapters, palette, languages).
    TitleFacts titleFacts;
    // Playlist attribute tables, indexed 1..8, kept from one reading to the next.
    std::array<std::string, 9> VideoAttrs, AudioAttrs, SubAttrs;

    std::atomic<bool> busy = false;
    // The request of the running job (or the last one): what it reads, writes and how.
    JobRequest job;
    // The streams the last Read job listed, by selectable slot, with their captions.
    StreamList Listed;
    // The name the outputs of the running job begin with.
    std::string baseName;

    // The units of each subpicture stream the last Demux job wrote as VobSub, by slot.
    std::array<SubpictureUnitList, 16> SubUnits;
    // The files the last Demux or Rebuild job created, in the order it created them.
    std::vector<std::string> CreatedFiles;
    // The folder the running job creates its outputs in, open while the job runs.
    std::shared_ptr<const OutputFolder> outputFolder;
    // How the jobs open a source: a file on disk, unless a test puts a stream in its place.
    std::function<std::unique_ptr<Stream>(const std::string& path)> openFile;
};

// What a pass owns and what the jobs keep, and where they report to. The analysers read
// the block and the name tables through the Report side, so a test can hand a Context
// straight to an analyser.
class Context : public Report, public NameTables, public PassState, public JobState {
public:
    explicit Context(JobEvents& events);
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Where the jobs report; a front end that runs jobs on another thread puts a queue here.
    JobEvents* events;
    TimeSettings timeSettings;

    // Appends a marked-up line to the log.
    void log(std::string_view msg);
    std::span<const uint8_t> block() const override {
        const size_t at = BlockAt < ReadBuffer.size() ? BlockAt : ReadBuffer.size();
        const size_t left = ReadBuffer.size() - at;
        return {ReadBuffer.data() + at, BlockLen < left ? BlockLen : left};
    }
    const NameTables& tables() const override { return *this; }
    char decimalSeparator() const { return timeSettings.decimalSeparator; }
    // Sets status panel 0 or 1.
    void slog(std::string_view text, int panel);
    void resetCatalogue();
    void resetFacts();
    // The name tables of the analysers, filled at every pass start.
    void fillReportTables();
    std::string formatTime(double days) const { return formatDuration(days, timeSettings); }
    // Closes the outputs; with `check`, a failed close is thrown as a write error.
    void closeOutputs(bool check = true);
};

} // namespace qf
