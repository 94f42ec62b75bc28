// Rewrites a title dvdauthor made of consecutive cells (one VOB each) into a title whose
// cells `first`..`first+angles-1` form a seamless angle block: their VOBUs grouped into
// interleaved units of `per` VOBUs, laid out angle after angle, with every NAV pack, the
// title set's cell tables and VOBU map, and the disc's title table made to agree.
//
//   interleave_angles DISC FIRST_CELL ANGLES VOBUS_PER_UNIT [branches]
//
// The VOB keeps its size: the block's sectors are only reordered. VOBUS_PER_UNIT 0 makes a
// non-seamless angle block instead: the cells stay where they are, only marked as a block.
// With "branches" the cells become the branches of seamless branching instead: chain 1 keeps
// the cells around the first branch, and chain k + 1 (authored with as many cells, of a
// stand-in VOB) is made to play the same cells around branch k + 1.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ifo_edit.h"

namespace {

using namespace qf::tools;

// Offsets in a NAV pack: the PCI packet's data, the DSI packet's data.
constexpr size_t kPci = 0x2D, kDsi = 0x407;
constexpr size_t kSmlPbi = kDsi + 32, kSmlAgli = kSmlPbi + 148, kSri = kSmlAgli + 54;
constexpr size_t kNextVobu = kSri + 4 + 19 * 4, kPrevVobu = kNextVobu + 4;
constexpr uint32_t kNone = 0x7fffffff, kEndOfCell = 0x3fffffff;

bool isNav(const Bytes& vob, size_t sector) {
    const size_t at = sector * kSector;
    return vob.at(at + 14) == 0 && vob.at(at + 17) == 0xBB && vob.at(at + 0x26) == 0 &&
           vob.at(at + 0x29) == 0xBF && vob.at(at + 0x2C) == 0;
}

struct Vobu {
    uint32_t start = 0, end = 0; // old sectors
    uint32_t at = 0;             // new first sector
    size_t unit = 0;             // its interleaved unit, within its angle
};
struct Unit {
    uint32_t start = 0, end = 0; // new sectors
};

// Chain k + 1 plays the cells before the branches, branch k + 1 and the cells after them;
// chain 1 keeps branch 1 alone. Each chain's programs keep their entry cells' places.
void splitBranches(Bytes& ifo, size_t firstCell, size_t count) {
    const Bytes original = ifo;
    const size_t cells = original.at(pgcAt(original, 1) + 3);
    for (size_t k = 0; k < count; ++k) {
        std::vector<size_t> list;
        for (size_t c = 1; c <= cells; ++c)
            if (c < firstCell || c >= firstCell + count || c == firstCell + k) list.push_back(c);
        playCells(ifo, original, 1, k + 1, list);
    }
    // Chain 1's programs past the branches move down by the cells taken out.
    const size_t pgc = pgcAt(ifo, 1), map = pgc + get16(ifo, pgc + 0xE6);
    for (size_t p = 0; p < ifo.at(pgc + 2); ++p) {
        uint8_t& entry = ifo.at(map + p);
        if (entry >= firstCell + count) entry = static_cast<uint8_t>(entry - (count - 1));
    }
}

} // namespace

