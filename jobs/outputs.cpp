#include "jobs/outputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "engine/codecs.h"
#include "engine/demux.h"
#include "engine/dvd_disc.h"
#include "engine/lpcm_output.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "engine/timeline.h"
#include "jobs/mkvmerge_options.h"
#include "jobs/runner.h"
#include "jobs/utf8.h"

namespace qf {

namespace {

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
    for (const CodecInfo& c : kCodecs)
        for (std::string_view name : c.names)
            if (!name.empty() && sameIgnoringCase(codec, name)) return std::string(c.extension);
    return "";
}

// What an output's name is made of: the request, the name the outputs begin with, and
// what the last Read job learned (ctx). A job names from its own request; the planned
// names come from a request that has not started.
struct Naming {
    const Catalogue& cat;
    const JobRequest& job;
    const std::string& baseName;
};

Naming running(const JobRunner& ctx) {
    return {ctx.cat, ctx.job, ctx.baseName};
}

std::string prefixOf(const Naming& n) {
    // Without an output folder the outputs go beside the source, never into whatever
    // folder the process happens to run in.
    std::string folder = n.job.workdir.empty() ? folderPart(n.job.source) : n.job.workdir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + n.baseName;
}

std::string rebuiltNameOf(const Naming& n) {
    // A DVD-Video title stays a VOB: the players and tools of such files look for that.
    return prefixOf(n) + (discSource(n.job.source) ? ".rebuilt.VOB" : ".rebuilt.EVO");
}

std::string codecExtensionOf(const Naming& n, Family family, size_t slot) {
    // Subpicture files are all of one kind, also those of a stream a playlist listed.
    if (family == Family::Subpicture) return std::string(codecInfo(Codec::Subpicture).extension);
    const int32_t e = n.cat.slotTable(family)[slot].entry();
    const Codec c = codecOfEntry(family, e, upperExt(n.job.source) == ".AOB");
    if (c != Codec::None) return std::string(codecInfo(c).extension);
    // A stream listed by a playlist has no id yet: its caption names the codec.
    return extensionByName(captionCodec(n.job.selection.at(family, slot).caption));
}

using Format = OutputChoices::SubFormat;

// What a subpicture stream's file holds; never Auto.
Format subFormatOf(const Naming& n, size_t slot) {
    const Format f = n.job.output.subFormat;
    if (f != Format::Auto) return f;
    if (n.cat.titleFacts.dvdVideo || upperExt(n.job.source) == ".VOB") return Format::VobSub;
    // mkvmerge reads neither the records nor a stream the last read did not describe.
    if (!n.job.output.mkvmergeOptions) return Format::Sup;
    const StreamFacts& facts = n.cat.facts(Family::Subpicture, slot);
    if (facts.entry < 0 || facts.entry != n.cat.SubSlots[slot].entry()) return Format::Sup;
    for (const StreamInfo& info : facts.found)
        if (const auto* sub = std::get_if<SubpictureInfo>(&info))
            return sub->eightBit ? Format::Pgs : Format::VobSub;
    return Format::Sup;
}

StreamOutput streamOutputOf(const Naming& n, const std::string& prefix, Family family,
                            size_t slot) {
    const auto& choices = n.job.output;
    StreamOutput out;
    std::string stem = prefix + "." + fileNamePart(n.job.selection.at(family, slot).caption);
    const Format format = family == Family::Subpicture ? subFormatOf(n, slot) : Format::Sup;
    const bool vobSub = format == Format::VobSub;
    // VobSub times are counted from the video's start already: a delay in the name would
    // shift them twice in the tools that read it.
    if (choices.delayInName && family != Family::Video && !vobSub) {
        if (const auto delay = streamDelayMs(n.cat, family, slot))
            stem += " DELAY " + std::to_string(*delay) + "ms";
    }
    if (vobSub) {
        out.path = stem + ".sub";
        out.index = stem + ".idx";
        out.forMkvmerge = choices.mkvmergeOptions;
        return out;
    }
    if (format == Format::Pgs) {
        out.path = stem + ".sup";
        out.pgs = true;
        out.forMkvmerge = choices.mkvmergeOptions;
        return out;
    }
    // Converted LPCM is named by its format, which mkvmerge reads.
    if (family == Family::Audio) {
        if (const char* pcm = pcmExtension(lpcmOutput(n.cat, n.job, slot))) {
            out.path = stem + "." + pcm;
            out.forMkvmerge = choices.mkvmergeOptions;
            return out;
        }
    }
    const std::string byCodec = codecExtensionOf(n, family, slot);
    const std::string& chosen = n.job.extensions[static_cast<size_t>(family)];
    out.forMkvmerge = choices.mkvmergeOptions && mkvmergeReads(byCodec);
    std::string ext = choices.codecExtensions && !byCodec.empty() ? byCodec : chosen;
    // mkvmerge tells some raw streams apart by their extension alone.
    if (out.forMkvmerge && ext != byCodec) {
        ext = byCodec;
        out.namedForMkvmerge = true;
    }
    out.path = stem + "." + fileNamePart(ext);
    return out;
}

} // namespace

