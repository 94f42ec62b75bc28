#pragma once
// --events: each typed event of a job as one JSON line on standard error, flushed at once,
// for scripts and front ends that wrap the command line. The log and the report are
// unchanged; the job's events still reach the terminal host.
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include <nlohmann/json_fwd.hpp>

#include "engine/events.h"

namespace qf::cli {

class EventLines final : public JobEvents {
public:
    // Every event goes on to `host`; the typed ones are written to `out` as well.
    EventLines(JobEvents& host, std::FILE* out) : host_(host), out_(out) {}

    // {"event":"job","job":"read"}: a job of the command starts.
    void jobStarted(std::string_view job);
    // {"event":"message","text":...}: what would be a line on standard error.
    void message(std::string_view text);
    // {"event":"stopped","reason":...,"status":N}: the command's end, its last line.
    void stopped(std::string_view reason, int status, bool readComplete);

    void logAppended(const std::string& markedLine) override { host_.logAppended(markedLine); }
    void statusChanged(int panel, const std::string& text) override {
        host_.statusChanged(panel, text);
    }
    void passRunning(bool running) override { host_.passRunning(running); }
    void streamsListed(const StreamList& streams) override { host_.streamsListed(streams); }
    void streamAdded(Family family, size_t slot, const std::string& caption) override;
    void baseNameChosen(const std::string& baseName) override;
    void processEvents() override { host_.processEvents(); }
    void repaint() override { host_.repaint(); }

    void progressed(const Progress& e) override;
    void streamFound(const StreamFound& e) override;
    void partStarted(const PartStarted& e) override;
    void fileCreated(const FileCreated& e) override;
    void lateStreamMet(const LateStream& e) override;
    void segmentStarted(const SegmentStarted& e) override;
    void stopped(const Stopped& e) override { host_.stopped(e); }

private:
    void line(const nlohmann::ordered_json& event);

    JobEvents& host_;
    std::FILE* out_;
    // The streams told in this job: each part's pass meets them again.
    std::set<std::tuple<Family, int, int32_t>> told_;
};

} // namespace qf::cli
