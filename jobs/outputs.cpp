#include "jobs/outputs.h"

#include <cctype>
#include <string_view>
#include <utility>

#include "engine/context.h"
#include "engine/demux.h"
#include "engine/stream.h"
#include "jobs/runner.h"
#include "model/paths.h"
#include "model/window.h"

namespace qf {

namespace {

// A caption or extension as a file-name part: a playlist text such as
// "Director/Commentary" or "../../x" must never lead out of the output folder.
std::string fileNamePart(std::string text) {
    for (char& c : text)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32 || c == 0x7F) c = '_';
    return text;
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
        if (sameCaption(codec, name)) return std::string(ext);
    return "";
}

} // namespace

std::string outputPrefix(const Context& ctx) {
    // Without an output folder the outputs go beside the source, never into whatever
    // folder the process happens to run in.
    std::string folder = ctx.ui.eWorkdir.empty() ? folderPart(ctx.ui.eEVOfile) : ctx.ui.eWorkdir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + ctx.ui.BaseName;
}

std::string codecExtension(const Context& ctx, int family, size_t slot) {
    if (family == 2) return "sup";
    const int32_t e = ctx.slotTable(static_cast<Family>(family))[slot];
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
    return extensionByName(captionCodec(ctx.ui.box(family, slot).caption));
}

std::string outputName(const Context& ctx, const std::string& prefix, int family, size_t slot) {
    const auto& ui = ctx.ui;
    std::string ext = ctx.outputChoices.codecExtensions ? codecExtension(ctx, family, slot) : "";
    if (ext.empty()) ext = family == 0 ? ui.eVideoExt : family == 1 ? ui.eAudioExt : ui.eSubExt;
    return prefix + "." + fileNamePart(ctx.ui.box(family, slot).caption) + "." + fileNamePart(ext);
}

std::vector<std::string> plannedOutputs(Context& ctx, bool rebuild) {
    jobTitle(ctx);
    const std::string prefix = outputPrefix(ctx);
    if (rebuild) return {prefix + ".rebuilt.EVO"};
    std::vector<std::string> names;
    for (int family = 0; family < 3; ++family)
        for (size_t k = 0; k < static_cast<size_t>(kSelectableSlots[family]); ++k)
            if (ctx.ui.box(family, k).checked) names.push_back(outputName(ctx, prefix, family, k));
    return names;
}

std::unique_ptr<Stream> createOutput(Context& ctx, const std::string& name) {
    auto out = std::make_unique<FileStream>(name, ctx.outputChoices.keepExisting
                                                      ? FileStream::Mode::CreateNew
                                                      : FileStream::Mode::Create);
    ctx.CreatedFiles.push_back(name);
    return out;
}

} // namespace qf
