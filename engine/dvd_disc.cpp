#include "engine/dvd_disc.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <new>
#include <nlohmann/json.hpp>

#include "engine/disc_reader.h"
#include "engine/paths.h"
#include "engine/stream.h"

namespace qf {

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Any kind of file: one that is not a regular file still names a disc, which the disc
// reader then refuses with the reason instead of opening it.
bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// libdvdread looks for VIDEO_TS in either letter case.
bool holdsVideoTs(const std::string& folder) {
    return isFolder(folder + "/VIDEO_TS") || isFolder(folder + "/video_ts");
}

bool isVideoTs(const std::string& folder) {
    return upper(namePart(folder)) == "VIDEO_TS" &&
           (exists(folder + "/VIDEO_TS.IFO") || exists(folder + "/video_ts.ifo"));
}

int titleSetOfIfo(const std::string& name);

// VIDEO_TS.IFO or its backup, in the folder or its VIDEO_TS, any letter case.
bool holdsManager(const std::string& folder) {
    for (const std::string& dir : {folder, folder + "/VIDEO_TS", folder + "/video_ts"})
        for (const char* name :
             {"/VIDEO_TS.IFO", "/video_ts.ifo", "/VIDEO_TS.BUP", "/video_ts.bup"})
            if (exists(dir + name)) return true;
    return false;
}

// A title set's IFO or BUP for set `set` (0: any), in the folder or its VIDEO_TS.
bool holdsTitleSet(const std::string& folder, int set) {
    for (const std::string& dir : {folder, folder + "/VIDEO_TS", folder + "/video_ts"}) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) continue;
        bool found = false;
        while (const dirent* e = ::readdir(d)) {
            std::string n = upper(e->d_name);
            if (n.size() == 12 && n.compare(8, 4, ".BUP") == 0) n.replace(8, 4, ".IFO");
            const int s = titleSetOfIfo(n);
            if (s > 0 && (set == 0 || s == set)) found = true;
        }
        ::closedir(d);
        if (found) return true;
    }
    return false;
}

// "VTS_07_0.IFO" in any letter case gives 7; anything else 0.
int titleSetOfIfo(const std::string& name) {
    const std::string n = upper(name);
    if (n.size() != 12 || n.compare(0, 4, "VTS_") != 0 || n.compare(6, 6, "_0.IFO") != 0) return 0;
    if (!std::isdigit(static_cast<unsigned char>(n[4])) ||
        !std::isdigit(static_cast<unsigned char>(n[5])))
        return 0;
    return (n[4] - '0') * 10 + (n[5] - '0');
}

[[noreturn]] void cannotOpen(const std::string& disc, const std::string& reason) {
    throw Error("Cannot open disc \"" + disc + "\". " + reason);
}

std::vector<DiscTitle> readTitles(const DiscSource& source, std::vector<RefusedTitle>* refused) {
    const DiscFiles files = checkDiscFiles(source.disc);
    DiscReading reading = readInChild(source, files);
    if (reading.outcome == DiscReading::Outcome::OutOfMemory) throw std::bad_alloc();
    if (reading.outcome == DiscReading::Outcome::Failed) cannotOpen(source.disc, reading.failure);
    if (reading.titles.empty()) {
        if (!reading.refused.empty())
            cannotOpen(source.disc, "No title can be read (title " +
                                        std::to_string(reading.refused.front().number) + ": " +
                                        reading.refused.front().reason + ")");
        cannotOpen(source.disc, source.titleSet == 0 ? std::string("It lists no title")
                                                     : "It lists no title in title set " +
                                                           std::to_string(source.titleSet));
    }
    // The language names are looked up here: the reader sends the codes.
    for (DiscTitle& t : reading.titles)
        for (DiscStream& s : t.streams)
            if (s.language) s.language->name = languageName(s.language->code);
    if (refused) *refused = std::move(reading.refused);
    return std::move(reading.titles);
}

} // namespace

