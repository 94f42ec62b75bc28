#include "engine/dvd_disc.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

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

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// libdvdread looks for VIDEO_TS in either letter case.
bool holdsVideoTs(const std::string& folder) {
    return isFolder(folder + "/VIDEO_TS") || isFolder(folder + "/video_ts");
}

bool isVideoTs(const std::string& folder) {
    return upper(namePart(folder)) == "VIDEO_TS" &&
           (isFile(folder + "/VIDEO_TS.IFO") || isFile(folder + "/video_ts.ifo"));
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

int bcd(uint8_t v) {
    return (v >> 4) * 10 + (v & 0x0F);
}

double seconds(const dvd_time_t& t) {
    const int rate = t.frame_u >> 6;
    const double fps = rate == 1 ? 25.0 : rate == 3 ? 30000.0 / 1001.0 : 0.0;
    const double frames = fps > 0 ? bcd(t.frame_u & 0x3F) / fps : 0.0;
    return bcd(t.hour) * 3600.0 + bcd(t.minute) * 60.0 + bcd(t.second) + frames;
}

std::optional<StreamLanguage> language(bool set, uint16_t code) {
    const char a = static_cast<char>(code >> 8), b = static_cast<char>(code & 0xFF);
    if (!set || !std::isalpha(static_cast<unsigned char>(a)) ||
        !std::isalpha(static_cast<unsigned char>(b)))
        return std::nullopt;
    std::string iso{static_cast<char>(std::tolower(static_cast<unsigned char>(a))),
                    static_cast<char>(std::tolower(static_cast<unsigned char>(b)))};
    return StreamLanguage{iso, languageName(iso)};
}

// Messages of libdvdread (a missing CSS library, a damaged IFO) are not the user's
// concern: what matters comes back as a failed open.
void quietLog(void*, dvd_logger_level_t, const char*, va_list) {}

struct DvdCloser {
    void operator()(dvd_reader_t* d) const { DVDClose(d); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* h) const { ifoClose(h); }
};
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoCloser>;

[[noreturn]] void cannotOpen(const std::string& disc, const std::string& reason) {
    throw Error("Cannot open disc \"" + disc + "\". " + reason);
}

std::vector<DiscStream> titleStreams(const vtsi_mat_t& mat, const pgc_t& pgc) {
    std::vector<DiscStream> list;
    const video_attr_t& video = mat.vts_video_attr;
    list.push_back({Family::Video, 0xE0, video.mpeg_version == 0 ? "MPEG-1" : "MPEG-2", 0, {}});
    for (int i = 0; i < 8 && i < mat.nr_of_vts_audio_streams; ++i) {
        const uint16_t control = pgc.audio_control[i];
        if (!(control & 0x8000)) continue;
        const int s = (control >> 8) & 7;
        const audio_attr_t& a = mat.vts_audio_attr[i];
        DiscStream d{Family::Audio, -1, "", a.channels + 1,
                     language(a.lang_type == 1, a.lang_code)};
        switch (a.audio_format) {
        case 0:
            d.entry = 0x80 + s, d.format = "AC-3";
            break;
        case 2:
            d.entry = kMpegAudioEntry + 0xC0 + s, d.format = "MPEG-1 audio";
            break;
        case 3:
            d.entry = kMpegAudioEntry + 0xC0 + s, d.format = "MPEG-2 audio";
            break;
        case 4:
            d.entry = 0xA0 + s, d.format = "LPCM";
            break;
        case 6:
            d.entry = 0x88 + s, d.format = "DTS";
            break;
        default:
            continue; // SDDS and reserved codes: no stream the engine knows
        }
        list.push_back(std::move(d));
    }
    // The subpicture control names a stream for each display mode; the one shown is the
    // widescreen one on a 16:9 title, the 4:3 one otherwise.
    const bool wide = video.display_aspect_ratio == 3;
    for (int i = 0; i < 32 && i < mat.nr_of_vts_subp_streams; ++i) {
        const uint32_t control = pgc.subp_control[i];
        if (!(control & 0x80000000u)) continue;
        const auto s = static_cast<int32_t>((control >> (wide ? 16 : 24)) & 0x1F);
        const subp_attr_t& a = mat.vts_subp_attr[i];
        list.push_back(
            {Family::Subpicture, 0x20 + s, "Subpicture", 0, language(a.type == 1, a.lang_code)});
    }
    return list;
}

// The title's program chains in the order its chapters name them.
std::vector<int> chainsOf(const ttu_t& ttu) {
    std::vector<int> pgcns;
    for (int j = 0; j < ttu.nr_of_ptts; ++j)
        if (std::find(pgcns.begin(), pgcns.end(), ttu.ptt[j].pgcn) == pgcns.end())
            pgcns.push_back(ttu.ptt[j].pgcn);
    return pgcns;
}

std::optional<DiscTitle> readTitle(const title_info_t& info, int number, ifo_handle_t& vts) {
    if (!vts.vtsi_mat || !vts.vts_ptt_srpt || !vts.vts_pgcit) return std::nullopt;
    if (info.vts_ttn < 1 || info.vts_ttn > vts.vts_ptt_srpt->nr_of_srpts) return std::nullopt;
    const ttu_t& ttu = vts.vts_ptt_srpt->title[info.vts_ttn - 1];
    if (ttu.nr_of_ptts == 0) return std::nullopt;
    DiscTitle t;
    t.number = number;
    t.titleSet = info.title_set_nr;
    t.angles = std::max<int>(1, info.nr_of_angles);
    const pgcit_t& pgcit = *vts.vts_pgcit;
    bool first = true;
    for (const int pgcn : chainsOf(ttu)) {
        if (pgcn < 1 || pgcn > pgcit.nr_of_pgci_srp || !pgcit.pgci_srp[pgcn - 1].pgc) continue;
        const pgc_t& pgc = *pgcit.pgci_srp[pgcn - 1].pgc;
        if (first) {
            t.streams = titleStreams(*vts.vtsi_mat, pgc);
            for (size_t k = 0; k < 16; ++k) t.palette[k] = ycrcbToRgb(pgc.palette[k]);
            first = false;
        }
        t.length += seconds(pgc.playback_time);
        const size_t base = t.cells.size();
        int angle = 0;
        for (int c = 0; c < pgc.nr_of_cells && pgc.cell_playback; ++c) {
            const cell_playback_t& cp = pgc.cell_playback[c];
            if (cp.block_type == BLOCK_TYPE_ANGLE_BLOCK)
                angle = cp.block_mode == BLOCK_MODE_FIRST_CELL ? 1 : angle + 1;
            else
                angle = 0;
            t.cells.push_back({{cp.first_sector, cp.last_sector},
                               seconds(cp.playback_time),
                               angle,
                               0,
                               cp.interleaved != 0});
        }
        for (int j = 0; j < ttu.nr_of_ptts; ++j) {
            const ptt_info_t& ptt = ttu.ptt[j];
            if (ptt.pgcn != pgcn || ptt.pgn < 1 || ptt.pgn > pgc.nr_of_programs || !pgc.program_map)
                continue;
            const size_t cell = base + pgc.program_map[ptt.pgn - 1] - 1;
            if (cell >= base && cell < t.cells.size() && t.cells[cell].chapter == 0)
                t.cells[cell].chapter = j + 1;
        }
    }
    if (first) return std::nullopt;
    return t;
}

} // namespace