int main(int argc, char** argv) try {
    if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "branches"))
        throw std::runtime_error("usage: interleave_angles DISC FIRST_CELL ANGLES PER [branches]");
    const bool branches = argc == 6;
    const std::string dir = std::string(argv[1]) + "/VIDEO_TS/";
    const size_t firstCell = std::stoul(argv[2]), angles = std::stoul(argv[3]),
                 per = std::stoul(argv[4]);
    if (firstCell < 1 || angles < 2 || angles > 9) throw std::runtime_error("bad arguments");
    Bytes vob = load(dir + "VTS_01_1.VOB"), ifo = load(dir + "VTS_01_0.IFO"),
          vmg = load(dir + "VIDEO_TS.IFO");

    // The first program chain's cells.
    const size_t pgc = pgcAt(ifo, 1);
    const size_t cells = ifo.at(pgc + 3);
    const size_t playback = pgc + get16(ifo, pgc + 0xE8);
    if (firstCell + angles - 1 > cells) throw std::runtime_error("the title has too few cells");
    auto cellAt = [&](size_t c) { return playback + 24 * (c - 1); };

    // The disc's title table: the title of title set 1's first title has the angles.
    const size_t srpt = get32(vmg, 0xC4) * kSector;
    for (size_t t = 0; !branches && t < get16(vmg, srpt); ++t) {
        const size_t x = srpt + 8 + 12 * t;
        if (vmg.at(x + 6) == 1 && vmg.at(x + 7) == 1) vmg.at(x + 1) = static_cast<uint8_t>(angles);
    }
    save(dir + "VIDEO_TS.IFO", vmg);
    save(dir + "VIDEO_TS.BUP", vmg);
    auto markBlock = [&](size_t k, uint8_t flags) {
        const size_t c = cellAt(firstCell + k);
        if (branches) { // seamless play of an interleaved cell, in no block
            ifo.at(c) = static_cast<uint8_t>((ifo.at(c) & 0x0A) | 1 << 3 | 1 << 2);
            return;
        }
        const uint8_t mode = k == 0 ? 1 : k + 1 == angles ? 3 : 2;
        ifo.at(c) = static_cast<uint8_t>(mode << 6 | 1 << 4 | (ifo.at(c) & 0x0A) | flags);
    };
    // The chain plays one angle of the block: its length is that of its cells less the
    // other angles' (PAL frames, as the discs made here are).
    int length = 0;
    for (size_t c = 1; c <= cells; ++c)
        if (c <= firstCell || c >= firstCell + angles) length += frames(ifo, cellAt(c) + 4);
    putFrames(ifo, pgc + 4, length);
    if (per == 0) {
        for (size_t k = 0; k < angles; ++k) markBlock(k, 0);
        save(dir + "VTS_01_0.IFO", ifo);
        save(dir + "VTS_01_0.BUP", ifo);
        return 0;
    }

    // Each angle's VOBUs, from the NAV packs within its cell.
    std::vector<std::vector<Vobu>> vobus(angles);
    const uint32_t blockStart = get32(ifo, cellAt(firstCell) + 8);
    const uint32_t blockEnd = get32(ifo, cellAt(firstCell + angles - 1) + 20);
    for (size_t k = 0; k < angles; ++k) {
        const uint32_t first = get32(ifo, cellAt(firstCell + k) + 8),
                       last = get32(ifo, cellAt(firstCell + k) + 20);
        for (uint32_t s = first; s <= last; ++s)
            if (isNav(vob, s))
                vobus[k].push_back({s, s + get32(vob, s * kSector + kDsi + 8), 0, 0});
        if (vobus[k].empty() || vobus[k].front().start != first || vobus[k].back().end != last)
            throw std::runtime_error("cell " + std::to_string(firstCell + k) +
                                     " is no run of VOBUs");
    }
    const size_t units = (vobus[0].size() + per - 1) / per;
    for (const auto& a : vobus)
        if ((a.size() + per - 1) / per != units)
            throw std::runtime_error("the angles differ in their number of units");

    // The new layout: unit i of every angle, then unit i + 1 of every angle.
    std::vector<std::vector<Unit>> layout(angles, std::vector<Unit>(units));
    Bytes out(vob);
    uint32_t at = blockStart;
    for (size_t i = 0; i < units; ++i)
        for (size_t k = 0; k < angles; ++k) {
            layout[k][i].start = at;
            for (size_t v = i * per; v < std::min(vobus[k].size(), (i + 1) * per); ++v) {
                Vobu& u = vobus[k][v];
                u.at = at;
                u.unit = i;
                const size_t n = u.end - u.start + 1;
                std::copy_n(vob.begin() + static_cast<std::ptrdiff_t>(u.start * kSector),
                            n * kSector, out.begin() + static_cast<std::ptrdiff_t>(at * kSector));
                at += static_cast<uint32_t>(n);
            }
            layout[k][i].end = at - 1;
        }
    if (at != blockEnd + 1) throw std::runtime_error("the block's cells are not adjacent");

    // Every NAV pack of the block: its own address, the unit it is in, the next unit of its
    // angle and of every other angle, and its neighbours in its angle.
    auto rel = [](uint32_t to, uint32_t from) { return to - from; };
    for (size_t k = 0; k < angles; ++k)
        for (size_t v = 0; v < vobus[k].size(); ++v) {
            const Vobu& u = vobus[k][v];
            const size_t nav = u.at * kSector;
            put32(out, nav + kPci, u.at);
            put32(out, nav + kDsi + 4, u.at);
            const Unit& unit = layout[k][u.unit];
            const bool last = u.unit + 1 == units;
            uint16_t category = 0x4000; // in an interleaved unit
            if (v % per == 0) category |= 0x2000;
            if (v % per == per - 1 || v + 1 == vobus[k].size()) category |= 0x1000;
            put16(out, nav + kSmlPbi, category);
            put32(out, nav + kSmlPbi + 2, rel(unit.end, u.at));
            put32(out, nav + kSmlPbi + 6, last ? kNone : rel(layout[k][u.unit + 1].start, u.at));
            put16(out, nav + kSmlPbi + 10,
                  last ? 0
                       : static_cast<uint16_t>(layout[k][u.unit + 1].end -
                                               layout[k][u.unit + 1].start + 1));
            for (size_t j = 0; j < 9; ++j) {
                const size_t e = nav + kSmlAgli + 6 * j;
                if (j >= angles || branches) {
                    put32(out, e, 0);
                    put16(out, e + 4, 0);
                    continue;
                }
                const Unit* next = last ? nullptr : &layout[j][u.unit + 1];
                // Backwards (another angle's unit laid out earlier) sets the top bit.
                uint32_t a = kNone;
                if (next)
                    a = next->start > u.at ? next->start - u.at
                                           : 0x80000000u | (u.at - next->start);
                put32(out, e, a);
                put16(out, e + 4, next ? static_cast<uint16_t>(next->end - next->start + 1) : 0);
            }
            const uint32_t flags = 0x80000000u; // the neighbour holds video
            put32(out, nav + kNextVobu,
                  v + 1 < vobus[k].size() ? flags | rel(vobus[k][v + 1].at, u.at) : kEndOfCell);
            put32(out, nav + kPrevVobu, v > 0 ? flags | (u.at - vobus[k][v - 1].at) : kEndOfCell);
            // The search tables beyond the neighbours are left without entries.
            for (size_t f = 0; f < 19; ++f) {
                put32(out, nav + kSri + 4 + 4 * f, kEndOfCell);
                put32(out, nav + kPrevVobu + 4 + 4 * f, kEndOfCell);
            }
            put32(out, nav + kSri,
                  v + 1 < vobus[k].size() ? flags | rel(vobus[k][v + 1].at, u.at) : kEndOfCell);
            put32(out, nav + kPrevVobu + 4 + 76,
                  v > 0 ? flags | (u.at - vobus[k][v - 1].at) : kEndOfCell);
        }

    // The cells of the block, in the chain's playback table and the cell address table.
    for (size_t k = 0; k < angles; ++k) {
        const size_t c = cellAt(firstCell + k);
        markBlock(k, 1 << 2 | 1); // interleaved, seamless angle change
        put32(ifo, c + 8, layout[k].front().start);
        put32(ifo, c + 12, layout[k].front().end);
        put32(ifo, c + 16, vobus[k].back().at);
        put32(ifo, c + 20, layout[k].back().end);
    }
    const size_t cadt = get32(ifo, 0xE0) * kSector;
    const size_t entries = (get32(ifo, cadt + 4) + 1 - 8) / 12;
    const size_t position = pgc + get16(ifo, pgc + 0xEA);
    for (size_t k = 0; k < angles; ++k) {
        const uint16_t vobId = get16(ifo, position + 4 * (firstCell + k - 1));
        const uint8_t cellId = ifo.at(position + 4 * (firstCell + k - 1) + 3);
        for (size_t e = 0; e < entries; ++e) {
            const size_t x = cadt + 8 + 12 * e;
            if (get16(ifo, x) != vobId || ifo.at(x + 2) != cellId) continue;
            put32(ifo, x + 4, layout[k].front().start);
            put32(ifo, x + 8, layout[k].back().end);
        }
    }
    // The VOBU map, in sector order.
    const size_t admap = get32(ifo, 0xE4) * kSector;
    const size_t count = (get32(ifo, admap) + 1 - 4) / 4;
    std::vector<uint32_t> starts;
    for (size_t e = 0; e < count; ++e) starts.push_back(get32(ifo, admap + 4 + 4 * e));
    std::vector<uint32_t> moved;
    for (const auto& a : vobus)
        for (const Vobu& u : a) moved.push_back(u.at);
    std::erase_if(starts, [&](uint32_t s) { return s >= blockStart && s <= blockEnd; });
    starts.insert(starts.end(), moved.begin(), moved.end());
    std::sort(starts.begin(), starts.end());
    if (starts.size() != count) throw std::runtime_error("the VOBU map does not match the VOB");
    for (size_t e = 0; e < count; ++e) put32(ifo, admap + 4 + 4 * e, starts[e]);

    if (branches) splitBranches(ifo, firstCell, angles);
    save(dir + "VTS_01_1.VOB", out);
    save(dir + "VTS_01_0.IFO", ifo);
    save(dir + "VTS_01_0.BUP", ifo);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "interleave_angles: %s\n", e.what());
    return 1;
}
