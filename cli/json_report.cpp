#include "cli/json_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/options.h"
#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/runner.h"
#include "model/session.h"

namespace qf::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFamilies[3] = {"video", "audio", "subpicture"};

// What a catalogue entry carries; nullptr for the playlist's marker.
const char* kindOf(int family, int32_t e, bool aob) {
    if (family == 0) {
        if (e == 0x55 || e == 0x56) return "VC-1";
        if (e == 0xE0 || e == 0xE1) return "MPEG-2";
        if (e == 0xE2 || e == 0xE3) return "H.264";
        return nullptr;
    }
    if (family == 2) {
        if (e >= 0x20 && e <= 0x3F) return "Subpicture";
        if (e >= 0x60 && e <= 0x7F) return "Extended subpicture";
        return nullptr;
    }
    if (e >= 0x80 && e <= 0x87) return "AC-3";
    if (e >= 0x88 && e <= 0x8F) return "DTS";
    if (e == 0xA1 && aob) return "MLP";
    if (e >= 0xA0 && e <= 0xA7) return "LPCM";
    if (e >= 0xB0 && e <= 0xB7) return "TrueHD";
    if (e >= 0xC0 && e <= 0xCF) return "E-AC-3";
    if (e >= kMpegAudioEntry + 0xC0 && e <= kMpegAudioEntry + 0xCF) return "MPEG audio";
    return nullptr;
}

Json fileEntry(const std::string& path) {
    Json f;
    f["path"] = path;
    f["name"] = namePart(path);
    f["size"] = fileSize(path);
    return f;
}

// A number as JSON: whole numbers as integers, so sizes and rates read naturally.
Json number(double d) {
    if (d == static_cast<double>(static_cast<int64_t>(d))) return static_cast<int64_t>(d);
    return d;
}

Json valueOf(const FactValue& v) {
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    return number(std::get<double>(v));
}

// The box of a slot; slots past the selectable ones have none.
const CheckBox* boxOf(const Session& ctx, int family, size_t k) {
    if (k >= static_cast<size_t>(kSelectableSlots[family])) return nullptr;
    return &ctx.ui.box(family, k);
}

// The first PTS of the first video stream the read described: the time other streams'
// delays are measured against.
const StreamFacts* firstVideo(const Session& ctx) {
    for (const StreamFacts& f : ctx.VideoFacts)
        if (f.entry >= 0) return &f;
    return nullptr;
}

Json streams(const Session& ctx) {
    const bool aob = isAobSource(ctx);
    const StreamFacts* video = firstVideo(ctx);
    Json list = Json::array();
    for (int family = 0; family < 3; ++family) {
        const int32_t* slots = ctx.slotTable(static_cast<Family>(family));
        for (size_t k = 0; k < static_cast<size_t>(kFamilySlots[family]); ++k) {
            const int32_t entry = slots[k];
            if (entry == -1) continue;
            const CheckBox* box = boxOf(ctx, family, k);
            const char* kind = kindOf(family, entry, aob);
            Json s;
            s["slot"] = slotName(family, static_cast<int>(k));
            s["family"] = kFamilies[family];
            s["caption"] =
                box ? box->caption : SubKindName(entry) + "." + std::to_string(k); // no box
            s["selectable"] = box != nullptr;
            s["selected"] = box && box->checked;
            if (kind) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(entry & 0xFF));
                s["stream_id"] = entry & 0xFF;
                s["stream_id_hex"] = hex;
                s["kind"] = kind;
            } else { // listed by a playlist, not met by a read
                s["stream_id"] = nullptr;
                s["stream_id_hex"] = nullptr;
                s["kind"] = nullptr;
            }
            const StreamFacts& facts = ctx.facts(static_cast<Family>(family), k);
            if (facts.entry == entry) {
                s["first_pts"] = facts.firstPts;
                if (video) {
                    // Time stamps wrap at 2^32 ticks; the difference is taken the short way.
                    const auto ticks = static_cast<int32_t>(facts.firstPts - video->firstPts);
                    s["delay_ms"] = number(std::round(ticks / 0.09) / 1000);
                } else {
                    s["delay_ms"] = nullptr;
                }
                Json details = Json::object();
                for (const auto& [key, value] : facts.values) details[key] = valueOf(value);
                s["details"] = std::move(details);
                if (family == 2 && k < ctx.SubUnits.size() && !ctx.SubUnits[k].empty()) {
                    // The units of a VobSub file: time from the video's start, forced.
                    Json units = Json::array();
                    for (const SubpictureUnit& u : ctx.SubUnits[k])
                        units.push_back(
                            {{"time_ms", u.timeMs}, {"forced", u.forced}, {"written", u.written}});
                    s["units"] = std::move(units);
                }
            } else {
                s["first_pts"] = nullptr;
                s["delay_ms"] = nullptr;
                s["details"] = Json::object();
            }
            if (ctx.titleFacts.title > 0) {
                const auto it = ctx.titleFacts.languages.find(entry);
                const bool known = it != ctx.titleFacts.languages.end();
                s["language"] = known ? Json(it->second.code) : Json(nullptr);
                s["language_name"] = known ? Json(it->second.name) : Json(nullptr);
            }
            list.push_back(std::move(s));
        }
    }
    return list;
}

