// The VobSub writer on units handed over as a demux pass hands them: which it writes,
// which it leaves out and counts, and what it keeps of a stream of very many.
#include "jobs/vobsub.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/memory_stream.h"

namespace qf::test {
namespace {

// A writer on streams in memory.
struct Writer {
    MemoryStream *sub = nullptr, *idx = nullptr;
    std::unique_ptr<VobSubWriter> w;

    explicit Writer(bool forcedOnly = false) {
        auto s = std::make_unique<MemoryStream>(), i = std::make_unique<MemoryStream>();
        sub = s.get();
        idx = i.get();
        VobSubIndex index;
        index.forcedOnly = forcedOnly;
        w = std::make_unique<VobSubWriter>(std::move(s), std::move(i), index);
    }
    void unit(const Bytes& u, uint32_t pts) {
        w->unitStart(pts, false);
        w->write(u.data(), u.size());
    }
};

// A 2-bit RLE unit of `size` bytes: its header, then one display control sequence (a
// date, the link to itself, "forced start display" when asked, the end command).
Bytes twoBitUnit(size_t size, bool forced = false) {
    Bytes u = {static_cast<uint8_t>(size >> 8),
               static_cast<uint8_t>(size),
               0x00,
               0x04,
               0x00,
               0x00,
               0x00,
               0x04};
    if (forced) u.push_back(0x00);
    u.push_back(0xFF);
    u.resize(size, 0x00);
    return u;
}

// An 8-bit RLE unit of `size` bytes: a zero size field, the size and the sequences' offset
// in four bytes each, then one sequence (a date, a 4-byte link, the end command).
Bytes eightBitUnit(uint32_t size) {
    Bytes u = {0x00,
               0x00,
               static_cast<uint8_t>(size >> 24),
               static_cast<uint8_t>(size >> 16),
               static_cast<uint8_t>(size >> 8),
               static_cast<uint8_t>(size),
               0x00,
               0x00,
               0x00,
               0x0A,
               0x00,
               0x00,
               0x00,
               0x00,
               0x00,
               0x0A,
               0xFF};
    u.resize(size, 0x00);
    return u;
}

TEST(VobSubWriter, UnitsTooShortForAHeaderAndASequenceAreIncomplete) {
    const struct {
        const char* name;
        Bytes unit;
        bool written;
    } cases[] = {
        {"a size field and an offset alone", {0x00, 0x04, 0x00, 0x04}, false},
        {"a sequence without its end", {0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04}, false},
        {"the header and one sequence", twoBitUnit(9), true},
        {"a forced unit", twoBitUnit(10, true), true},
        {"a unit of pictures", twoBitUnit(1500), true},
        {"8-bit RLE, one byte short", eightBitUnit(16), false},
        {"8-bit RLE, the header and one sequence", eightBitUnit(17), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer wr;
        wr.unit(c.unit, 90000);
        wr.w->finish();
        EXPECT_EQ(wr.w->droppedUnfinished(), c.written ? 0 : 1);
        EXPECT_EQ(wr.w->units().size(), c.written ? 1 : 0);
        EXPECT_EQ(wr.sub->data.size(), c.written ? kPackSize : 0u);
    }
}

// A unit is written only when it begins a packet with a time and a pack of its own, as
// each does on a disc; the others are left out and counted, once each.
TEST(VobSubWriter, UnitsWithoutAPacketAndAPackOfTheirOwnAreLeftOut) {
    const Bytes u = twoBitUnit(9);
    Bytes two = u;
    two.insert(two.end(), u.begin(), u.end());
    const Bytes cut(u.begin(), u.begin() + 5);
    enum Start { Untimed, Timed, SharesPack };
    struct Packet {
        Start start;
        Bytes bytes;
    };
    const struct {
        const char* name;
        std::vector<Packet> packets;
        int written, incomplete, sharing;
    } cases[] = {
        {"two units in one packet", {{Timed, two}}, 1, 1, 0},
        {"a unit in a packet without a time", {{Timed, u}, {Untimed, u}}, 1, 1, 0},
        {"a unit in the pack of an earlier one", {{Timed, u}, {SharesPack, u}}, 1, 0, 1},
        {"a unit after one in a shared pack", {{Timed, u}, {SharesPack, u}, {Timed, u}}, 2, 0, 1},
        {"an incomplete unit in a shared pack",
         {{Timed, u}, {SharesPack, cut}, {Timed, u}},
         2,
         1,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer wr;
        uint32_t pts = 90000;
        for (const Packet& p : c.packets) {
            if (p.start != Untimed) wr.w->unitStart(pts += 900, p.start == SharesPack);
            wr.w->write(p.bytes.data(), p.bytes.size());
        }
        wr.w->finish();
        EXPECT_EQ(wr.w->units().written(), c.written);
        EXPECT_EQ(wr.w->droppedUnfinished(), c.incomplete);
        EXPECT_EQ(wr.w->droppedSharingPack(), c.sharing);
        EXPECT_EQ(wr.sub->data.size(), static_cast<size_t>(c.written) * kPackSize);
    }
}

// Every unit is counted, but only the first hundred thousand are kept one by one.
TEST(VobSubWriter, KeepsTheFirstHundredThousandUnitsAndCountsTheRest) {
    constexpr int kUnits = 100010;
    Writer wr(true);
    const Bytes plain = twoBitUnit(9), forced = twoBitUnit(10, true);
    for (int k = 0; k < kUnits; ++k)
        wr.unit(k >= 100000 && k % 4 == 0 ? forced : plain, 90000 + 900 * static_cast<uint32_t>(k));
    wr.w->finish();
    const SubpictureUnitList& units = wr.w->units();
    EXPECT_EQ(units.listed.size(), SubpictureUnitList::kListed);
    EXPECT_EQ(units.size(), kUnits);
    EXPECT_EQ(units.beyond.units, 10);
    EXPECT_EQ(units.beyond.forced, 3); // units 100000, 100004 and 100008
    EXPECT_EQ(units.beyond.written, 3);
    EXPECT_EQ(units.written(), 3);
    EXPECT_EQ(units.listed.back().timeMs, (99999 * 900 + 90000) / 90);
    EXPECT_EQ(wr.sub->data.size(), 3 * kPackSize);
}

// The index goes out in pieces while the units are written, the same text as in one.
TEST(VobSubWriter, IndexOfManyUnitsIsWrittenInPieces) {
    constexpr int kUnits = 3000;
    Writer wr;
    for (int k = 0; k < kUnits; ++k) wr.unit(twoBitUnit(9), 90000 * static_cast<uint32_t>(k));
    EXPECT_GT(wr.idx->writes, 0) << "nothing written before the end";
    wr.w->finish();

    Writer empty;
    empty.w->finish();
    std::string expected(empty.idx->data.begin(), empty.idx->data.end());
    for (int k = 0; k < kUnits; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "timestamp: %s, filepos: %09llx\n",
                      vobSubTime(1000LL * k).c_str(),
                      static_cast<unsigned long long>(kPackSize) * static_cast<unsigned>(k));
        expected += line;
    }
    EXPECT_EQ(std::string(wr.idx->data.begin(), wr.idx->data.end()), expected);
    EXPECT_GT(wr.idx->writes, 2);
}

} // namespace
} // namespace qf::test
