// The walk through an interleaved cell's units, on sectors made in memory: the units it
// follows, and where damaged addresses stop it (outside the cell, backwards, onto no NAV
// pack, or a pack that names another place).
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/angle_stream.h"

namespace qf::test {
namespace {

using Sector = std::vector<unsigned char>;

void put32(Sector& s, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) s[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// A NAV pack at `lbn` in an interleaved unit ending `end` sectors on, the cell's next unit
// `next` sectors on (0x7fffffff: none).
Sector navPack(uint32_t lbn, uint32_t end, uint32_t next, bool inUnit = true) {
    Sector s(2048, 0);
    const unsigned char pack[] = {0, 0, 1, 0xBA}, system[] = {0, 0, 1, 0xBB};
    std::copy(pack, pack + 4, s.begin());
    std::copy(system, system + 4, s.begin() + 14);
    for (const size_t at : {size_t{0x26}, size_t{0x400}}) {
        s[at + 2] = 1;
        s[at + 3] = 0xBF;
    }
    s[0x2C] = 0;
    s[0x406] = 1;
    put32(s, 0x407 + 4, lbn);     // the DSI's own address
    put32(s, 0x407 + 8, end);     // the VOBU's end
    s[0x427] = inUnit ? 0x70 : 0; // in a unit, its first and last VOBU
    put32(s, 0x427 + 2, end);     // the unit's end
    put32(s, 0x427 + 6, next);    // the next unit
    return s;
}

struct WalkCase {
    const char* name;
    std::map<uint32_t, Sector> sectors; // those that can be read
    SectorRange cell;
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    int damagedAt = -1, unreadableAt = -1;
};

class UnitWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(UnitWalkTest, FollowsTheCellsUnitsOnly) {
    const WalkCase& c = GetParam();
    const SectorReader read = [&](uint32_t s, unsigned char* into) {
        const auto it = c.sectors.find(s);
        if (it == c.sectors.end()) return false;
        std::copy(it->second.begin(), it->second.end(), into);
        return true;
    };
    const UnitWalk walk = interleavedUnits(read, c.cell);
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (const SectorRange& r : walk.runs) runs.emplace_back(r.first, r.last);
    EXPECT_EQ(runs, c.runs);
    EXPECT_EQ(walk.damaged ? static_cast<int>(*walk.damaged) : -1, c.damagedAt);
    EXPECT_EQ(walk.unreadable ? static_cast<int>(*walk.unreadable) : -1, c.unreadableAt);
}

constexpr uint32_t kNone = 0x7fffffff;

INSTANTIATE_TEST_SUITE_P(
    Navigation, UnitWalkTest,
    ::testing::Values(
        // Units at 10-12, 20-21 and 30-34, other angles' between.
        WalkCase{"ThreeUnits",
                 {{10, navPack(10, 2, 10)}, {20, navPack(20, 1, 10)}, {30, navPack(30, 4, kNone)}},
                 {10, 40},
                 {{10, 12}, {20, 21}, {30, 34}}},
        WalkCase{"UpToTheCellsEnd",
                 {{10, navPack(10, 2, 10)}, {20, navPack(20, 5, 10)}},
                 {10, 25},
                 {{10, 12}, {20, 25}}},
        // VOBUs outside any unit follow one another.
        WalkCase{"PlainVobus",
                 {{10, navPack(10, 3, 0, false)}, {14, navPack(14, 2, 0, false)}},
                 {10, 16},
                 {{10, 16}}},
        WalkCase{"NextUnitIsThisOne", {{10, navPack(10, 2, 0)}}, {10, 40}, {{10, 12}}, 10},
        WalkCase{"NextUnitInsideThisOne", {{10, navPack(10, 2, 1)}}, {10, 40}, {{10, 12}}, 10},
        WalkCase{"NextUnitPastTheCell", {{10, navPack(10, 2, 40)}}, {10, 40}, {{10, 12}}, 10},
        WalkCase{"UnitEndPastTheCell", {{10, navPack(10, 50, kNone)}}, {10, 40}, {}, 10},
        WalkCase{"AddressesThatWrapAround",
                 {{10, navPack(10, 2, 0xfffffffa)}},
                 {10, 40},
                 {{10, 12}},
                 10},
        WalkCase{"NoNavPackWhereOneMustBe",
                 {{10, navPack(10, 2, 10)}, {20, Sector(2048, 0)}},
                 {10, 40},
                 {{10, 12}},
                 20},
        WalkCase{"APackNamingAnotherPlace", {{10, navPack(11, 2, kNone)}}, {10, 40}, {}, 10},
        WalkCase{"AnUnreadableSector", {{10, navPack(10, 2, 10)}}, {10, 40}, {{10, 12}}, -1, 20}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace qf::test