std::optional<DiscSource> discSource(const std::string& given) {
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return std::nullopt;
    if (isFolder(path)) {
        if (!holdsManager(path) && holdsTitleSet(path, 0)) return DiscSource{path, 0, true};
        if (holdsVideoTs(path) || isVideoTs(path)) return DiscSource{path, 0};
        return std::nullopt;
    }
    if (!exists(path)) return std::nullopt;
    if (upperExt(path) == ".ISO") return DiscSource{path, 0};
    // An IFO inside VIDEO_TS: VIDEO_TS.IFO stands for the disc, VTS_nn_0.IFO for title set nn.
    const int set = upper(namePart(path)) == "VIDEO_TS.IFO" ? 0 : titleSetOfIfo(namePart(path));
    if (set == 0 && upper(namePart(path)) != "VIDEO_TS.IFO") return std::nullopt;
    std::string folder = folderPart(path);
    if (!folder.empty()) folder.pop_back();
    if (folder.empty()) folder = ".";
    if (set > 0 && !holdsManager(folder)) return DiscSource{folder, set, true};
    if (!isVideoTs(folder)) return std::nullopt;
    return DiscSource{folder, set};
}

std::optional<DiscSource> titleSetOfVob(const std::string& path) {
    const std::string n = upper(namePart(path));
    if (n.size() != 12 || n.compare(0, 4, "VTS_") != 0 || n.compare(8, 4, ".VOB") != 0 ||
        n[7] < '1' || n[7] > '9')
        return std::nullopt;
    const int set = titleSetOfIfo(n.substr(0, 7) + "0.IFO");
    std::string folder = folderPart(path);
    if (!folder.empty()) folder.pop_back();
    if (folder.empty()) folder = ".";
    if (set == 0 || !holdsTitleSet(folder, set)) return std::nullopt;
    return DiscSource{folder, set, !holdsManager(folder)};
}

std::string DiscVideo::displayFormat() const {
    return panScan && letterbox ? "pan-scan and letterbox"
           : panScan            ? "pan-scan"
           : letterbox          ? "letterbox"
                                : "";
}

std::vector<SectorRange> DiscTitle::sectors(int angle) const {
    std::vector<SectorRange> list;
    for (const DiscCell& c : cells)
        if (c.angle == 0 || c.angle == angle) list.push_back(c.sectors);
    return list;
}

std::vector<TitleCell> DiscTitle::titleCells(int angle) const {
    std::vector<TitleCell> list;
    for (const DiscCell& c : cells)
        if (c.angle == 0 || c.angle == angle) list.push_back({c.sectors, c.interleaved});
    return list;
}

std::vector<DiscChapter> DiscTitle::chapters(int angle) const {
    std::vector<DiscChapter> list;
    double at = 0;
    for (const DiscCell& c : cells) {
        if (c.angle != 0 && c.angle != angle) continue;
        if (c.chapter > 0 || list.empty()) list.push_back({c.chapter > 0 ? c.chapter : 1, at, 0});
        list.back().duration += c.seconds;
        at += c.seconds;
    }
    return list;
}

size_t DiscTitle::chapterCount() const {
    return static_cast<size_t>(
        std::count_if(cells.begin(), cells.end(), [](const DiscCell& c) { return c.chapter > 0; }));
}

std::vector<DiscTitle> readDiscTitles(const DiscSource& source,
                                      std::vector<RefusedTitle>* refused) {
    try {
        std::vector<DiscTitle> titles = readTitles(source, refused);
        markTitles(titles);
        return titles;
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory while reading the titles of \"" + source.disc + "\"");
    }
}

const DiscTitle* longestTitle(const std::vector<DiscTitle>& titles) {
    const DiscTitle* best = nullptr;
    for (const DiscTitle& t : titles)
        if (!best || t.length > best->length) best = &t;
    return best;
}

const DiscTitle* mainTitle(const std::vector<DiscTitle>& titles) {
    const DiscTitle* best = nullptr;
    for (const DiscTitle& t : titles)
        if (t.sameCellsAs == 0 && !t.outOfOrder && (!best || t.length > best->length)) best = &t;
    return best ? best : longestTitle(titles);
}

