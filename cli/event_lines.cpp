#include "cli/event_lines.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/options.h"
#include "engine/codecs.h"

namespace qf::cli {

namespace {

using Json = nlohmann::ordered_json;

Json event(const char* name) {
    Json j;
    j["event"] = name;
    return j;
}

} // namespace

void EventLines::line(const Json& event) {
    // One write per line, flushed: a reader sees whole lines as they happen. A name that is
    // no UTF-8 (a file name can be any bytes) is written with U+FFFD where it is not.
    std::fputs((event.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n").c_str(), out_);
    std::fflush(out_);
}

void EventLines::jobStarted(std::string_view job) {
    told_.clear();
    Json j = event("job");
    j["job"] = std::string(job);
    line(j);
}

void EventLines::message(std::string_view text) {
    Json j = event("message");
    j["text"] = std::string(text);
    line(j);
}

void EventLines::stopped(std::string_view reason, int status, bool readComplete) {
    Json j = event("stopped");
    j["reason"] = std::string(reason);
    j["status"] = status;
    // Whether the fast check or a cancel stopped the read early; only a finished read says.
    if (status == kExitOk || status == kExitLeftOut) j["read_complete"] = readComplete;
    line(j);
}

void EventLines::streamAdded(Family family, size_t slot, const std::string& caption) {
    host_.streamAdded(family, slot, caption);
}

void EventLines::baseNameChosen(const std::string& baseName) {
    host_.baseNameChosen(baseName);
    Json j = event("base_name");
    j["base_name"] = baseName;
    line(j);
}

void EventLines::progressed(const Progress& e) {
    host_.progressed(e);
    const double remaining = e.remaining.count();
    Json j = event("progress");
    j["done"] = e.done;
    j["total"] = e.total;
    j["remaining_s"] = std::isfinite(remaining) ? std::max(0L, std::lround(remaining)) : 0L;
    line(j);
}

void EventLines::streamFound(const StreamFound& e) {
    host_.streamFound(e);
    if (!told_.emplace(e.family, e.slot, e.entry).second) return;
    Json j = event("stream");
    j["slot"] = slotName(e.family, e.slot);
    j["stream_id"] = e.entry & 0xFF;
    j["kind"] = std::string(codecInfo(e.codec).json);
    line(j);
}

void EventLines::partStarted(const PartStarted& e) {
    host_.partStarted(e);
    Json j = event("part");
    j["index"] = e.index;
    j["path"] = e.path;
    line(j);
}

void EventLines::segmentStarted(const SegmentStarted& e) {
    host_.segmentStarted(e);
    Json j = event("segment");
    j["number"] = e.segment.number;
    j["title_ticks"] = e.segment.titleTime;
    j["source_position"] = e.segment.sourcePosition;
    j["clock_restarts"] = e.segment.clockRestarts;
    line(j);
}

void EventLines::fileCreated(const FileCreated& e) {
    host_.fileCreated(e);
    Json j = event("file");
    j["path"] = e.path;
    line(j);
}

// Only a stream the job takes in: the window's list gains it.
void EventLines::lateStreamMet(const LateStream& e) {
    host_.lateStreamMet(e);
    if (!e.written) return;
    Json j = event("late_stream");
    j["slot"] = slotName(e.family, e.slot);
    j["caption"] = e.caption;
    line(j);
}

} // namespace qf::cli
