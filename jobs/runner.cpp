#include "jobs/runner.h"

#include <array>
#include <cstdio>
#include <memory>

#include "engine/context.h"
#include "engine/stream.h"
#include "jobs/disc_title.h"
#include "model/markup.h"
#include "model/paths.h"
#include "model/window.h"

namespace qf {

bool runJob(Context& ctx, const std::function<void()>& body, const std::function<void()>& undo) {
    if (ctx.busy) return false;
    struct Busy {
        Context& c;
        explicit Busy(Context& ctx) : c(ctx) { c.busy = true; }
        ~Busy() { c.busy = false; }
    } busy(ctx);
    try {
        body();
    } catch (...) {
        ctx.SourceStream.reset();
        ctx.closeOutputs(false); // the error that ended the job is the one to report
        undo();
        throw;
    }
    return true;
}

std::string titleOf(Context& ctx) {
    if (discTitleName(ctx)) return ""; // a disc's title is its cells, never a next file
    ctx.ui.BaseName = CutExt(ctx.ui.EVOname);
    std::string second;
    if (ctx.ui.cbContinue) second = getsecond(ctx.ui.eEVOfile);
    if (!second.empty()) ctx.ui.BaseName += "_" + CutExt(namePart(second));
    return second;
}

void continueOnSecondPart(Context& ctx, const std::string& second, std::string_view verb,
                          const std::function<void(const std::string& name)>& pass) {
    if (!ctx.ui.cbContinue || ctx.CancelFlag || second.empty()) return;
    const std::array<int32_t, 16> video = ctx.VideoSlots, audio = ctx.AudioSlots;
    const std::array<int32_t, 32> sub = ctx.SubSlots;
    openSource(ctx, second);
    const std::string name = namePart(second);
    ctx.log("Continue on " + escapeMarkup(name));
    ctx.slog(std::string(verb) + " " + name, 0);
    pass(name);
    auto keep = [](auto& slots, const auto& first) {
        for (size_t k = 0; k < slots.size(); ++k)
            if (slots[k] == -1) slots[k] = first[k];
    };
    keep(ctx.VideoSlots, video);
    keep(ctx.AudioSlots, audio);
    keep(ctx.SubSlots, sub);
}

void openSource(Context& ctx, const std::string& path) {
    ctx.SourceStream.reset();
    ctx.SourceStream = ctx.openFile ? ctx.openFile(path)
                                    : std::make_unique<FileStream>(path, FileStream::Mode::Read);
}

void logFileSize(Context& ctx) {
    ctx.log("File size: " + std::to_string(ctx.SourceStream->size() / 1048576) + " Mbytes.");
}

void finishLog(Context& ctx, const JobEnd& end) {
    if (end.cancelled) ctx.log("Cancelled.");
    ctx.log("Done.");
    if (end.fastCheckBytes >= 0)
        ctx.log("Fast check: only the first " + std::to_string(end.fastCheckBytes / 1048576) +
                " Mbytes were read; " + ctx.readWholeWords.fastCheckNote +
                " to read the whole file and count its frames.");
    for (const auto& late : ctx.LateStreams) {
        char id[8];
        std::snprintf(id, sizeof id, "%02X", static_cast<unsigned>(late.entry) & 0xFF);
        std::string line = "Stream \"" + escapeMarkup(late.caption) + "\" (id " + id +
                           ") begins after the first " +
                           std::to_string(ctx.fastCheckStop / 1048576) +
                           " Mbytes read by the fast check";
        line += late.written ? "; written as well."
                             : " and was not written; read the whole file to include it (" +
                                   ctx.readWholeWords.lateStream + ").";
        ctx.log(line);
    }
    ctx.log("");
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

void logFrameCounts(Context& ctx, FrameLines form) {
    const bool read = form == FrameLines::Read;
    for (int slot = 0; slot < 2; ++slot) {
        const int32_t n = ctx.FrameCount[slot];
        if (n <= 0) continue;
        // At the rate the Read job found in the stream; without one, each job keeps the
        // film rate it has always assumed.
        const double rate = ctx.VideoFacts[static_cast<size_t>(slot)].number(key::FrameRate);
        const double days = rate > 0 ? n / rate / 86400
                            : read   ? n / 24000.0 * 1001 / 86400
                                     : n / 23.976 / 86400;
        const std::string time = ctx.formatTime(days);
        ctx.log(std::to_string(n) +
                (read ? " frames ([b]" + time + " s[/b])" : " frames (" + time + " s)") +
                " count in video stream " + std::to_string(slot) + ".");
    }
    if (static_cast<int64_t>(ctx.FrameCount[0]) + ctx.FrameCount[1] > 0) ctx.log("");
}

void restoreJobButtons(Context& ctx, bool bRebuildBefore) {
    ctx.ui.bCancel = false;
    ctx.ui.bCheck = !ctx.ui.eEVOfile.empty();
    ctx.ui.bRebuild = bRebuildBefore;
    cbVideoClick(ctx.ui);
}

} // namespace qf
