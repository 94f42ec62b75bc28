#pragma once
// A job's events as a test reads them: log lines (marked up and plain), status texts, the
// streams a Read listed and the ones a Demux added, the base name, and the turns a pass
// gives the front end. `Recording<Host>` (recording_host.h) is the same for tests of the window
// model.
#include <functional>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/markup.h"
#include "engine/request.h"

namespace qf::test {

template <class Sink> class Recording : public Sink {
public:
    std::vector<std::string> lines; // marked-up, as logged
    std::vector<std::string> status0, status1;
    StreamList listed;    // as the last Read listed them, with the streams a Demux added
    std::string baseName; // what the outputs are named after, as the last job chose it
    bool running = false; // a pass runs: the window's Cancel button is on
    int pumps = 0;
    // Runs at every processEvents call (e.g. to press Cancel mid-pass).
    std::function<void()> onPump;
    // Runs at every log line (e.g. to change the source while a block is parsed).
    std::function<void(const std::string&)> onLine;

    void logAppended(const std::string& l) override {
        lines.push_back(l);
        if (onLine) onLine(l);
    }
    void statusChanged(int panel, const std::string& t) override {
        (panel == 0 ? status0 : status1).push_back(t);
    }
    void passRunning(bool on) override { running = on; }
    void baseNameChosen(const std::string& b) override { baseName = b; }
    void streamsListed(const StreamList& streams) override { listed = streams; }
    void streamAdded(Family family, size_t slot, const std::string& caption) override {
        listed.at(family, slot) = {caption, true};
    }
    void processEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    // The log as plain text, one line per entry, each ending in "\n".
    std::string plainLog() const {
        std::string s;
        for (auto& l : lines) s += plainText(l) + "\n";
        return s;
    }
};

using RecordingEvents = Recording<JobEvents>;

// Every stream a Read listed, ticked with its caption, as a window ticks them.
inline Selection listedSelection(const StreamList& listed) {
    Selection s;
    for (Family family : kFamilies) {
        const size_t slots = family == Family::Video ? listed.video.size() : listed.audio.size();
        for (size_t k = 0; k < slots; ++k) {
            const ListedStream& l = listed.at(family, k);
            if (l.present) s.at(family, k) = {true, l.caption};
        }
    }
    return s;
}

} // namespace qf::test
