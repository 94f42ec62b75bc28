#include "cli/json_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/options.h"
#include "engine/catalogue.h"
#include "engine/codecs.h"
#include "engine/demux.h"
#include "engine/describe_captions.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/timeline.h"
#include "jobs/runner.h"

namespace qf::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFamilyNames[3] = {"video", "audio", "subpicture"};

// What a catalogue entry carries; empty for the playlist's marker.
std::string_view kindOf(Family family, int32_t e, bool aob) {
    return codecInfo(codecOfEntry(family, e, aob)).json;
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

// The values the log shows, under the names scripts read, in the order the analyser met
// them. A field met again (a later header, the title's next part) keeps its first value.
class Details {
public:
    void set(const char* key, double v) { set(key, number(v)); }
    void set(const char* key, const std::string& text) { set(key, Json(text)); }
    void set(const char* key, const char* text) { set(key, Json(text)); }
    Json json = Json::object();

    void add(const StreamInfo& info) {
        std::visit([this](const auto& i) { add(i); }, info);
    }
    void add(std::monostate) {}
    void add(const Ac3Info& info) {
        const Ac3Frame* f = info.stream();
        if (!f) return;
        set("format", f->format());
        set("sampling_rate", f->samplingRate);
        set("bit_rate", f->bitRate);
        set("channel_layout", f->layout());
        set("channels", f->channels());
        set("lfe", f->lfe ? 1 : 0);
    }
    void add(const DtsInfo& info) {
        for (const auto& item : info.found) {
            const auto* c = std::get_if<DtsCore>(&item);
            if (!c) continue;
            if (c->layout()) set("channel_layout", c->layout());
            if (auto v = c->samplingRate()) set("sampling_rate", *v);
            if (auto v = c->bitRate()) set("bit_rate", *v);
            if (auto v = c->lfe()) set("lfe", *v ? 1 : 0);
            if (auto v = c->channels()) set("channels", *v);
            if (auto v = c->bitsPerSample()) set("bits_per_sample", *v);
        }
    }
    void add(const LpcmInfo& info) {
        if (auto v = info.bitsPerSample()) set("bits_per_sample", *v);
        if (auto v = info.samplingRate()) set("sampling_rate", *v);
        if (auto v = info.channelCount()) {
            set("channel_layout", info.layout());
            set("channels", *v);
        }
    }
    void add(const MlpInfo& info) {
        for (const auto& item : info.found) {
            if (const auto* sync = std::get_if<MlpSync>(&item))
                set("format", sync->trueHd ? "TrueHD" : "MLP");
            else if (const auto* q = std::get_if<MlpQuantization>(&item))
                setIf("bits_per_sample", q->bits());
            else if (const auto* rate = std::get_if<MlpRate>(&item))
                setIf("sampling_rate", rate->hertz());
            else if (const auto* layout = std::get_if<MlpLayout>(&item))
                if (auto v = layout->channels()) {
                    set("channel_layout", layout->name());
                    set("channels", *v);
                }
        }
    }
    void add(const MpaInfo& info) {
        if (!info.header) return;
        const MpaHeader& m = *info.header;
        set("format", m.format());
        set("sampling_rate", m.samplingRate);
        if (m.kbits != 0) set("bit_rate", m.kbits * 1000.0);
        set("channel_layout", m.modeName());
        set("channels", m.mode == 3 ? 1 : 2);
    }
    void add(const Mpeg2Info& info) {
        for (const auto& item : info.found) {
            if (const auto* size = std::get_if<Mpeg2Size>(&item)) {
                set("width", size->width);
                set("height", size->height);
            } else if (const auto* a = std::get_if<Mpeg2AspectRate>(&item)) {
                if (const char* ratio = mpeg2Aspect(a->aspect)) set("aspect", ratio);
                if (const double rate = mpeg2FrameRate(a->rate); rate > 0) set("frame_rate", rate);
            } else if (const auto* rate = std::get_if<Mpeg2BitRate>(&item)) {
                if (!rate->variable()) set("bit_rate", rate->value * 400.0);
            }
        }
    }
    void add(const H264Info& info) {
        for (const auto& item : info.found) {
            if (const auto* profile = std::get_if<H264Profile>(&item)) {
                set("profile", h264ProfileName(profile->idc));
            } else if (const auto* level = std::get_if<H264Level>(&item)) {
                set("level", level->name());
            } else if (const auto* size = std::get_if<H264Size>(&item)) {
                set("width", static_cast<double>(size->width));
                set("height", static_cast<double>(size->height));
            } else if (const auto* rate = std::get_if<H264FrameRate>(&item)) {
                set("frame_rate", rate->fps);
            }
        }
    }
    void add(const Vc1Info& info) {
        for (const auto& item : info.found) {
            if (const auto* pl = std::get_if<Vc1ProfileLevel>(&item)) {
                set("profile", pl->advanced() ? "Advanced" : "Reserved");
                set("level", pl->levelName());
            } else if (const auto* size = std::get_if<Vc1Size>(&item)) {
                set("width", size->width);
                set("height", size->height);
            } else if (const auto* aspect = std::get_if<Vc1Aspect>(&item)) {
                if (const char* ratio = vc1SampleAspect(aspect->code)) set("sample_aspect", ratio);
            } else if (const auto* ind = std::get_if<Vc1FrameRateInd>(&item)) {
                set("frame_rate", ind->fps());
            } else if (const auto* codes = std::get_if<Vc1FrameRateCodes>(&item)) {
                if (codes->fps() != 0) set("frame_rate", codes->fps());
            }
        }
    }
    void add(const SubpictureInfo& info) { set("format", info.eightBit ? "8bitRLE" : "2bitRLE"); }

private:
    void set(const char* key, Json v) {
        if (!json.contains(key)) json[key] = std::move(v);
    }
    template <class T> void setIf(const char* key, const std::optional<T>& v) {
        if (v) set(key, static_cast<double>(*v));
    }
};

// The first PTS of the first video stream the read described: the time other streams'
// delays are measured against.
const StreamFacts* firstVideo(const JobRunner& ctx) {
    for (const StreamFacts& f : ctx.cat.VideoFacts)
        if (f.entry >= 0) return &f;
    return nullptr;
}

// The caption of a slot's stream: its box's, or for a stream only the demux pass met (one
// the playlist named nothing for, or one begun after the fast check) the one the log gives.
std::string captionOf(const JobRunner& ctx, Family family, size_t k, const ListedStream* listed,
                      int32_t entry) {
    if (!listed) return SubKindName(entry) + "." + std::to_string(k);
    if (listed->caption.empty())
        for (const auto& late : ctx.cat.LateStreams)
            if (late.family == family && late.slot == static_cast<int>(k)) return late.caption;
    return listed->caption;
}

Json streams(const JobRunner& ctx, const ReportRun& run) {
    const bool aob = isAobSource(ctx.job.source);
    const StreamFacts* video = firstVideo(ctx);
    Json list = Json::array();
    for (Family family : kFamilies) {
        const auto slots = ctx.cat.slotTable(family);
        for (size_t k = 0; k < static_cast<size_t>(kFamilySlots[familyIndex(family)]); ++k) {
            if (slots[k].empty()) continue;
            const int32_t entry = slots[k].entry();
            // Slots past the selectable ones can be listed but not chosen.
            const bool selectable = k < static_cast<size_t>(kSelectableSlots[familyIndex(family)]);
            const ListedStream* listed = selectable ? &ctx.cat.Listed.at(family, k) : nullptr;
            const std::string_view kind = kindOf(family, entry, aob);
            Json s;
            s["slot"] = slotName(family, static_cast<int>(k));
            s["family"] = kFamilyNames[familyIndex(family)];
            s["caption"] = captionOf(ctx, family, k, listed, entry);
            s["selectable"] = selectable;
            s["selected"] = selectable && run.chosen && run.chosen->at(family, k).checked;
            if (!kind.empty()) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(entry & 0xFF));
                s["stream_id"] = entry & 0xFF;
                s["stream_id_hex"] = hex;
                s["kind"] = std::string(kind);
            } else { // listed by a playlist, not met by a read
                s["stream_id"] = nullptr;
                s["stream_id_hex"] = nullptr;
                s["kind"] = nullptr;
            }
            const StreamFacts& facts = ctx.cat.facts(family, k);
            if (facts.entry == entry) {
                s["first_pts"] = facts.firstPts;
                if (video) {
                    // Time stamps wrap at 2^33 ticks; the difference is taken the short way.
                    const auto ticks = timeline::stampDelta(video->firstPts, facts.firstPts);
                    s["delay_ms"] = number(std::round(static_cast<double>(ticks) / 0.09) / 1000);
                } else {
                    s["delay_ms"] = nullptr;
                }
                Details details;
                for (const StreamInfo& info : facts.found) details.add(info);
                s["details"] = std::move(details.json);
                if (family == Family::Video) s["captions"] = captionChannelNames(facts.captions);
                if (family == Family::Subpicture && k < ctx.SubUnits.size() &&
                    !ctx.SubUnits[k].empty()) {
                    // The units of a VobSub file: time from the video's start, forced. A
                    // stream of more than SubpictureUnitList::kListed units lists the first
                    // of them and sums up the rest in "units_not_listed": how many, how many
                    // of them forced, how many written.
                    const SubpictureUnitList& spu = ctx.SubUnits[k];
                    Json units = Json::array();
                    for (const SubpictureUnit& u : spu.listed)
                        units.push_back(
                            {{"time_ms", u.timeMs}, {"forced", u.forced}, {"written", u.written}});
                    s["units"] = std::move(units);
                    if (spu.beyond.units > 0)
                        s["units_not_listed"] = {{"count", spu.beyond.units},
                                                 {"forced", spu.beyond.forced},
                                                 {"written", spu.beyond.written}};
                }
            } else {
                s["first_pts"] = nullptr;
                s["delay_ms"] = nullptr;
                s["details"] = Json::object();
                if (family == Family::Video) s["captions"] = Json::array();
            }
            if (ctx.cat.titleFacts.title > 0) {
                const auto it = ctx.cat.titleFacts.languages.find(entry);
                const bool known = it != ctx.cat.titleFacts.languages.end();
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

Json frames(const JobRunner& ctx) {
    Json list = Json::array();
    for (size_t k = 0; k < ctx.cat.FrameCount.size(); ++k) {
        const int32_t n = ctx.cat.FrameCount[k];
        if (n <= 0) continue;
        const double rate = ctx.cat.VideoFacts[k].frameRate().value_or(0);
        Json f;
        f["slot"] = slotName(Family::Video, static_cast<int>(k));
        f["count"] = n;
        f["frame_rate"] = rate > 0 ? number(rate) : Json(nullptr);
        // As the log shows it: the time the frames are displayed for.
        f["duration"] = number(countedTime(ctx, k, FrameLines::Read).count());
        list.push_back(std::move(f));
    }
    return list;
}

} // namespace

// Where each run of one clock plays on the title: its title time (seconds, and 90 kHz
// ticks), where it begins in the title's bytes and cell, whether its clock starts again,
// and each audio stream's offset to its video.
Json segments(const std::vector<timeline::SegmentPlaced>& placed) {
    Json list = Json::array();
    for (const timeline::SegmentPlaced& s : placed) {
        Json offsets = Json::array();
        for (const timeline::StreamOffset& o : s.streams)
            offsets.push_back({{"slot", slotName(Family::Audio, o.stream)},
                               {"offset_ms", o.offsetMs},
                               {"offset_ticks", o.offset}});
        list.push_back(
            {{"number", s.number},
             {"title_time", static_cast<double>(s.titleTime) / timeline::kTicksPerSecond},
             {"title_ticks", s.titleTime},
             {"source_position", s.sourcePosition},
             {"cell", s.cell > 0 ? Json(s.cell) : Json()},
             {"clock_restarts", s.clockRestarts},
             {"streams", std::move(offsets)}});
    }
    return list;
}

std::string jsonReport(const JobRunner& ctx, const ReportRun& run) {
    Json doc;
    doc["program"] = "quillfen-cli";
    doc["version"] = versionText().substr(versionText().rfind(' ') + 1);
    doc["command"] = run.command;

    Json sources = Json::array();
    if (ctx.cat.titleFacts.title > 0) { // a disc's title is read as one source
        sources.push_back(fileEntry(run.source));
    } else {
        for (const std::string& part : titleOf(run.source, run.allParts).parts)
            sources.push_back(fileEntry(part));
    }
    doc["sources"] = std::move(sources);
    doc["base_name"] = ctx.baseName;
    if (ctx.cat.titleFacts.title > 0) doc["title"] = discTitle(ctx.cat.titleFacts);
    doc["read_complete"] = run.readComplete;
    doc["cancelled"] = run.cancelled;
    doc["streams"] = streams(ctx, run);
    doc["frames"] = frames(ctx);
    Json chapters = Json::array();
    for (const ChapterMark& c : ctx.cat.titleFacts.chapters)
        chapters.push_back({{"start", c.start}, {"name", c.name}});
    doc["chapters"] = std::move(chapters);
    doc["segments"] = segments(ctx.cat.segments);

    Json log = Json::array();
    if (run.log)
        for (const std::string& line : *run.log) log.push_back(plainText(line));
    doc["log"] = std::move(log);

    if (run.listFiles) {
        Json late = Json::array();
        for (const auto& l : ctx.cat.LateStreams) {
            Json j;
            j["caption"] = l.caption;
            j["stream_id"] = l.entry & 0xFF;
            j["slot"] = l.slot >= 0 ? Json(slotName(l.family, l.slot)) : Json();
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
        if (!run.planned.empty()) doc["planned"] = run.planned;
    }
    // Plain ASCII: names are escaped, so nothing reaches a terminal as a command, and
    // invalid UTF-8 in a file name or a playlist text is replaced rather than a failure.
    return doc.dump(2, ' ', true, Json::error_handler_t::replace) + "\n";
}

} // namespace qf::cli
