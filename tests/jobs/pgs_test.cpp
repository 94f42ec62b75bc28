// Presentation graphics from HD DVD units: the run-length code of the object bitmaps, and
// the segments of a unit's display sets as the writer lays them out.
#include "jobs/pgs.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/hd_subpicture.h"
#include "support/memory_stream.h"

namespace qf::test {
namespace {

TEST(PgsRle, CodesEachRunAsTheFormatSays) {
    struct Case {
        std::vector<uint8_t> line;
        Bytes code; // the line's end, 00 00, included
    };
    const Case cases[] = {
        {{7}, {0x07, 0x00, 0x00}},                                      // one pixel a byte
        {{7, 7}, {0x07, 0x07, 0x00, 0x00}},                             // cheaper than a run
        {{7, 7, 7}, {0x00, 0x83, 0x07, 0x00, 0x00}},                    // 00 10LLLLLL C
        {{0, 0}, {0x00, 0x02, 0x00, 0x00}},                             // 00 00LLLLLL
        {std::vector<uint8_t>(100, 0), {0x00, 0x40, 0x64, 0x00, 0x00}}, // 00 01LLLLLL LLLLLLLL
        {std::vector<uint8_t>(100, 9), {0x00, 0xC0, 0x64, 0x09, 0x00, 0x00}},
        {{0, 5, 5, 5}, {0x00, 0x01, 0x00, 0x83, 0x05, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.line.size()));
        EXPECT_EQ(pgsRle(c.line, static_cast<int>(c.line.size()), 1), c.code);
    }
}

// The segment types of a written stream, and the composition flags of each composition.
struct Segments {
    std::vector<uint8_t> types;
    std::vector<uint8_t> objectFlags; // of the compositions with an object
};

Segments segments(const Bytes& sup) {
    Segments s;
    for (size_t at = 0; at + 13 <= sup.size();) {
        EXPECT_EQ(sup[at], 'P');
        EXPECT_EQ(sup[at + 1], 'G');
        const uint8_t type = sup[at + 10];
        const size_t size = static_cast<size_t>(sup[at + 11] << 8 | sup[at + 12]);
        s.types.push_back(type);
        if (type == 0x16 && sup[at + 13 + 10] == 1) s.objectFlags.push_back(sup[at + 13 + 14]);
        at += 13 + size;
    }
    return s;
}

TEST(PgsWriter, WritesADisplaySetAndAnEmptyOneForEachUnit) {
    for (bool forcedOnly : {false, true}) {
        SCOPED_TRACE(forcedOnly ? "forced only" : "every unit");
        auto out = std::make_unique<MemoryStream>();
        MemoryStream* sup = out.get();
        PgsOptions o;
        o.forcedOnly = forcedOnly;
        PgsWriter w(std::move(out), o);
        for (bool forced : {false, true}) {
            const Bytes u = eightBitBox(forced);
            w.unitStart(90000, false);
            w.write(u.data(), 700); // as packets cut it
            w.write(u.data() + 700, u.size() - 700);
        }
        w.finish();
        const std::vector<uint8_t> set = {0x16, 0x17, 0x14, 0x15, 0x80, 0x16, 0x17, 0x80};
        std::vector<uint8_t> types = forcedOnly ? std::vector<uint8_t>{} : set;
        types.insert(types.end(), set.begin(), set.end());
        const Segments s = segments(sup->data);
        EXPECT_EQ(s.types, types);
        EXPECT_EQ(s.objectFlags, forcedOnly ? Bytes{0x40} : (Bytes{0x00, 0x40}));
        EXPECT_EQ(w.units().size(), 2);
        EXPECT_EQ(w.units().written(), forcedOnly ? 1 : 2);
    }
}

} // namespace
} // namespace qf::test
