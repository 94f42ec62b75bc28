// What the disc reader's child does: each IFO file's bytes checked, then parsed by
// libdvdread (only the tables the titles need), and the titles taken from them within the
// bounds of the format and of the title set's VOB files.
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>

#include "engine/codecs.h"
#include "engine/disc_reader.h"
#include "engine/dvd_read.h"
#include "engine/ifo_check.h"

namespace qf {

using namespace ifo;

namespace {

// A title may repeat its title set's sectors, up to this many times their size.
constexpr uint64_t kMaxRepeat = 4;

std::vector<DiscStream> titleStreams(const vtsi_mat_t& mat, const pgc_t& pgc) {
    std::vector<DiscStream> list;
    const video_attr_t& video = mat.vts_video_attr;
    list.push_back({Family::Video,
                    firstEntry(Codec::Mpeg2),
                    video.mpeg_version == 0 ? "MPEG-1" : "MPEG-2",
                    0,
                    {}});
    for (int i = 0; i < 8 && i < mat.nr_of_vts_audio_streams; ++i) {
        const uint16_t control = pgc.audio_control[i];
        if (!(control & 0x8000)) continue;
        const int s = (control >> 8) & 7;
        const audio_attr_t& a = mat.vts_audio_attr[i];
        DiscStream d{Family::Audio, -1, "", a.channels + 1,
                     language(a.lang_type == 1, a.lang_code)};
        d.sampleRate = a.sample_frequency == 1 ? 96000 : 48000;
        d.application = a.application_mode == 1   ? DiscStream::Application::Karaoke
                        : a.application_mode == 2 ? DiscStream::Application::Surround
                                                  : DiscStream::Application::None;
        const AudioFormat* f = audioFormat(a.audio_format);
        if (!f) continue; // SDDS and reserved codes: no stream the engine knows
        d.entry = firstEntry(f->codec) + s;
        d.format = f->name;
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
        list.push_back({Family::Subpicture, firstEntry(Codec::Subpicture) + s, "Subpicture", 0,
                        language(a.type == 1, a.lang_code)});
    }
    return list;
}

std::string sizeText(uint64_t bytes) {
    if (bytes < 1048576) return std::to_string(bytes) + " bytes";
    return std::to_string(bytes / 1048576) + " Mbytes";
}

class DiscParse {
public:
    DiscParse(const DiscSource& source, const DiscFiles& files) : source_(source), files_(files) {}
    DiscReading run();

private:
    // A partial copy: each title set's own titles, numbered in set order.
    DiscReading runSets();
    struct TitleSet {
        IfoPtr ifo;
        int64_t vobBytes = -1;  // -1: unknown
        std::string unreadable; // why its titles cannot be read
        bool missing = false;   // neither its IFO nor its BUP is there
    };
    // Loads a title set; a damaged IFO makes the whole disc's failure.
    std::optional<std::string> load(int set, TitleSet& ts);
    std::optional<std::string> title(const title_info_t& info, TitleSet& ts, DiscTitle& t);

