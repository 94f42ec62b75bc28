#include "jobs/runner.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <utility>

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

void forEachPart(JobRunner& ctx, const Title& title, std::string_view verb,
                 const std::function<void(const std::string& name)>& pass) {
    struct SpanReset {
        JobRunner& c;
        ~SpanReset() { c.io.Span = {}; }
    } reset{ctx};
    ctx.io.Span.started = std::chrono::steady_clock::now();
    int64_t before = 0; // bytes of the parts already passed
    for (size_t k = 0; k < title.parts.size(); ++k) {
        const std::string& path = title.parts[k];
        const std::string name = namePart(path);
        const std::array<int32_t, 16> video = ctx.cat.VideoSlots, audio = ctx.cat.AudioSlots;
        const std::array<int32_t, 32> sub = ctx.cat.SubSlots;
        if (k > 0) {
            if (!ctx.job.allParts || ctx.control.stopRequested()) break;
            openSource(ctx, path);
            ctx.tell(PartStarted{k, path, std::string(verb)});
        }
        // The parts still ahead count as large as they are on disk now.
        int64_t after = 0;
        for (size_t j = k + 1; j < title.parts.size(); ++j)
            after += std::max<int64_t>(0, fileSize(title.parts[j]));
        const int64_t size = ctx.io.SourceStream->size();
        ctx.io.Span.before = before;
        ctx.io.Span.total = before + size + after;
        pass(name);
        before += size;
        if (k == 0) continue;
        auto keep = [](auto& slots, const auto& earlier) {
            for (size_t s = 0; s < slots.size(); ++s)
                if (slots[s] == -1) slots[s] = earlier[s];
        };
        keep(ctx.cat.VideoSlots, video);
        keep(ctx.cat.AudioSlots, audio);
        keep(ctx.cat.SubSlots, sub);
    }
}

void openSource(JobRunner& ctx, const std::string& path) {
    ctx.io.SourceStream.reset();
    ctx.io.SourceStream = ctx.openFile ? ctx.openFile(path)
                                       : std::make_unique<FileStream>(path, FileStream::Mode::Read);
}

void logFileSize(JobRunner& ctx) {
    ctx.log("File size: " + std::to_string(ctx.io.SourceStream->size() / 1048576) + " Mbytes.");
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
