#pragma once
// The words of the log and of the status panels: each event of a pass or a job (see
// events.h) as the marked-up lines and status texts a person reads. The engine and the jobs
// tell events; this is the one place that words them. Analysers' results have their own
// words (describe.h).
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "engine/events.h"
#include "engine/timefmt.h"

namespace qf {

// How the front end's user reads the whole source, for the notes that say what the fast
// check left out.
struct ReadWholeWords {
    std::string fastCheckNote = "untick Fast EVO checking on the Options page";
    std::string lateStream = "untick Fast EVO checking";
};

// What an event says: log lines, then status texts by panel (0 state, 1 progress).
struct Words {
    std::vector<std::string> lines;
    std::vector<std::pair<int, std::string>> status;
};

class LogFormatter {
public:
    explicit LogFormatter(const TimeSettings& time, const ReadWholeWords& readWhole = {})
        : time_(time), readWhole_(readWhole) {}

    Words words(const StreamFound& e) const;
    Words words(const SystemHeaderRead& e) const;
    Words words(const Progress& e) const;
    Words words(const PartStarted& e) const;
    Words words(const FileCreated& e) const;
    Words words(const LateStream& e) const; // none when met: Stopped names it
    Words words(const SegmentStarted& e) const;
    Words words(const Stopped& e) const;
    Words words(const FramesCounted& e) const;

    std::string duration(std::chrono::duration<double> d) const { return formatDuration(d, time_); }

private:
    TimeSettings time_;
    ReadWholeWords readWhole_;
};

namespace told {
// The typed call of each event that has one.
inline void typed(JobEvents& s, const StreamFound& e) {
    s.streamFound(e);
}
inline void typed(JobEvents& s, const Progress& e) {
    s.progressed(e);
}
inline void typed(JobEvents& s, const PartStarted& e) {
    s.partStarted(e);
}
inline void typed(JobEvents& s, const FileCreated& e) {
    s.fileCreated(e);
}
inline void typed(JobEvents& s, const LateStream& e) {
    s.lateStreamMet(e);
}
inline void typed(JobEvents& s, const SegmentStarted& e) {
    s.segmentStarted(e);
}
inline void typed(JobEvents& s, const Stopped& e) {
    s.stopped(e);
}
inline void typed(JobEvents&, const SystemHeaderRead&) {}
inline void typed(JobEvents&, const FramesCounted&) {}
} // namespace told

// Gives `sink` the event's words (log lines, then status texts), then the event itself.
template <class Event>
void tell(JobEvents& sink, const LogFormatter& formatter, const Event& event) {
    const Words w = formatter.words(event);
    for (const std::string& line : w.lines) sink.logAppended(line);
    for (const auto& [panel, text] : w.status) sink.statusChanged(panel, text);
    told::typed(sink, event);
}

} // namespace qf