// A caption or extension as a file-name part that every file system takes: a playlist
// text such as "Director/Commentary" or "../../x" must never lead out of the output
// folder, and a name must survive a copy to a FAT stick or a Windows share. Bytes that are
// no UTF-8, control characters and / \ : * ? " < > | become "_"; at most 200 bytes are
// kept, cut between characters.
std::string fileNamePart(std::string_view text) {
    constexpr size_t kMaxBytes = 200;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Char(text, i, cp);
        const char c = text[i];
        const bool bad =
            n == 0 ||
            (n == 1 && (static_cast<unsigned char>(c) < 32 || c == 0x7F ||
                        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos));
        const size_t take = bad ? 1 : n;
        if (out.size() + take > kMaxBytes) break;
        out.append(bad ? std::string_view("_") : text.substr(i, n));
        i += take;
    }
    return out;
}

std::string codecExtension(const JobRunner& ctx, Family family, size_t slot) {
    return codecExtensionOf(running(ctx), family, slot);
}

std::optional<uint64_t> videoStartPts(const Catalogue& cat) {
    for (const StreamFacts& f : cat.VideoFacts)
        if (f.entry >= 0) return f.firstPts;
    return std::nullopt;
}

std::optional<int64_t> streamDelayMs(const Catalogue& cat, Family family, size_t slot) {
    const auto video = videoStartPts(cat);
    if (family == Family::Video || !video) return std::nullopt;
    const SlotEntry& held = cat.slotTable(family)[slot];
    const StreamFacts& facts = cat.facts(family, slot);
    if (!held.met() || facts.entry != held.entry()) return std::nullopt;
    // A stream that begins in a later segment of the title begins at that segment's title
    // time plus its offset there: its own clock says nothing of the segments before.
    if (family == Family::Audio && cat.segments.size() > 1) {
        const auto starts = [&](const timeline::SegmentPlaced& seg) {
            return std::find_if(seg.streams.begin(), seg.streams.end(),
                                [&](const timeline::StreamOffset& o) {
                                    return o.stream == static_cast<int>(slot);
                                });
        };
        if (starts(cat.segments.front()) == cat.segments.front().streams.end())
            for (const timeline::SegmentPlaced& seg : cat.segments)
                if (const auto o = starts(seg); o != seg.streams.end())
                    return std::llround(static_cast<double>(seg.titleTime + o->offset) / 90.0);
    }
    // Time stamps wrap at 2^33 ticks; the difference is taken the short way.
    const auto ticks = timeline::stampDelta(*video, facts.firstPts);
    return std::llround(static_cast<double>(ticks) / 90.0);
}

