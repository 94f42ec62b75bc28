#pragma once
// The sectors of an interleaved cell (an angle of a seamless angle block, or a branch of a
// seamless branching title): its units are found through the DSI packet of each NAV pack,
// which gives the end of the unit it is in and where the cell's next unit starts. The
// units of other angles or branches in between are left out.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/dvd_disc.h"

namespace qf {

// Reads one sector of the title set's VOBs into the 2048 bytes given; false when it cannot.
using SectorReader = std::function<bool(uint32_t sector, unsigned char* into)>;

struct UnitWalk {
    std::vector<SectorRange> runs; // the cell's own sectors, in order, adjacent runs joined
    // Where the walk stopped short: a sector that cannot be read, holds no NAV pack where
    // one must be, or whose addresses lead outside the cell or backwards.
    std::optional<uint32_t> unreadable, damaged;
};

// Walks `cell` from its first sector. Every address is checked to lie within the cell and
// beyond the unit before, so the walk ends after at most one step per sector.
UnitWalk interleavedUnits(const SectorReader& read, SectorRange cell);

} // namespace qf
