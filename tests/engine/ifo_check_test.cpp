// The checks of IFO bytes on the IFO files dvdauthor made for the PAL test disc (the seed
// of the IFO fuzz target), each table damaged where libdvdread would trust it.
#include <gtest/gtest.h>

#include "engine/ifo_check.h"
#include "support/ifo_builder.h"

namespace qf::test {
namespace {

enum class File { Vmg, Vts };

struct DamageCase {
    const char* name;
    File file;
    size_t offset;
    Bytes bytes;
    const char* damage; // nullptr: none
};

std::optional<std::string> damageOf(File file, const Bytes& bytes) {
    return file == File::Vmg ? vmgDamage(bytes) : vtsDamage(bytes);
}

TEST(IfoCheck, TheAuthoredFilesPass) {
    const fuzz::IfoSet set = seedIfoSet();
    ASSERT_EQ(set.vmg.size(), 6144u);
    EXPECT_EQ(vmgDamage(set.vmg), std::nullopt);
    EXPECT_EQ(vtsDamage(set.vts1), std::nullopt);
    EXPECT_EQ(vtsDamage(set.vts2), std::nullopt);
}

// Where the seed's tables are: in VIDEO_TS.IFO the first-play chain at 0x400 (its command
// table at 0x4EC) and the title table in sector 1; in VTS_01_0.IFO the chapter table in
// sector 1 and the program chain table in sector 2, its first chain at 0x1018 with the
// offsets of its tables at 0x10FC.
TEST(IfoCheck, NameTheFirstDamage) {
    const DamageCase cases[] = {
        {"title table's last byte",
         File::Vmg,
         0x804,
         {0xFF, 0xFF, 0xFF},
         "title table ends past the file's end"},
        {"first-play cell commands",
         File::Vmg,
         0x4F0,
         {0x08},
         "first-play program chain's command table counts 2049 commands, more than 255"},
        {"first-play commands past the table",
         File::Vmg,
         0x4F0,
         {0x00, 0x10},
         "first-play program chain's command table counts more commands than it holds"},
        {"first-play chain past the end",
         File::Vmg,
         0x84,
         {0, 0, 0x17, 0xF0},
         "first-play program chain ends past the file's end"},
        {"no title table", File::Vmg, 0xC4, {0, 0, 0, 0}, "it has no title table"},
        {"title table past the end",
         File::Vmg,
         0xC4,
         {0, 0, 0, 9},
         "title table starts past the file's end"},
        {"no title", File::Vmg, 0x800, {0, 0}, "title table lists no title"},
        {"more titles than the table holds",
         File::Vmg,
         0x800,
         {0, 4},
         "title table counts 4 titles, more than it holds"},
        {"no identifier", File::Vmg, 0, {'X'}, "it does not begin with DVDVIDEO-VMG"},
        {"chain count",
         File::Vts,
         0x1001,
         {0x80},
         "program chain table counts 128 chains, more than it holds"},
        {"chain count beyond libdvdread's",
         File::Vts,
         0x1000,
         {0x27, 0x10},
         "program chain table counts 10000 chains, more than 9999"},
        {"chain table past the end",
         File::Vts,
         0x1004,
         {0, 0, 0x30, 0},
         "program chain table ends past the file's end"},
        {"chain past its table",
         File::Vts,
         0x100C,
         {0, 0, 0x02, 0x80},
         "program chain 1 ends past the program chain table's end"},
        {"command table",
         File::Vts,
         0x10FC,
         {0x02, 0x6A},
         "program chain 1's command table ends past the program chain table's end"},
        {"program map",
         File::Vts,
         0x10FE,
         {0x02, 0x6D},
         "program chain 1's program map ends past the program chain table's end"},
        {"cell table",
         File::Vts,
         0x1100,
         {0x02, 0x70},
         "program chain 1's cell table ends past the program chain table's end"},
        {"cell positions",
         File::Vts,
         0x1102,
         {0x02, 0x78},
         "program chain 1's cell position table ends past the program chain table's end"},
        {"no chapter table", File::Vts, 0xC8, {0, 0, 0, 0}, "it has no chapter table"},
        {"no chain table", File::Vts, 0xCC, {0, 0, 0, 0}, "it has no program chain table"},
        {"chapter table past the end",
         File::Vts,
         0x804,
         {0, 0, 0xFF, 0xFF},
         "chapter table ends past the file's end"},
        {"no title's chapters", File::Vts, 0x800, {0, 0}, "chapter table lists no title"},
        {"more titles than chapter offsets",
         File::Vts,
         0x800,
         {0, 9},
         "chapter table counts 9 titles, more than it holds"},
        {"chapters inside the offsets",
         File::Vts,
         0x80C,
         {0, 0, 0, 8},
         "chapter table's title 2 starts inside its offsets"},
        {"chapters out of order",
         File::Vts,
         0x808,
         {0, 0, 0, 0x1C, 0, 0, 0, 0x10},
         "chapter table's titles are out of order"},
        {"chapter of chain 0",
         File::Vts,
         0x810,
         {0, 0},
         "chapter 1 of title 1 names program chain 0, outside 1-999"},
        {"chapter of program 100",
         File::Vts,
         0x812,
         {0, 100},
         "chapter 1 of title 1 names program 100, outside 1-99"},
        {"no identifier", File::Vts, 0, {'X'}, "it does not begin with DVDVIDEO-VTS"},
        // A title whose chapters would start past the table ends the titles, as libdvdread
        // reads it: no damage.
        {"title past the chapter table", File::Vts, 0x80C, {0, 0, 0, 0x1F}, nullptr},
    };
    const fuzz::IfoSet set = seedIfoSet();
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = c.file == File::Vmg ? set.vmg : set.vts1;
        patch(bytes, c.offset, c.bytes);
        const auto damage = damageOf(c.file, bytes);
        if (c.damage)
            EXPECT_EQ(damage, std::string(c.damage));
        else
            EXPECT_EQ(damage, std::nullopt);
    }
}

TEST(IfoCheck, SizesOfTheFile) {
    const fuzz::IfoSet set = seedIfoSet();
    EXPECT_EQ(vmgDamage(Bytes(set.vmg.begin(), set.vmg.begin() + 509)),
              "the file ends inside its header");
    EXPECT_EQ(vtsDamage(Bytes(set.vts1.begin(), set.vts1.begin() + 983)),
              "the file ends inside its header");
    // Cut within the tables: the first one that reaches past the end is named.
    EXPECT_EQ(vmgDamage(Bytes(set.vmg.begin(), set.vmg.begin() + 0x820)),
              "title table ends past the file's end");
    Bytes big = set.vts1;
    big.resize(kMaxIfoBytes + 1);
    EXPECT_EQ(vtsDamage(big), "it is larger than 16 MB");
}

TEST(IfoCheck, AChainSharedByManyPointersIsCheckedOnce) {
    const Bytes vts = seedIfoSet().vts1;
    EXPECT_EQ(vtsDamage(fanOut(vts, {65535, 255, 999, {}})),
              "program chain table counts 65535 chains, more than 9999");
    EXPECT_EQ(vtsDamage(fanOut(vts, {9999, 255, 999, {}})), std::nullopt);
    // The one chain all point to, with its cells past the table: named by the first.
    Bytes shared = fanOut(vts, {9999, 255, 999, {}});
    const size_t table = be32(shared, 204) * 2048;
    patch(shared, table + be32(shared, table + 12) + 232, {0xFF, 0xFF});
    EXPECT_EQ(vtsDamage(shared),
              "program chain 1's cell table ends past the program chain table's end");
}

} // namespace
} // namespace qf::test