PlannedStream plannedStream(const Catalogue& cat, const JobRequest& request,
                            const std::string& baseName, Family family, size_t slot) {
    const Naming n{cat, request, baseName};
    PlannedStream s;
    s.family = family;
    s.slot = slot;
    s.out = streamOutputOf(n, prefixOf(n), family, slot);
    s.delayMs = streamDelayMs(cat, family, slot);
    return s;
}

OutputPlan plan(const Catalogue& cat, const JobRequest& request, bool rebuild) {
    const std::string baseName = requestTitle(request).baseName;
    const Naming n{cat, request, baseName};
    OutputPlan p;
    p.prefix = prefixOf(n);
    if (rebuild) {
        p.rebuilt = rebuiltNameOf(n);
        return p;
    }
    for (Family family : kFamilies)
        for (size_t k = 0; k < static_cast<size_t>(kSelectableSlots[familyIndex(family)]); ++k)
            if (request.selection.at(family, k).checked)
                p.streams.push_back(plannedStream(cat, request, baseName, family, k));
    p.chapters = request.output.chapters && !cat.titleFacts.chapters.empty();
    p.mkvmergeOptions = request.output.mkvmergeOptions;
    p.mkv = request.output.mkv != OutputChoices::Mkv::Off;
    return p;
}

std::vector<std::string> OutputPlan::files() const {
    if (!rebuilt.empty()) return {rebuilt};
    std::vector<std::string> names;
    for (const PlannedStream& s : streams) {
        if (!s.out.index.empty()) names.push_back(s.out.index);
        names.push_back(s.out.path);
    }
    for (std::string& name : handOvers()) names.push_back(std::move(name));
    if (mkv) names.push_back(prefix + ".mkv");
    return names;
}

std::vector<std::string> OutputPlan::handOvers() const {
    std::vector<std::string> names;
    if (chapters) {
        names.push_back(prefix + ".chapters.xml");
        names.push_back(prefix + ".chapters.txt");
    }
    if (mkvmergeOptions) names.push_back(prefix + ".mkvmerge.json");
    return names;
}

void OutputPlan::add(PlannedStream s) {
    auto at = std::find_if(streams.begin(), streams.end(), [&](const PlannedStream& o) {
        return familyIndex(o.family) > familyIndex(s.family) ||
               (o.family == s.family && o.slot > s.slot);
    });
    streams.insert(at, std::move(s));
}

const PlannedStream* OutputPlan::stream(Family family, size_t slot) const {
    for (const PlannedStream& s : streams)
        if (s.family == family && s.slot == slot) return &s;
    return nullptr;
}

std::vector<FileId> jobInputs(const JobRunner& ctx) {
    const JobRequest& job = ctx.job;
    std::vector<std::string> paths = titleOf(job.source, job.allParts).parts;
    paths.push_back(job.source); // also a disc or image, which is no part
    paths.push_back(job.playlist);
    std::vector<FileId> ids;
    for (const std::string& path : paths)
        if (FileId id; fileIdOf(path, id)) ids.push_back(id);
    return ids;
}

std::unique_ptr<Stream> createOutput(JobRunner& ctx, const std::string& name) {
    if (!ctx.outputFolder) {
        // The job's first output opens the folder; one that is missing or no folder is
        // refused as that output, as any file the system does not let the job create.
        const JobRequest& job = ctx.job;
        const bool named = !job.workdir.empty();
        int err = 0;
        ctx.outputFolder =
            OutputFolder::open(named ? job.workdir : folderPart(job.source), named, err);
        if (!ctx.outputFolder)
            throw Error("Cannot create file \"" + name + "\". " +
                        (err == ELOOP ? "Its folder is a symbolic link" : std::strerror(err)));
    }
    auto out = std::make_unique<FileStream>(
        ctx.outputFolder, name,
        ctx.job.output.keepExisting ? FileStream::Mode::CreateNew : FileStream::Mode::Create,
        jobInputs(ctx));
    ctx.CreatedFiles.push_back(name); // the caller tells it, with its words
    return out;
}

} // namespace qf
