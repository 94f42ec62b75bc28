// The menus as the disc reader's child reads them: each IFO's menu table checked, then
// parsed by libdvdread, every count and sector kept within the format's bounds and the
// menu VOBs' size.
#include "engine/dvd_menus.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <memory>
#include <new>

#include "engine/codecs.h"
#include "engine/disc_reader.h"
#include "engine/dvd_read.h"
#include "engine/ifo_check.h"
#include "engine/stream.h"

namespace qf {

using namespace ifo;

namespace {

std::string code(uint16_t c) {
    const auto a = static_cast<unsigned char>(c >> 8), b = static_cast<unsigned char>(c & 0xFF);
    if (!std::isalpha(a) || !std::isalpha(b)) return "";
    return {static_cast<char>(std::tolower(a)), static_cast<char>(std::tolower(b))};
}

// The menu domain's attributes: one audio and one subpicture stream at most.
struct Domain {
    video_attr_t video;
    int audioCount;
    audio_attr_t audio;
    int subpictureCount;
    subp_attr_t subpicture;
};

std::vector<DiscStream> streamsOf(const Domain& d, const pgc_t& pgc) {
    std::vector<DiscStream> list;
    list.push_back({Family::Video, firstEntry(Codec::Mpeg2),
                    d.video.mpeg_version == 0 ? "MPEG-1" : "MPEG-2", 0, std::nullopt});
    // A menu domain has one audio stream at most; authoring tools often leave its control
    // unset, when it is stream 0.
    if (d.audioCount >= 1) {
        const int s = pgc.audio_control[0] & 0x8000 ? (pgc.audio_control[0] >> 8) & 7 : 0;
        const audio_attr_t& a = d.audio;
        if (const AudioFormat* f = audioFormat(a.audio_format)) {
            DiscStream s2{Family::Audio, firstEntry(f->codec) + s, f->name, a.channels + 1,
                          language(a.lang_type == 1, a.lang_code)};
            s2.sampleRate = a.sample_frequency == 1 ? 96000 : 48000;
            list.push_back(std::move(s2));
        }
    }
    if (d.subpictureCount >= 1 && (pgc.subp_control[0] & 0x80000000u)) {
        const bool wide = d.video.display_aspect_ratio == 3;
        const auto s = static_cast<int32_t>((pgc.subp_control[0] >> (wide ? 16 : 24)) & 0x1F);
        list.push_back({Family::Subpicture, firstEntry(Codec::Subpicture) + s, "Subpicture", 0,
                        language(d.subpicture.type == 1, d.subpicture.lang_code)});
    }
    return list;
}

class MenuParse {
public:
    MenuParse(dvd_reader_t* dvd, std::vector<DiscMenu>& menus) : dvd_(dvd), menus_(menus) {}