std::optional<DiscSource> discSource(const std::string& given) {
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return std::nullopt;
    if (isFolder(path)) {
        if (holdsVideoTs(path) || isVideoTs(path)) return DiscSource{path, 0};
        return std::nullopt;
    }
    if (!isFile(path)) return std::nullopt;
    if (upperExt(path) == ".ISO") return DiscSource{path, 0};
    // An IFO inside VIDEO_TS: VIDEO_TS.IFO stands for the disc, VTS_nn_0.IFO for title set nn.
    const int set = upper(namePart(path)) == "VIDEO_TS.IFO" ? 0 : titleSetOfIfo(namePart(path));
    if (set == 0 && upper(namePart(path)) != "VIDEO_TS.IFO") return std::nullopt;
    std::string folder = folderPart(path);
    if (!folder.empty()) folder.pop_back();
    if (folder.empty()) folder = ".";
    if (!isVideoTs(folder)) return std::nullopt;
    return DiscSource{folder, set};
}

std::vector<SectorRange> DiscTitle::sectors(int angle) const {
    std::vector<SectorRange> list;
    for (const DiscCell& c : cells)
        if (c.angle == 0 || c.angle == angle) list.push_back(c.sectors);
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

std::vector<DiscTitle> readDiscTitles(const DiscSource& source) {
    static const dvd_logger_cb quiet{quietLog};
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd(DVDOpen2(nullptr, &quiet, source.disc.c_str()));
    if (!dvd) cannotOpen(source.disc, "It is no DVD-Video disc libdvdread can read");
    IfoPtr vmg(ifoOpen(dvd.get(), 0));
    if (!vmg || !vmg->tt_srpt) cannotOpen(source.disc, "Its VIDEO_TS.IFO cannot be read");
    std::map<int, IfoPtr> sets;
    std::vector<DiscTitle> titles;
    const tt_srpt_t& tt = *vmg->tt_srpt;
    for (int i = 0; i < tt.nr_of_srpts; ++i) {
        const title_info_t& info = tt.title[i];
        if (source.titleSet != 0 && info.title_set_nr != source.titleSet) continue;
        IfoPtr& vts = sets[info.title_set_nr];
        if (!vts) vts.reset(ifoOpen(dvd.get(), info.title_set_nr));
        if (!vts) continue; // a title set that cannot be read has no titles to offer
        if (auto t = readTitle(info, i + 1, *vts)) titles.push_back(std::move(*t));
    }
    return titles;
}

const DiscTitle* longestTitle(const std::vector<DiscTitle>& titles) {
    const DiscTitle* best = nullptr;
    for (const DiscTitle& t : titles)
        if (!best || t.length > best->length) best = &t;
    return best;
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
