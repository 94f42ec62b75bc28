#include "jobs/runner.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <utility>

#include "engine/parts_stream.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "jobs/disc_title.h"
#include "jobs/runner.h"

namespace qf {

bool runJob(JobRunner& ctx, const JobRequest& request, const std::function<void()>& body) {
    if (ctx.busy.exchange(true)) return false;
    struct Busy {
        JobRunner& c;
        ~Busy() {
            c.outputFolder.reset();
            c.busy = false;
        }
    } busy{ctx};
    ctx.job = request;
    ctx.outputFolder.reset();
    try {
        body();
    } catch (...) {
        ctx.io.SourceStream.reset();
        ctx.io.closeOutputs(false); // the error that ended the job is the one to report
        throw;
    }
    return true;
}

Title requestTitle(const JobRequest& request) {
    // A disc's title is its cells, read as one source: never a next file.
    if (auto name = discTitleName(request)) return Title{{request.source}, std::move(*name)};
    return titleOf(request.source, request.allParts);
}

Title jobTitle(JobRunner& ctx) {
    Title title = requestTitle(ctx.job);
    ctx.baseName = title.baseName;
    ctx.events->baseNameChosen(ctx.baseName);
    return title;
}

void openSource(JobRunner& ctx, const std::string& path) {
    ctx.io.SourceStream.reset();
    ctx.io.SourceStream = ctx.openFile ? ctx.openFile(path)
                                       : std::make_unique<FileStream>(path, FileStream::Mode::Read);
}

void openParts(JobRunner& ctx, const std::vector<std::string>& paths) {
    ctx.io.SourceStream.reset();
    ctx.io.SourceStream = std::make_unique<PartsStream>(paths, [&](const std::string& path) {
        return ctx.openFile ? ctx.openFile(path)
                            : std::make_unique<FileStream>(path, FileStream::Mode::Read);
    });
}

void logFileSize(JobRunner& ctx) {
    // Of the first part: the further ones are named when the pass reaches them.
    const Stream& src = *ctx.io.SourceStream;
    const int64_t size = src.parts().empty() ? src.size() : src.parts().front().size;
    ctx.log("File size: " + std::to_string(size / 1048576) + " Mbytes.");
}

void finishLog(JobRunner& ctx, const JobEnd& end) {
    Stopped e;
    e.reason = end.reason;
    e.readBytes = end.fastCheckBytes;
    e.late = ctx.cat.LateStreams;
    e.lateAfter = ctx.cat.fastCheckStop;
    e.writes = end.files != nullptr;
    if (end.files) e.files = *end.files;
    ctx.tell(e);
}

void logFrameCounts(JobRunner& ctx, FrameLines form) {
    FramesCounted e;
    e.read = form == FrameLines::Read;
    for (size_t slot = 0; slot < e.frames.size(); ++slot) {
        e.frames[slot] = ctx.cat.FrameCount[slot];
        if (e.frames[slot] > 0) e.shown[slot] = countedTime(ctx, slot, form);
    }
    ctx.tell(e);
}

std::chrono::duration<double> countedTime(const JobRunner& ctx, size_t slot, FrameLines form) {
    // Fields shown, as frames; without them (other video, or MPEG-1) the frames counted.
    const int64_t fields = ctx.cat.FieldCount[slot];
    const double frames = fields > 0 ? static_cast<double>(fields) / 2 : ctx.cat.FrameCount[slot];
    // At the rate the Read job found in the stream; without one, each job keeps the film
    // rate it has always assumed.
    const double rate = ctx.cat.VideoFacts[slot].frameRate().value_or(0);
    return std::chrono::duration<double>(rate > 0                   ? frames / rate
                                         : form == FrameLines::Read ? frames / 24000.0 * 1001
                                                                    : frames / 23.976);
}

} // namespace qf
