#include "jobs/job_util.h"

#include <cctype>
#include <memory>
#include <string_view>

#include "engine/context.h"
#include "engine/demux.h"
#include "engine/stream.h"
#include "model/paths.h"
#include "model/window.h"

namespace qf {

JobGuard::JobGuard(Context& ctx) : ctx_(ctx), active_(!ctx.busy) {
    if (active_) ctx_.busy = true;
}

JobGuard::~JobGuard() {
    release();
}

void JobGuard::release() {
    if (active_) ctx_.busy = false;
    active_ = false;
}

std::string prepareBaseName(Context& ctx) {
    ctx.ui.BaseName = CutExt(ctx.ui.EVOname);
    std::string second;
    if (ctx.ui.cbContinue) second = getsecond(ctx.ui.eEVOfile);
    if (!second.empty()) ctx.ui.BaseName += "_" + CutExt(namePart(second));
    return second;
}

std::string outputPrefix(const Context& ctx) {
    // Without an output folder the outputs go beside the source, never into whatever
    // folder the process happens to run in.
    std::string folder = ctx.ui.eWorkdir.empty() ? folderPart(ctx.ui.eEVOfile) : ctx.ui.eWorkdir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + ctx.ui.BaseName;
}

CatalogueCopy copyCatalogue(const Context& ctx) {
    return {ctx.VideoSlots, ctx.AudioSlots, ctx.SubSlots};
}

void keepFirstPart(Context& ctx, const CatalogueCopy& first) {
    auto keep = [](auto& slots, const auto& earlier) {
        for (size_t k = 0; k < slots.size(); ++k)
            if (slots[k] == -1) slots[k] = earlier[k];
    };
    keep(ctx.VideoSlots, first.video);
    keep(ctx.AudioSlots, first.audio);
    keep(ctx.SubSlots, first.sub);
}

namespace {

// A caption or extension as a file-name part: a playlist text such as
// "Director/Commentary" or "../../x" must never lead out of the output folder.
std::string fileNamePart(std::string text) {
    for (char& c : text)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32 || c == 0x7F) c = '_';
    return text;
}

const CheckBox& box(const Context& ctx, int family, size_t slot) {
    return family == 0   ? ctx.ui.cbVideo[slot]
           : family == 1 ? ctx.ui.cbAudio[slot]
                         : ctx.ui.cbSub[slot];
}

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The codec part of a caption: "AC-3.6ch.stream.00.English" gives "AC-3", "H.264.stream.0"
// gives "H.264".
std::string_view captionCodec(std::string_view caption) {
    std::string_view kind = caption.substr(0, caption.find(".stream"));
    const size_t dot = kind.rfind('.');
    if (dot != std::string_view::npos && kind.size() > dot + 3 &&
        kind.substr(kind.size() - 2) == "ch")
        kind = kind.substr(0, dot);
    return kind;
}

std::string extensionByName(std::string_view codec) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"VC-1", "vc1"}, {"MPEG-2", "m2v"}, {"H.264", "264"},  {"AVC", "264"},
        {"DD", "ac3"},   {"AC-3", "ac3"},   {"DD+", "eac3"},   {"E-AC-3", "eac3"},
        {"DTS", "dts"},  {"DTSHD", "dts"},  {"DTS-HD", "dts"}, {"LPCM", "pcm"},
        {"MLP", "thd"},  {"TrueHD", "thd"}, {"MPA", "mpa"},    {"MPEG", "mpa"},
    };
    for (const auto& [name, ext] : kNames)
        if (sameText(codec, name)) return std::string(ext);
    return "";
}

} // namespace

std::string codecExtension(const Context& ctx, int family, size_t slot) {
    if (family == 2) return "sup";
    const int32_t e = family == 0 ? ctx.VideoSlots[slot] : ctx.AudioSlots[slot];
    if (family == 0) {
        if (e == 0x55 || e == 0x56) return "vc1";
        if (e == 0xE0 || e == 0xE1) return "m2v";
        if (e == 0xE2 || e == 0xE3) return "264";
    } else {
        if (e >= 0x80 && e <= 0x87) return "ac3";
        if (e >= 0x88 && e <= 0x8F) return "dts";
        if (e == 0xA1 && isAobSource(ctx)) return "mlp";
        if (e >= 0xA0 && e <= 0xA7) return "pcm";
        if (e >= 0xB0 && e <= 0xB7) return "thd";
        if (e >= 0xC0 && e <= 0xCF) return "eac3";
        if (e >= kMpegAudioEntry + 0xC0 && e <= kMpegAudioEntry + 0xCF) return "mpa";
    }
    // A stream listed by a playlist has no id yet: its caption names the codec.
    return extensionByName(captionCodec(box(ctx, family, slot).caption));
}

std::string outputName(const Context& ctx, const std::string& prefix, int family, size_t slot) {
    const auto& ui = ctx.ui;
    std::string ext = ctx.outputChoices.codecExtensions ? codecExtension(ctx, family, slot) : "";
    if (ext.empty()) ext = family == 0 ? ui.eVideoExt : family == 1 ? ui.eAudioExt : ui.eSubExt;
    return prefix + "." + fileNamePart(box(ctx, family, slot).caption) + "." + fileNamePart(ext);
}

std::vector<std::string> plannedOutputs(Context& ctx, bool rebuild) {
    prepareBaseName(ctx);
    const std::string prefix = outputPrefix(ctx);
    if (rebuild) return {prefix + ".rebuilt.EVO"};
    std::vector<std::string> names;
    const size_t count[3] = {2, 16, 16}; // the boxes that have an output
    for (int family = 0; family < 3; ++family)
        for (size_t k = 0; k < count[family]; ++k)
            if (box(ctx, family, k).checked) names.push_back(outputName(ctx, prefix, family, k));
    return names;
}

std::unique_ptr<Stream> createOutput(Context& ctx, const std::string& name) {
    auto out = std::make_unique<FileStream>(name, ctx.outputChoices.keepExisting
                                                      ? FileStream::Mode::CreateNew
                                                      : FileStream::Mode::Create);
    ctx.CreatedFiles.push_back(name);
    return out;
}

void openSource(Context& ctx, const std::string& path) {
    ctx.SourceStream.reset();
    ctx.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
}

void logFileSize(Context& ctx) {
    ctx.log("File size: " + std::to_string(ctx.SourceStream->size() / 1048576) + " Mbytes.");
}

void finishLog(Context& ctx, const JobEnd& end) {
    if (end.cancelled) ctx.log("Cancelled.");
    ctx.log("Done.");
    if (end.fastCheckBytes >= 0)
        ctx.log("Fast check: only the first " + std::to_string(end.fastCheckBytes / 1048576) +
                " Mbytes were read; untick Fast EVO checking on the Options page to read the "
                "whole file and count its frames.");
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
