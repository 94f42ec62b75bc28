#pragma once
// One pass over the source from its current position to its end.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "analysers/report.h"
#include "engine/catalogue.h"
#include "engine/events.h"
#include "engine/log_formatter.h"
#include "engine/pass_io.h"
#include "engine/request.h"
#include "engine/run_control.h"
#include "engine/timefmt.h"

namespace qf {

enum : uint8_t { kReadPass = 0, kDemuxPass = 1 };

// What one pass works with, handed in by the job that runs it: where it reads and writes,
// the catalogue it fills (read) or follows (demux), the run control, where it reports,
// and the options fixed when the job started. The analysers read the block and the name
// tables through the Report side.
class PassEnv final : public Report {
public:
    PassEnv(PassIo& passIo, Catalogue& catalogue, RunControl& runControl, JobEvents& sink)
        : io(passIo), cat(catalogue), control(runControl), events(sink) {
        names_.fill();
    }

    PassIo& io;
    Catalogue& cat;
    RunControl& control;
    JobEvents& events;
    PassOptions options;
    bool aob = false;      // the source is a DVD-Audio object
    bool dvdVideo = false; // the source is DVD-Video (a .VOB, or a disc's title)
    TimeSettings time;
    // Called by a demux pass when it meets a stream the read had not listed, after its
    // slot was claimed; may create its output (the slot's in io) and tick its box.
    std::function<void(int32_t entry, Family family, int slot)> onLateStream;

    // Appends a marked-up line to the log.
    void log(std::string_view line) const { events.logAppended(std::string(line)); }
    // Sets status panel 0 or 1.
    void slog(std::string_view text, int panel) const {
        events.statusChanged(panel == 0 ? 0 : 1, std::string(text));
    }
    // Tells the front end an event, in the words LogFormatter gives it and as a value.
    template <class Event> void tell(const Event& event) const {
        qf::tell(events, LogFormatter(time), event);
    }
    char decimalSeparator() const { return time.decimalSeparator; }

    std::span<const uint8_t> block() const override { return io.block(); }
    const NameTables& tables() const override { return names_; }

private:
    NameTables names_;
};

// Mode 0 (read pass): detect, announce and describe streams, count frames.
// Mode 1 (demux pass): write every ticked stream's payload to its output.
// Throws Error("Stream read error: ...") when the source delivers nothing before its end,
// and lets write errors of the outputs through.
void demux(PassEnv& env, uint8_t mode);

// Does the source path name a DVD-Audio object (".AOB" in any letter case)?
bool isAobSource(const std::string& source);
// Is the source DVD-Video: a ".VOB" file (any letter case), or a title the disc's
// IFO files describe?
bool isDvdVideoSource(const std::string& source, const TitleFacts& facts);

} // namespace qf