// The title of a disc the job read: its number, angle, length, chapters and palette.
Json discTitle(const TitleFacts& t) {
    Json j;
    j["title"] = t.title;
    j["angle"] = t.angle;
    auto ms = [](double s) { return number(std::round(s * 1000) / 1000); };
    j["length"] = ms(t.length);
    Json chapters = Json::array();
    for (size_t k = 0; k < t.chapters.size(); ++k) {
        const double end = k + 1 < t.chapters.size() ? t.chapters[k + 1].start : t.length;
        chapters.push_back({{"number", k + 1},
                            {"start", ms(t.chapters[k].start)},
                            {"duration", ms(end - t.chapters[k].start)}});
    }
    j["chapters"] = std::move(chapters);
    Json palette = Json::array();
    if (t.palette) {
        for (uint32_t rgb : *t.palette) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%06x", rgb);
            palette.push_back(buf);
        }
    }
    j["palette"] = std::move(palette);
    return j;
}

Json frames(const Session& ctx) {
    Json list = Json::array();
    for (size_t k = 0; k < ctx.FrameCount.size(); ++k) {
        const int32_t n = ctx.FrameCount[k];
        if (n <= 0) continue;
        const double rate = ctx.VideoFacts[k].number(key::FrameRate);
        Json f;
        f["slot"] = slotName(0, static_cast<int>(k));
        f["count"] = n;
        f["frame_rate"] = rate > 0 ? number(rate) : Json(nullptr);
        // As the log shows it: the time the frames are displayed for.
        f["duration"] = number(countedSeconds(ctx, k, FrameLines::Read));
        list.push_back(std::move(f));
    }
    return list;
}

} // namespace

std::string jsonReport(const Session& ctx, const ReportRun& run) {
    Json doc;
    doc["program"] = "quillfen-cli";
    doc["version"] = versionText().substr(versionText().rfind(' ') + 1);
    doc["command"] = run.command;

    Json sources = Json::array();
    if (ctx.titleFacts.title > 0) { // a disc's title is read as one source
        sources.push_back(fileEntry(ctx.ui.eEVOfile));
    } else {
        for (const std::string& part : titleOf(ctx.ui.eEVOfile, ctx.ui.cbContinue).parts)
            sources.push_back(fileEntry(part));
    }
    doc["sources"] = std::move(sources);
    doc["base_name"] = ctx.ui.BaseName;
    if (ctx.titleFacts.title > 0) doc["title"] = discTitle(ctx.titleFacts);
    doc["read_complete"] = run.readComplete;
    doc["cancelled"] = run.cancelled;
    doc["streams"] = streams(ctx);
    doc["frames"] = frames(ctx);
    Json chapters = Json::array();
    for (const ChapterMark& c : ctx.titleFacts.chapters)
        chapters.push_back({{"start", c.start}, {"name", c.name}});
    doc["chapters"] = std::move(chapters);

    Json log = Json::array();
    for (const std::string& line : ctx.ui.log) log.push_back(plainText(line));
    doc["log"] = std::move(log);

    if (run.listFiles) {
        Json late = Json::array();
        for (const auto& l : ctx.LateStreams) {
            Json j;
            j["caption"] = l.caption;
            j["stream_id"] = l.entry & 0xFF;
            j["slot"] = l.slot >= 0 ? Json(slotName(static_cast<int>(l.family), l.slot)) : Json();
            j["written"] = l.written;
            late.push_back(std::move(j));
        }
        doc["late_streams"] = std::move(late);
        Json files = Json::array();
        for (const std::string& path : ctx.CreatedFiles) {
            Json f;
            f["path"] = path;
            f["size"] = fileSize(path);
            files.push_back(std::move(f));
        }
        doc["files"] = std::move(files);
    }
    // Plain ASCII: names are escaped, so nothing reaches a terminal as a command, and
    // invalid UTF-8 in a file name or a playlist text is replaced rather than a failure.
    return doc.dump(2, ' ', true, Json::error_handler_t::replace) + "\n";
}

} // namespace qf::cli
