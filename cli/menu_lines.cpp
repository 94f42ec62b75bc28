#include "cli/menu_lines.h"

#include <cmath>
#include <cstdio>

#include "cli/terminal_host.h"
#include "cli/titles.h"

namespace qf::cli {

namespace {

using Json = nlohmann::ordered_json;

double ms(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

std::string stillText(int still) {
    return still == kStillForever ? "forever" : std::to_string(still) + " s";
}

std::string hexId(int32_t entry) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(entry & 0xFF));
    return buf;
}

const char* familyName(Family f) {
    return f == Family::Video ? "video" : f == Family::Audio ? "audio" : "subpicture";
}

std::string headLine(const DiscMenu& m) {
    std::string line = "Menu " + m.name() + ": " +
                       (m.titleSet == 0 ? std::string("video manager")
                                        : "title set " + std::to_string(m.titleSet)) +
                       ", language unit " + std::to_string(m.languageUnit);
    if (!m.language.empty()) line += " (" + m.language + ")";
    line += std::string(", ") + (m.entry == MenuEntry::None ? "no entry" : menuEntryName(m.entry)) +
            ", " + titleTime(m.length) + ", " + std::to_string(m.cells.size()) +
            (m.cells.size() == 1 ? " cell" : " cells");
    std::string stills = m.still != 0 ? "held " + stillText(m.still) : "";
    for (size_t k = 0; k < m.cells.size(); ++k)
        if (m.cells[k].still != 0)
            stills += (stills.empty() ? "" : ", ") + ("cell " + std::to_string(k + 1) + " held ") +
                      stillText(m.cells[k].still);
    if (!stills.empty()) line += ", " + stills;
    return line;
}

} // namespace

void printMenus(TerminalHost& host, const std::vector<DiscMenu>& menus) {
    if (menus.empty()) host.printLine("Menus: none");
    for (const DiscMenu& m : menus) {
        host.printLine(headLine(m));
        const DiscVideo& v = m.video;
        host.printLine(std::string("  ") + v.standard() + " " + std::to_string(v.width) + "x" +
                       std::to_string(v.height) + ", " + v.aspect());
        // Each stream as a title's, with the key --select takes when the menu is read.
        DiscTitle asTitle;
        asTitle.streams = m.streams;
        const std::vector<std::string> keys = selectKeys(asTitle);
        for (size_t k = 0; k < m.streams.size(); ++k)
            host.printLine(streamLine(m.streams[k], keys[k].empty() ? "-" : keys[k]));
    }
}

Json menusJson(const std::vector<DiscMenu>& menus) {
    Json list = Json::array();
    for (const DiscMenu& m : menus) {
        Json j;
        j["menu"] = m.name();
        j["title_set"] = m.titleSet > 0 ? Json(m.titleSet) : Json(nullptr);
        j["language_unit"] = m.languageUnit;
        j["language"] = m.language.empty() ? Json(nullptr) : Json(m.language);
        j["program_chain"] = m.number;
        j["entry"] = m.entry == MenuEntry::None ? Json(nullptr) : Json(menuEntryName(m.entry));
        j["length"] = ms(m.length);
        j["length_text"] = titleTime(m.length);
        j["still"] = m.still == kStillForever ? Json("forever") : Json(m.still);
        Json cells = Json::array();
        for (const DiscCell& c : m.cells)
            cells.push_back(
                {{"length", ms(c.seconds)},
                 {"still", c.still == kStillForever ? Json("forever") : Json(c.still)}});
        j["cells"] = std::move(cells);
        j["video"] = {{"standard", m.video.standard()},
                      {"width", m.video.width},
                      {"height", m.video.height},
                      {"aspect", m.video.aspect()}};
        Json streams = Json::array();
        for (const DiscStream& s : m.streams) {
            Json e;
            e["family"] = familyName(s.family);
            e["stream_id"] = s.entry & 0xFF;
            e["stream_id_hex"] = hexId(s.entry);
            e["format"] = s.format;
            e["channels"] = s.family == Family::Audio ? Json(s.channels) : Json(nullptr);
            if (s.family == Family::Audio) e["sample_rate"] = s.sampleRate;
            e["language"] = s.language ? Json(s.language->code) : Json(nullptr);
            e["language_name"] = s.language ? Json(s.language->name) : Json(nullptr);
            streams.push_back(std::move(e));
        }
        j["streams"] = std::move(streams);
        list.push_back(std::move(j));
    }
    return list;
}

} // namespace qf::cli
