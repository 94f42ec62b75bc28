#include "cli/titles.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/menu_lines.h"
#include "cli/terminal_host.h"
#include "engine/codecs.h"
#include "engine/paths.h"
#include "engine/slotmap.h"
#include "engine/stream.h"

namespace qf::cli {

namespace {

using Json = nlohmann::ordered_json;

// Seconds to the millisecond, as the IFO's frame counts give them.
double ms(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

const char* familyName(Family f) {
    return f == Family::Video ? "video" : f == Family::Audio ? "audio" : "subpicture";
}

std::string hexId(int32_t entry) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(entry & 0xFF));
    return buf;
}

// What the engine's index rules give a stream id.
int ruleSlot(const DiscStream& s) {
    return qf::ruleSlot(codecOfEntry(s.entry), s.entry & 0xFF);
}

constexpr int kMaxTitleNumber = 99;

std::string plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

const char* applicationName(DiscStream::Application a) {
    return a == DiscStream::Application::Karaoke    ? "karaoke"
           : a == DiscStream::Application::Surround ? "surround"
                                                    : nullptr;
}

// "PAL 720x576, 16:9 (letterbox allowed), 25 fps, 3 cells, program chain 1"
std::string pictureLine(const DiscTitle& t) {
    const DiscVideo& v = t.video;
    char rate[16];
    std::snprintf(rate, sizeof rate, "%.3g", v.frameRate());
    std::string line = std::string("  ") + v.standard() + " " + std::to_string(v.width) + "x" +
                       std::to_string(v.height) + ", " + v.aspect();
    if (v.wide)
        line += v.displayFormat().empty() ? " (no 4:3 display format allowed)"
                                          : " (" + v.displayFormat() + " allowed)";
    line += std::string(", ") + rate + " fps, " + plural(t.cells.size(), "cell");
    std::string stills;
    for (size_t c = 0; c < t.cells.size(); ++c)
        if (t.cells[c].still > 0)
            stills += (stills.empty() ? "" : ", ") + std::string("cell ") + std::to_string(c + 1) +
                      (t.cells[c].still == kStillForever
                           ? " held until the user goes on"
                           : " held " + std::to_string(t.cells[c].still) + " s");
    if (!stills.empty()) line += " (" + stills + ")";
    return line + ", program chain " + std::to_string(t.programChain);
}

// ", same cells as title 3", ", cells out of order", ", plays titles 1, 2".
std::string marksText(const DiscTitle& t) {
    std::string text;
    if (t.sameCellsAs > 0) text += ", same cells as title " + std::to_string(t.sameCellsAs);
    if (t.outOfOrder) text += ", cells out of order";
    for (size_t k = 0; k < t.playsTitles.size(); ++k)
        text += (k == 0 ? ", plays titles " : ", ") + std::to_string(t.playsTitles[k]);
    return text;
}

Json titleJson(const DiscTitle& t) {
    Json j;
    j["title"] = t.number;
    j["title_set"] = t.titleSet;
    j["length"] = ms(t.length);
    j["length_text"] = titleTime(t.length);
    j["angles"] = t.angles;
    j["same_cells_as"] = t.sameCellsAs > 0 ? Json(t.sameCellsAs) : Json(nullptr);
    j["cells_out_of_order"] = t.outOfOrder;
    j["plays_titles"] = t.playsTitles;
    j["program_chain"] = t.programChain;
    const DiscVideo& v = t.video;
    j["video"] = {{"standard", v.standard()},
                  {"width", v.width},
                  {"height", v.height},
                  {"aspect", v.aspect()},
                  {"display_format",
                   v.wide && !v.displayFormat().empty() ? Json(v.displayFormat()) : Json(nullptr)},
                  {"frame_rate", std::round(v.frameRate() * 1000) / 1000}};
    Json cells = Json::array();
    for (const DiscCell& c : t.cells)
        cells.push_back({{"length", ms(c.seconds)},
                         {"angle", c.angle},
                         {"still", c.still == kStillForever ? Json("forever") : Json(c.still)}});
    j["cells"] = std::move(cells);
    Json chapters = Json::array();
    for (const DiscChapter& c : t.chapters(1))
        chapters.push_back(
            {{"number", c.number}, {"start", ms(c.start)}, {"duration", ms(c.duration)}});
    j["chapters"] = std::move(chapters);
    Json palette = Json::array();
    for (uint32_t rgb : t.palette) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%06x", rgb);
        palette.push_back(buf);
    }
    j["palette"] = std::move(palette);
    Json streams = Json::array();
    const std::vector<std::string> keys = selectKeys(t);
    for (size_t k = 0; k < t.streams.size(); ++k) {
        const DiscStream& s = t.streams[k];
        Json e;
        e["select"] = keys[k].empty() ? Json(nullptr) : Json(keys[k]);
        e["family"] = familyName(s.family);
        e["stream_id"] = s.entry & 0xFF;
        e["stream_id_hex"] = hexId(s.entry);
        e["format"] = s.format;
        e["channels"] = s.family == Family::Audio ? Json(s.channels) : Json(nullptr);
        if (s.family == Family::Audio) {
            e["sample_rate"] = s.sampleRate;
            const char* mode = applicationName(s.application);
            e["application_mode"] = mode ? Json(mode) : Json(nullptr);
        }
        e["language"] = s.language ? Json(s.language->code) : Json(nullptr);
        e["language_name"] = s.language ? Json(s.language->name) : Json(nullptr);
        streams.push_back(std::move(e));
    }
    j["streams"] = std::move(streams);
    return j;
}

} // namespace