namespace {

bool sameRange(const SectorRange& a, const SectorRange& b) {
    return a.first == b.first && a.last == b.last;
}

bool sameCells(const std::vector<SectorRange>& a, const std::vector<SectorRange>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameRange);
}

// Does `part` lie in `whole` from `at` on?
bool playsAt(const std::vector<SectorRange>& whole, size_t at,
             const std::vector<SectorRange>& part) {
    return !part.empty() && part.size() <= whole.size() - at &&
           std::equal(part.begin(), part.end(), whole.begin() + static_cast<ptrdiff_t>(at),
                      sameRange);
}

} // namespace

void markTitles(std::vector<DiscTitle>& titles) {
    std::vector<std::vector<SectorRange>> cells;
    for (const DiscTitle& t : titles) cells.push_back(t.sectors(1));
    for (size_t i = 0; i < titles.size(); ++i) {
        DiscTitle& t = titles[i];
        const std::vector<SectorRange>& mine = cells[i];
        for (size_t k = 1; k < mine.size() && !t.outOfOrder; ++k)
            t.outOfOrder = mine[k].first <= mine[k - 1].last;
        for (size_t j = 0; j < i && t.sameCellsAs == 0; ++j)
            if (titles[j].titleSet == t.titleSet && sameCells(cells[j], mine))
                t.sameCellsAs = titles[j].number;
        // Other titles of its set, whole and one after the other, the longest first at each
        // step: two or more of them make a "play all".
        std::vector<int> played;
        size_t at = 0;
        while (at < mine.size()) {
            size_t best = titles.size();
            for (size_t j = 0; j < titles.size(); ++j)
                if (j != i && titles[j].titleSet == t.titleSet && cells[j].size() < mine.size() &&
                    playsAt(mine, at, cells[j]) &&
                    (best == titles.size() || cells[j].size() > cells[best].size()))
                    best = j;
            if (best == titles.size()) break;
            played.push_back(titles[best].number);
            at += cells[best].size();
        }
        if (at == mine.size() && played.size() >= 2) t.playsTitles = std::move(played);
    }
}

const DiscTitle* findTitle(const std::vector<DiscTitle>& titles, int number) {
    for (const DiscTitle& t : titles)
        if (t.number == number) return &t;
    return nullptr;
}

uint32_t ycrcbToRgb(uint32_t v) {
    const double y = ((v >> 16) & 0xFF) - 16.0, cr = ((v >> 8) & 0xFF) - 128.0,
                 cb = (v & 0xFF) - 128.0;
    // Y spans 16-235 and Cb/Cr 16-240; the BT.601 weights Kr 0.299, Kb 0.114.
    const double ys = 255.0 / 219.0 * y, cs = 255.0 / 224.0;
    const double r = ys + cs * 1.402 * cr;
    const double g = ys - cs * (1.772 * 0.114 / 0.587) * cb - cs * (1.402 * 0.299 / 0.587) * cr;
    const double b = ys + cs * 1.772 * cb;
    auto channel = [](double c) {
        return static_cast<uint32_t>(std::clamp(std::lround(c), 0L, 255L));
    };
    return channel(r) << 16 | channel(g) << 8 | channel(b);
}

std::string languageName(const std::string& code) {
    static const std::map<std::string, std::string> names = [] {
        std::map<std::string, std::string> m;
        std::ifstream in("/usr/share/iso-codes/json/iso_639-2.json");
        const auto doc = nlohmann::json::parse(in, nullptr, false);
        if (doc.is_discarded() || !doc.contains("639-2")) return m;
        for (const auto& e : doc["639-2"]) {
            if (!e.contains("alpha_2") || !e.contains("name")) continue;
            const std::string name = e["name"].get<std::string>();
            m.emplace(e["alpha_2"].get<std::string>(), name.substr(0, name.find(';')));
        }
        return m;
    }();
    const auto it = names.find(code);
    return it == names.end() ? code : it->second;
}

std::string titleTime(double seconds) {
    const auto ms = static_cast<long long>(std::llround(seconds * 1000));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return buf;
}

} // namespace qf
