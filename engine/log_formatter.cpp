#include "engine/log_formatter.h"

#include <cstdio>

#include "engine/markup.h"
#include "engine/paths.h"

namespace qf {

namespace {

std::string mbytes(int64_t bytes) {
    return std::to_string(bytes / 1048576);
}

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

Words LogFormatter::words(const StreamFound& e) const {
    const CodecInfo& c = codecInfo(e.codec);
    if (c.foundName.empty()) return {};
    return {{"[b]" + std::string(c.foundName) + "[/b]" + std::string(c.foundWords) +
             std::to_string(e.slot) + " found!"},
            {}};
}

Words LogFormatter::words(const SystemHeaderRead& e) const {
    return {{"It contains " + std::to_string(e.video) + " video stream" + (e.video > 1 ? "s" : "") +
             " and " + std::to_string(e.audio) + " audio stream" + (e.audio > 1 ? "s." : ".")},
            {}};
}

// "512/4096 Mbytes, Remaining time: 0:07:01".
Words LogFormatter::words(const Progress& e) const {
    return {{},
            {{1, e.prefix + mbytes(e.done) + "/" + mbytes(e.total) +
                     " Mbytes, Remaining time: " + duration(e.remaining)}}};
}

Words LogFormatter::words(const PartStarted& e) const {
    const std::string name = namePart(e.path);
    return {{"Continue on " + escapeMarkup(name)}, {{0, e.verb + " " + name}}};
}

Words LogFormatter::words(const FileCreated& e) const {
    std::string line = "Creating " + escapeMarkup(e.path);
    // A typographic minus, as in the rest of the log's prose.
    if (e.delayMs)
        line +=
            " (delay " +
            (*e.delayMs < 0 ? "\u2212" + std::to_string(-*e.delayMs) : std::to_string(*e.delayMs)) +
            " ms)";
    return {{std::move(line)}, {}};
}

Words LogFormatter::words(const LateStream&) const {
    return {};
}

// "Done.", the fast-check note when a read pass stopped early, the late streams, and an
// empty line; status "Ready" and an empty progress panel. The note stands before the empty
// line so that the empty line still ends the job's lines. A job the user stopped (or that
// failed) has no "Done.": its last line says so, and for a writing job which files are
// incomplete.
Words LogFormatter::words(const SegmentStarted& e) const {
    return {{escapeMarkup(timeline::segmentLine(e.segment, e.names))}, {}};
}

Words LogFormatter::words(const Stopped& e) const {
    Words w;
    const bool stopped = e.reason == StopReason::Cancel || e.reason == StopReason::Error;
    if (!stopped) w.lines.emplace_back("Done.");
    if (e.reason == StopReason::FastCheck && e.readBytes >= 0)
        w.lines.push_back("Fast check: only the first " + mbytes(e.readBytes) +
                          " Mbytes were read; " + readWhole_.fastCheckNote +
                          " to read the whole file and count its frames.");
    for (const LateStream& late : e.late) {
        char id[8];
        std::snprintf(id, sizeof id, "%02X", static_cast<unsigned>(late.entry) & 0xFF);
        std::string line = "Stream \"" + escapeMarkup(late.caption) + "\" (id " + id + ")";
        if (late.unnamed) {
            line += " is not named by the playlist";
            line += late.written ? "; written as well."
                                 : " and was not written; read the source without the "
                                   "playlist to include it.";
        } else {
            line +=
                " begins after the first " + mbytes(e.lateAfter) + " Mbytes read by the fast check";
            line += late.written ? "; written as well."
                                 : " and was not written; read the whole file to include it (" +
                                       readWhole_.lateStream + ").";
        }
        w.lines.push_back(std::move(line));
    }
    if (stopped) w.lines.push_back(e.writes ? cancelLine(e.files) : "Cancelled.");
    w.lines.emplace_back();
    w.status = {{0, "Ready"}, {1, ""}};
    return w;
}

Words LogFormatter::words(const FramesCounted& e) const {
    Words w;
    for (size_t slot = 0; slot < e.frames.size(); ++slot) {
        const int32_t n = e.frames[slot];
        if (n <= 0) continue;
        const std::string time = duration(e.shown[slot]);
        w.lines.push_back(
            std::to_string(n) +
            (e.read ? " frames ([b]" + time + " s[/b])" : " frames (" + time + " s)") +
            " count in video stream " + std::to_string(slot) + ".");
    }
    if (static_cast<int64_t>(e.frames[0]) + e.frames[1] > 0) w.lines.emplace_back();
    return w;
}

} // namespace qf
