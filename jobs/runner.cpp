#include "jobs/runner.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <utility>

#include "engine/markup.h"
#include "engine/parts_stream.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "engine/timefmt.h"
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

namespace {

// "Cancelled: A.ac3 and B.m2v are incomplete.", or their count and folder when there are
// more than three.
std::string cancelLine(const std::vector<std::string>& files) {
    if (files.empty()) return "Cancelled: no file was written.";
    if (files.size() > 3) {
        std::string folder = folderPart(files.front());
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return "Cancelled: " + std::to_string(files.size()) + " files in \"" +
               escapeMarkup(folder.empty() ? "." : folder) + "\" are incomplete.";
    }
    std::string names;
    for (size_t k = 0; k < files.size(); ++k)
        names += (k == 0                  ? ""
                  : k + 1 == files.size() ? " and "
                                          : ", ") +
                 escapeMarkup(namePart(files[k]));
    return "Cancelled: " + names + (files.size() == 1 ? " is" : " are") + " incomplete.";
}

} // namespace

void finishLog(JobRunner& ctx, const JobEnd& end) {
    if (!end.cancelled) ctx.log("Done.");
    if (end.fastCheckBytes >= 0)
        ctx.log("Fast check: only the first " + std::to_string(end.fastCheckBytes / 1048576) +
                " Mbytes were read; " + ctx.readWholeWords.fastCheckNote +
                " to read the whole file and count its frames.");
    for (const auto& late : ctx.cat.LateStreams) {
        char id[8];
        std::snprintf(id, sizeof id, "%02X", static_cast<unsigned>(late.entry) & 0xFF);
        std::string line = "Stream \"" + escapeMarkup(late.caption) + "\" (id " + id +
                           ") begins after the first " +
                           std::to_string(ctx.cat.fastCheckStop / 1048576) +
                           " Mbytes read by the fast check";
        line += late.written ? "; written as well."
                             : " and was not written; read the whole file to include it (" +
                                   ctx.readWholeWords.lateStream + ").";
        ctx.log(line);
    }
    if (end.cancelled) ctx.log(end.files ? cancelLine(*end.files) : "Cancelled.");
    ctx.log("");
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

void logFrameCounts(JobRunner& ctx, FrameLines form) {
    const bool read = form == FrameLines::Read;
    for (int slot = 0; slot < 2; ++slot) {
        const int32_t n = ctx.cat.FrameCount[slot];
        if (n <= 0) continue;
        const std::string time =
            ctx.formatTime(countedSeconds(ctx, static_cast<size_t>(slot), form) / 86400);
        ctx.log(std::to_string(n) +
                (read ? " frames ([b]" + time + " s[/b])" : " frames (" + time + " s)") +
                " count in video stream " + std::to_string(slot) + ".");
    }
    if (static_cast<int64_t>(ctx.cat.FrameCount[0]) + ctx.cat.FrameCount[1] > 0) ctx.log("");
}

double countedSeconds(const JobRunner& ctx, size_t slot, FrameLines form) {
    // Fields shown, as frames; without them (other video, or MPEG-1) the frames counted.
    const int64_t fields = ctx.cat.FieldCount[slot];
    const double frames = fields > 0 ? static_cast<double>(fields) / 2 : ctx.cat.FrameCount[slot];
    // At the rate the Read job found in the stream; without one, each job keeps the film
    // rate it has always assumed.
    const double rate = ctx.cat.VideoFacts[slot].frameRate().value_or(0);
    return rate > 0                   ? frames / rate
           : form == FrameLines::Read ? frames / 24000.0 * 1001
                                      : frames / 23.976;
}

} // namespace qf
