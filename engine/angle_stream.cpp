#include "engine/angle_stream.h"

#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>

#include <array>

namespace qf {

namespace {

// The DSI's seamless-playback category: the VOBU lies in an interleaved unit.
constexpr uint16_t kInUnit = 0x4000;
// An address that names no sector (no next unit).
constexpr uint32_t kNoAddress = 0x7fffffff;

// A NAV pack: pack header, system header, the PCI packet (sub-stream 0) at 0x26 and the DSI
// packet (sub-stream 1) at 0x400, both private stream 2.
bool isNavPack(const unsigned char* s) {
    auto packet = [&](size_t at, unsigned char sub) {
        return s[at] == 0 && s[at + 1] == 0 && s[at + 2] == 1 && s[at + 3] == 0xBF &&
               s[at + 6] == sub;
    };
    return s[0] == 0 && s[1] == 0 && s[2] == 1 && s[3] == 0xBA && s[14] == 0 && s[15] == 0 &&
           s[16] == 1 && s[17] == 0xBB && packet(0x26, 0) && packet(0x400, 1);
}

} // namespace

UnitWalk interleavedUnits(const SectorReader& read, SectorRange cell) {
    UnitWalk walk;
    std::array<unsigned char, DVD_VIDEO_LB_LEN> sector{};
    uint64_t at = cell.first;
    const uint64_t last = cell.last;
    while (at <= last) {
        const auto s = static_cast<uint32_t>(at);
        if (!read(s, sector.data())) {
            walk.unreadable = s;
            return walk;
        }
        if (!isNavPack(sector.data())) {
            walk.damaged = s;
            return walk;
        }
        dsi_t dsi{};
        navRead_DSI(&dsi, sector.data() + DSI_START_BYTE);
        // A pack that does not know its own place has addresses that cannot be trusted.
        if (dsi.dsi_gi.nv_pck_lbn != s) {
            walk.damaged = s;
            return walk;
        }
        const bool inUnit = (dsi.sml_pbi.category & kInUnit) != 0;
        const uint64_t end = at + (inUnit ? dsi.sml_pbi.ilvu_ea : dsi.dsi_gi.vobu_ea);
        if (end > last) {
            walk.damaged = s;
            return walk;
        }
        if (!walk.runs.empty() && walk.runs.back().last + uint64_t{1} == at)
            walk.runs.back().last = static_cast<uint32_t>(end);
        else
            walk.runs.push_back({s, static_cast<uint32_t>(end)});
        if (end == last) break;
        if (!inUnit) {
            at = end + 1;
            continue;
        }
        if (dsi.sml_pbi.ilvu_sa == kNoAddress) break; // the cell's last unit
        const uint64_t next = at + dsi.sml_pbi.ilvu_sa;
        if (next <= end || next > last) {
            walk.damaged = s;
            return walk;
        }
        at = next;
    }
    return walk;
}

} // namespace qf