std::string streamLine(const DiscStream& s, const std::string& key) {
    std::string line = "  " + key;
    line.resize(7, ' ');
    line += "id " + hexId(s.entry) + "  " + s.format;
    if (s.family == Family::Audio) {
        line += ", " + plural(static_cast<size_t>(s.channels), "channel");
        line += ", " + std::to_string(s.sampleRate / 1000) + " kHz";
        if (const char* mode = applicationName(s.application)) line += std::string(", ") + mode;
    }
    if (s.language) {
        line += ", " + s.language->name;
        if (s.language->name != s.language->code) line += " (" + s.language->code + ")";
    }
    return line;
}

std::vector<std::string> selectKeys(const DiscTitle& title) {
    SlotMap slots;
    std::vector<std::string> keys;
    for (const DiscStream& s : title.streams) {
        const int slot = slots.claim(s.entry, s.family, ruleSlot(s));
        keys.push_back(slot >= 0 && slot < kSelectableSlots[familyIndex(s.family)]
                           ? slotName(s.family, slot)
                           : "");
    }
    return keys;
}

int runTitlesCommand(const Options& o, TerminalHost& host) {
    const std::string path = sourcePath(o.argument);
    const auto source = discSource(path);
    if (!source)
        throw Error(path + " is no DVD-Video disc (a folder holding VIDEO_TS, a "
                           "VIDEO_TS folder, an .iso image or an .IFO of VIDEO_TS)");
    std::vector<RefusedTitle> refused;
    const std::vector<DiscTitle> titles = readDiscTitles(*source, &refused);
    if (o.json) {
        Json doc;
        doc["program"] = "quillfen-cli";
        doc["version"] = versionText().substr(versionText().rfind(' ') + 1);
        doc["command"] = "titles";
        doc["source"] = path;
        doc["title_set"] = source->titleSet > 0 ? Json(source->titleSet) : Json(nullptr);
        doc["title_sets_only"] = source->titleSetsOnly;
        const DiscTitle* longest = longestTitle(titles);
        doc["longest"] = longest ? Json(longest->number) : Json(nullptr);
        const DiscTitle* main = mainTitle(titles);
        doc["main"] = main ? Json(main->number) : Json(nullptr);
        Json list = Json::array();
        for (const DiscTitle& t : titles) list.push_back(titleJson(t));
        doc["titles"] = std::move(list);
        Json left = Json::array();
        for (const RefusedTitle& r : refused)
            left.push_back({{"title", r.number}, {"reason", r.reason}});
        doc["refused"] = std::move(left);
        if (o.menus) doc["menus"] = menusJson(readDiscMenus(*source));
        host.printDocument(doc.dump(2, ' ', true, Json::error_handler_t::replace) + "\n");
        return 0;
    }
    if (source->titleSetsOnly)
        host.printLine("No VIDEO_TS.IFO: the titles of each title set's IFO, numbered in title "
                       "set order");
    // In the disc's order, a title that cannot be read among the others.
    auto next = refused.begin();
    auto printRefused = [&](int before) {
        for (; next != refused.end() && next->number < before; ++next)
            host.printLine("Title " + std::to_string(next->number) + ": cannot be read (" +
                           next->reason + ")");
    };
    for (const DiscTitle& t : titles) {
        printRefused(t.number);
        host.printLine("Title " + std::to_string(t.number) + ": title set " +
                       std::to_string(t.titleSet) + ", " + titleTime(t.length) + ", " +
                       plural(t.chapterCount(), "chapter") + ", " +
                       plural(static_cast<size_t>(t.angles), "angle") + marksText(t));
        host.printLine(pictureLine(t));
        const std::vector<std::string> keys = selectKeys(t);
        for (size_t k = 0; k < t.streams.size(); ++k)
            host.printLine(streamLine(t.streams[k], keys[k].empty() ? "-" : keys[k]));
    }
    printRefused(kMaxTitleNumber + 1);
    if (o.menus) printMenus(host, readDiscMenus(*source));
    return 0;
}

} // namespace qf::cli