    const DiscSource& source_;
    const DiscFiles& files_;
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd_;
    size_t cellsLeft_ = kMaxDiscCells;
};

DiscReading failed(std::string why) {
    DiscReading r;
    r.outcome = DiscReading::Outcome::Failed;
    r.failure = std::move(why);
    return r;
}

DiscReading DiscParse::run() {
    static const dvd_logger_cb quiet{quietLog};
    dvd_.reset(DVDOpen2(nullptr, &quiet, source_.disc.c_str()));
    if (!dvd_) return failed("It is no DVD-Video disc libdvdread can read");
    if (source_.titleSetsOnly) return runSets();
    std::string name;
    std::vector<uint8_t> bytes;
    switch (infoBytes(dvd_.get(), 0, name, bytes)) {
    case Got::Missing:
        return failed("Its VIDEO_TS.IFO is missing");
    case Got::Unreadable:
        return failed("Its " + name + " cannot be read");
    case Got::TooLarge:
        return failed("Its " + name + " is damaged (it is larger than 16 MB)");
    case Got::Bytes:
        break;
    }
    if (auto d = vmgDamage(bytes)) return failed("Its " + name + " is damaged (" + *d + ")");
    std::vector<uint8_t>().swap(bytes);
    IfoPtr vmg(ifoOpenVMGI(dvd_.get()));
    if (!vmg || !ifoRead_TT_SRPT(vmg.get()) || !vmg->tt_srpt)
        return failed("Its " + name + " cannot be read");

    DiscReading reading;
    std::map<int, TitleSet> sets;
    const tt_srpt_t& tt = *vmg->tt_srpt;
    for (int i = 0; i < tt.nr_of_srpts && i < kMaxTitles; ++i) {
        const title_info_t& info = tt.title[i];
        const int set = info.title_set_nr;
        if (source_.titleSet != 0 && set != source_.titleSet) continue;
        const int number = i + 1;
        if (set < 1 || set > 99) {
            reading.refused.push_back({number, "it names title set " + std::to_string(set)});
            continue;
        }
        auto [at, fresh] = sets.try_emplace(set);
        if (fresh)
            if (auto d = load(set, at->second)) return failed(*d);
        DiscTitle t;
        t.number = number;
        t.titleSet = set;
        if (auto why = title(info, at->second, t))
            reading.refused.push_back({number, *why});
        else
            reading.titles.push_back(std::move(t));
    }
    return reading;
}

DiscReading DiscParse::runSets() {
    DiscReading reading;
    int number = 0;
    const int first = source_.titleSet != 0 ? source_.titleSet : 1;
    const int last = source_.titleSet != 0 ? source_.titleSet : 99;
    for (int set = first; set <= last && number < kMaxTitles; ++set) {
        TitleSet ts;
        if (auto d = load(set, ts)) return failed(*d);
        if (ts.missing) continue; // no such set in the copy
        const int titles = ts.ifo ? ts.ifo->vts_ptt_srpt->nr_of_srpts : 1;
        for (int ttn = 1; ttn <= titles && number < kMaxTitles; ++ttn) {
            title_info_t info{};
            info.title_set_nr = static_cast<uint8_t>(set);
            info.vts_ttn = static_cast<uint8_t>(ttn);
            info.nr_of_angles = 1;
            DiscTitle t;
            t.number = ++number;
            t.titleSet = set;
            if (auto why = title(info, ts, t)) {
                reading.refused.push_back({number, *why});
                continue;
            }
            // Without the disc's title table the angle count is the cells': the last angle
            // of the largest block.
            for (const DiscCell& c : t.cells) t.angles = std::max(t.angles, c.angle);
            reading.titles.push_back(std::move(t));
        }
    }
    return reading;
}

std::optional<std::string> DiscParse::load(int set, TitleSet& ts) {
    std::string name;
    std::vector<uint8_t> bytes;
    switch (infoBytes(dvd_.get(), set, name, bytes)) {
    case Got::Missing: {
        const auto it = files_.unopenable.find(set);
        ts.missing = it == files_.unopenable.end();
        ts.unreadable =
            it != files_.unopenable.end() ? it->second : "its title set's " + name + " is missing";
        return std::nullopt;
    }
    case Got::Unreadable:
        ts.unreadable = "its title set's " + name + " cannot be read";
        return std::nullopt;
    case Got::TooLarge:
        return "Its " + name + " is damaged (it is larger than 16 MB)";
    case Got::Bytes:
        break;
    }
    if (auto d = vtsDamage(bytes)) return "Its " + name + " is damaged (" + *d + ")";
    std::vector<uint8_t>().swap(bytes);
    ts.ifo.reset(ifoOpenVTSI(dvd_.get(), set));
    if (!ts.ifo || !ts.ifo->vtsi_mat || !ifoRead_VTS_PTT_SRPT(ts.ifo.get()) ||
        !ts.ifo->vts_ptt_srpt || !ifoRead_PGCIT(ts.ifo.get()) || !ts.ifo->vts_pgcit) {
        ts.ifo.reset();
        ts.unreadable = "its title set's " + name + " cannot be read";
        return std::nullopt;
    }
    dvd_stat_t st{};
    if (DVDFileStat(dvd_.get(), set, DVD_READ_TITLE_VOBS, &st) == 0 && st.size >= 0)
        ts.vobBytes = std::min<int64_t>(st.size, int64_t{1} << 40); // bounds the products below
    return std::nullopt;
}

// Builds the title `t` from its chapters, or says why it cannot be read. Linear in its
// chapters and cells: each chain is taken once, with the chapters that name it.
std::optional<std::string> DiscParse::title(const title_info_t& info, TitleSet& ts, DiscTitle& t) {
    if (!ts.unreadable.empty()) return ts.unreadable;
    const ifo_handle_t& vts = *ts.ifo;
    if (info.vts_ttn < 1 || info.vts_ttn > vts.vts_ptt_srpt->nr_of_srpts)
        return "its title set has no title " + std::to_string(info.vts_ttn);
    const ttu_t& ttu = vts.vts_ptt_srpt->title[info.vts_ttn - 1];
    const int chapters = std::min<int>(ttu.nr_of_ptts, kMaxChapters);
    if (chapters == 0 || !ttu.ptt) return std::string("it has no chapter");
    t.angles = std::clamp<int>(info.nr_of_angles, 1, 9);

    // The chains in the order the chapters first name them, and each chain's chapters.
    const pgcit_t& pgcit = *vts.vts_pgcit;
    std::vector<int> slotOf(static_cast<size_t>(pgcit.nr_of_pgci_srp) + 1, -1);
    std::vector<int> chains;
    std::vector<std::vector<int>> chaptersOf;
    for (int j = 0; j < chapters; ++j) {
        const int pgcn = ttu.ptt[j].pgcn;
        if (pgcn < 1 || pgcn > pgcit.nr_of_pgci_srp || !pgcit.pgci_srp[pgcn - 1].pgc) continue;
        int& slot = slotOf[static_cast<size_t>(pgcn)];
        if (slot < 0) {
            slot = static_cast<int>(chains.size());
            chains.push_back(pgcn);
            chaptersOf.emplace_back();
        }
        chaptersOf[static_cast<size_t>(slot)].push_back(j);
    }
    if (chains.empty()) return std::string("it names no program chain of its title set");

    uint64_t claimed = 0; // bytes its cells claim, a sector repeated once per use
    for (size_t k = 0; k < chains.size(); ++k) {
        const pgc_t& pgc = *pgcit.pgci_srp[chains[k] - 1].pgc;
        if (k == 0) {
            t.programChain = chains[0];
            t.video = videoOf(vts.vtsi_mat->vts_video_attr);
            t.streams = titleStreams(*vts.vtsi_mat, pgc);
            for (size_t c = 0; c < 16; ++c) t.palette[c] = ycrcbToRgb(pgc.palette[c]);
        }
        t.length += seconds(pgc.playback_time);
        const size_t base = t.cells.size();
        const int cells = pgc.cell_playback ? pgc.nr_of_cells : 0;
        if (base + static_cast<size_t>(cells) > cellsLeft_)
            return "the disc's titles take more than " + std::to_string(kMaxDiscCells) + " cells";
        int angle = 0;
        for (int c = 0; c < cells; ++c) {
            const cell_playback_t& cp = pgc.cell_playback[c];
            if (cp.block_type == BLOCK_TYPE_ANGLE_BLOCK)
                angle = cp.block_mode == BLOCK_MODE_FIRST_CELL ? 1 : angle + 1;
            else
                angle = 0;
            t.cells.push_back({{cp.first_sector, cp.last_sector},
                               seconds(cp.playback_time),
                               angle,
                               0,
                               cp.interleaved != 0,
                               cp.still_time});
            if (cp.last_sector >= cp.first_sector)
                claimed += (uint64_t{cp.last_sector} - cp.first_sector + 1) * kSector;
        }
        for (const int j : chaptersOf[k]) {
            const ptt_info_t& ptt = ttu.ptt[j];
            if (ptt.pgn < 1 || ptt.pgn > pgc.nr_of_programs || !pgc.program_map) continue;
            const size_t cell = base + pgc.program_map[ptt.pgn - 1] - 1;
            if (cell >= base && cell < t.cells.size() && t.cells[cell].chapter == 0)
                t.cells[cell].chapter = j + 1;
        }
    }
    if (ts.vobBytes >= 0) {
        const auto vob = static_cast<uint64_t>(ts.vobBytes);
        if (claimed > kMaxRepeat * vob || claimed > vob * t.cells.size())
            return "it claims " + sizeText(claimed) + ", more than its title set's " +
                   sizeText(vob) + " of VOB files allow";
    }
    cellsLeft_ -= t.cells.size();
    return std::nullopt;
}

} // namespace

DiscReading parseDiscTitles(const DiscSource& source, const DiscFiles& files) {
    return DiscParse(source, files).run();
}

} // namespace qf
