#include "cli/event_lines.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/options.h"
#include "engine/codecs.h"
#include "engine/demux.h"
#include "jobs/runner.h"

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
    Json j = event("late_stream");
    j["slot"] = slotName(family, static_cast<int>(slot));
    j["caption"] = caption;
    line(j);
}

void EventLines::baseNameChosen(const std::string& baseName) {
    host_.baseNameChosen(baseName);
    Json j = event("base_name");
    j["base_name"] = baseName;
    line(j);
}

void EventLines::progressed(int64_t done, int64_t total, double remainingSeconds) {
    host_.progressed(done, total, remainingSeconds);
    Json j = event("progress");
    j["done"] = done;
    j["total"] = total;
    j["remaining_s"] =
        std::isfinite(remainingSeconds) ? std::max(0L, std::lround(remainingSeconds)) : 0L;
    line(j);
}

void EventLines::streamFound(Family family, int slot, int32_t entry) {
    host_.streamFound(family, slot, entry);
    if (!told_.emplace(family, slot, entry).second) return;
    const bool aob = ctx_ && isAobSource(ctx_->job.source);
    Json j = event("stream");
    j["slot"] = slotName(family, slot);
    j["stream_id"] = entry & 0xFF;
    j["kind"] = std::string(codecInfo(codecOfEntry(family, entry, aob)).json);
    line(j);
}

void EventLines::partStarted(size_t index, const std::string& path) {
    host_.partStarted(index, path);
    Json j = event("part");
    j["index"] = index;
    j["path"] = path;
    line(j);
}

void EventLines::fileCreated(const std::string& path) {
    host_.fileCreated(path);
    Json j = event("file");
    j["path"] = path;
    line(j);
}

} // namespace qf::cli