    void domain(int set) {
        std::vector<uint8_t> bytes;
        std::string name;
        if (infoBytes(dvd_, set, name, bytes) != Got::Bytes) return;
        if (set == 0 ? vmgDamage(bytes) || vmgMenuDamage(bytes)
                     : vtsDamage(bytes) || vtsMenuDamage(bytes))
            return;
        std::vector<uint8_t>().swap(bytes);
        std::unique_ptr<ifo_handle_t, IfoCloser> ifo(set == 0 ? ifoOpenVMGI(dvd_)
                                                              : ifoOpenVTSI(dvd_, set));
        if (!ifo || !ifoRead_PGCI_UT(ifo.get())) return;
        const pgci_ut_t* ut = ifo->pgci_ut;
        if (!ut || !ut->lu) return;
        Domain d{};
        if (set == 0 && ifo->vmgi_mat) {
            const vmgi_mat_t& m = *ifo->vmgi_mat;
            d = {m.vmgm_video_attr, m.nr_of_vmgm_audio_streams, m.vmgm_audio_attr,
                 m.nr_of_vmgm_subp_streams, m.vmgm_subp_attr};
        } else if (set != 0 && ifo->vtsi_mat) {
            const vtsi_mat_t& m = *ifo->vtsi_mat;
            d = {m.vtsm_video_attr, m.nr_of_vtsm_audio_streams, m.vtsm_audio_attr,
                 m.nr_of_vtsm_subp_streams, m.vtsm_subp_attr};
        } else {
            return;
        }
        dvd_stat_t st{};
        const int64_t vob = DVDFileStat(dvd_, set, DVD_READ_MENU_VOBS, &st) == 0 ? st.size : 0;
        if (vob <= 0) return; // no menu VOB: nothing to play
        const auto sectors = static_cast<uint64_t>(vob) / kSector;
        for (int u = 0; u < ut->nr_of_lus && u < kMaxLanguageUnits; ++u) {
            const pgci_lu_t& lu = ut->lu[u];
            if (!lu.pgcit) continue;
            for (int p = 0; p < lu.pgcit->nr_of_pgci_srp; ++p) {
                const pgci_srp_t& srp = lu.pgcit->pgci_srp[p];
                if (!srp.pgc || menus_.size() >= kMaxMenus) continue;
                const pgc_t& pgc = *srp.pgc;
                const int cells = pgc.cell_playback ? pgc.nr_of_cells : 0;
                if (static_cast<size_t>(cells) > cellsLeft_) return;
                DiscMenu m;
                m.titleSet = set;
                m.languageUnit = u + 1;
                m.language = code(lu.lang_code);
                m.number = p + 1;
                const unsigned e = srp.entry_id & 0x0F;
                m.entry = (srp.entry_id & 0x80) && e >= 2 && e <= 7 ? static_cast<MenuEntry>(e)
                                                                    : MenuEntry::None;
                m.length = seconds(pgc.playback_time);
                m.still = pgc.still_time;
                m.video = videoOf(d.video);
                m.streams = streamsOf(d, pgc);
                bool inside = true;
                for (int c = 0; c < cells; ++c) {
                    const cell_playback_t& cp = pgc.cell_playback[c];
                    // A cell past the menu VOB's end or backwards is none the menu can play.
                    inside =
                        inside && cp.first_sector <= cp.last_sector && cp.last_sector < sectors;
                    m.cells.push_back({{cp.first_sector, cp.last_sector},
                                       seconds(cp.playback_time),
                                       0,
                                       0,
                                       false,
                                       cp.still_time});
                }
                if (!inside) continue;
                cellsLeft_ -= m.cells.size();
                menus_.push_back(std::move(m));
            }
        }
    }

private:
    dvd_reader_t* dvd_;
    std::vector<DiscMenu>& menus_;
    size_t cellsLeft_ = kMaxMenuCells;
};

} // namespace

const char* menuEntryName(MenuEntry entry) {
    switch (entry) {
    case MenuEntry::Title:
        return "title";
    case MenuEntry::Root:
        return "root";
    case MenuEntry::Subpicture:
        return "subpicture";
    case MenuEntry::Audio:
        return "audio";
    case MenuEntry::Angle:
        return "angle";
    case MenuEntry::Chapter:
        return "chapter";
    case MenuEntry::None:
        break;
    }
    return "";
}

std::string DiscMenu::name() const {
    return (titleSet == 0 ? std::string("vmg") : "vts" + std::to_string(titleSet)) + ":" +
           std::to_string(number);
}

std::optional<MenuRef> parseMenuRef(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    auto number = [](const std::string& s, int most) -> int {
        if (s.empty() || s.size() > 4 || s[0] == '0') return 0;
        for (char c : s)
            if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        const int v = std::stoi(s);
        return v <= most ? v : 0;
    };
    const std::string domain = text.substr(0, colon);
    MenuRef ref;
    ref.number = number(text.substr(colon + 1), static_cast<int>(kMaxProgramChains));
    if (ref.number == 0) return std::nullopt;
    if (domain == "vmg") return ref;
    if (domain.compare(0, 3, "vts") != 0) return std::nullopt;
    ref.titleSet = number(domain.substr(3), 99);
    if (ref.titleSet == 0) return std::nullopt;
    return ref;
}

void parseDiscMenus(const DiscSource& source, DiscReading& reading) {
    static const dvd_logger_cb quiet{quietLog};
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd(DVDOpen2(nullptr, &quiet, source.disc.c_str()));
    if (!dvd) return;
    MenuParse parse(dvd.get(), reading.menus);
    if (source.titleSet == 0) parse.domain(0);
    int last = 0;
    for (const DiscTitle& t : reading.titles) last = std::max(last, t.titleSet);
    for (int set = 1; set <= last; ++set)
        if (source.titleSet == 0 || source.titleSet == set) parse.domain(set);
}

std::vector<DiscMenu> readDiscMenus(const DiscSource& source) {
    DiscSource withMenus = source;
    withMenus.menus = true;
    try {
        const DiscFiles files = checkDiscFiles(source.disc);
        DiscReading reading = readInChild(withMenus, files);
        if (reading.outcome == DiscReading::Outcome::OutOfMemory) throw std::bad_alloc();
        if (reading.outcome == DiscReading::Outcome::Failed)
            throw Error("Cannot open disc \"" + source.disc + "\". " + reading.failure);
        for (DiscMenu& m : reading.menus)
            for (DiscStream& s : m.streams)
                if (s.language) s.language->name = languageName(s.language->code);
        return std::move(reading.menus);
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory while reading the menus of \"" + source.disc + "\"");
    }
}

const DiscMenu* findMenu(const std::vector<DiscMenu>& menus, const MenuRef& ref) {
    for (const DiscMenu& m : menus)
        if (m.titleSet == ref.titleSet && m.languageUnit == 1 && m.number == ref.number) return &m;
    return nullptr;
}

} // namespace qf
