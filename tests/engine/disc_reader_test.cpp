// The disc reader's child and its answer, on a disc folder holding the IFO files dvdauthor
// made for the PAL test disc (the IFO fuzz target's seed) and small VOBs; and the checks
// of the files libdvdread would open.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/disc_reader.h"
#include "engine/dvd_disc.h"
#include "engine/sanitized.h"
#include "engine/stream.h"
#include "support/ifo_builder.h"

namespace qf::test {
namespace {

// A disc folder of the seed's IFO files, and VOBs of the test disc's sizes (holding no
// data: the IFO files are what is read).
struct SeedDisc {
    TempDir tmp;
    std::string disc = tmp / "disc";
    SeedDisc() {
        ::mkdir(disc.c_str(), 0755);
        ::mkdir((disc + "/VIDEO_TS").c_str(), 0755);
        writeIfoSet(disc, seedIfoSet());
        for (const auto& [vob, size] :
             {std::pair{"VTS_01_1.VOB", 3858432}, {"VTS_02_1.VOB", 229376}}) {
            writeFile(file(vob), {});
            EXPECT_EQ(::truncate(file(vob).c_str(), size), 0);
        }
    }
    std::string file(const std::string& name) const { return disc + "/VIDEO_TS/" + name; }
};

// Sets an environment variable for the lifetime of the object.
struct Env {
    std::string name;
    Env(const char* n, const char* value) : name(n) { ::setenv(n, value, 1); }
    ~Env() { ::unsetenv(name.c_str()); }
};

std::vector<int> numbers(const std::vector<DiscTitle>& titles) {
    std::vector<int> list;
    for (const DiscTitle& t : titles) list.push_back(t.number);
    return list;
}

TEST(DiscReader, TheChildGivesWhatTheParseGives) {
    const SeedDisc d;
    const DiscSource source{d.disc, 0};
    const DiscReading here = parseDiscTitles(source, checkDiscFiles(d.disc));
    ASSERT_EQ(here.outcome, DiscReading::Outcome::Titles) << here.failure;
    EXPECT_EQ(numbers(here.titles), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(here.refused.size(), 0u);
    const DiscReading there = readInChild(source, checkDiscFiles(d.disc));
    EXPECT_EQ(encodeReading(there), encodeReading(here));

    // From a thread, while another allocates: the child's memory functions still work.
    // glibc's malloc takes its locks across fork(); the sanitizer's allocator does not, so
    // there the child may wait for ever on a lock the other thread held.
    if (kSanitized) return;
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        for (size_t n = 0; !stop; ++n) {
            std::vector<char> block(4096 + n % 4096, 'x');
            block.swap(*std::make_unique<std::vector<char>>(n % 64));
        }
    });
    DiscReading fromThread;
    std::thread reader([&] { fromThread = readInChild(source, checkDiscFiles(d.disc)); });
    reader.join();
    stop = true;
    busy.join();
    EXPECT_EQ(encodeReading(fromThread), encodeReading(here));
}

TEST(DiscReader, AFaultOfTheChildIsAFailure) {
    const SeedDisc d;
    const DiscSource source{d.disc, 0};
    {
        const Env fault("QUILLFEN_DISC_READER_FAULT", "segv");
        EXPECT_EQ(readInChild(source, {}).failure,
                  "Reading its IFO files failed (the reader stopped on signal 11)");
    }
    {
        const Env fault("QUILLFEN_DISC_READER_FAULT", "hang");
        const Env seconds("QUILLFEN_DISC_READER_SECONDS", "1");
        EXPECT_EQ(readInChild(source, {}).failure,
                  "Reading its IFO files failed (the reader gave no answer within 1 s)");
    }
}

// A damaged IFO is named with its damage; a title set that cannot be opened leaves its
// titles out with the reason.
TEST(DiscReader, DamageAndMissingTitleSets) {
    const SeedDisc d;
    const DiscSource source{d.disc, 0};
    fuzz::IfoSet set = seedIfoSet();
    patch(set.vts1, 0x1001, {0x80});
    writeIfoSet(d.disc, set);
    DiscReading r = readInChild(source, checkDiscFiles(d.disc));
    EXPECT_EQ(r.failure, "Its VTS_01_0.IFO is damaged (program chain table counts 128 chains, "
                         "more than it holds)");

    writeIfoSet(d.disc, seedIfoSet());
    ::unlink(d.file("VTS_02_0.IFO").c_str());
    r = readInChild(source, checkDiscFiles(d.disc));
    EXPECT_EQ(numbers(r.titles), (std::vector<int>{1, 2}));
    ASSERT_EQ(r.refused.size(), 1u);
    EXPECT_EQ(r.refused[0].number, 3);
    EXPECT_EQ(r.refused[0].reason, "its title set's VTS_02_0.IFO is missing");
    // The backup stands in for it, as in libdvdread.
    writeFile(d.file("VTS_02_0.BUP"), seedIfoSet().vts2);
    r = readInChild(source, checkDiscFiles(d.disc));
    EXPECT_EQ(numbers(r.titles), (std::vector<int>{1, 2, 3}));

    // A file the system will not open: its reason.
    ::unlink(d.file("VTS_02_0.BUP").c_str());
    ASSERT_EQ(::symlink("VTS_02_0.IFO", d.file("VTS_02_0.IFO").c_str()), 0);
    r = readInChild(source, checkDiscFiles(d.disc));
    ASSERT_EQ(r.refused.size(), 1u);
    EXPECT_EQ(r.refused[0].reason,
              "\"" + d.file("VTS_02_0.IFO") + "\": Too many levels of symbolic links");
    ::unlink(d.file("VIDEO_TS.IFO").c_str());
    ASSERT_EQ(::symlink("VIDEO_TS.IFO", d.file("VIDEO_TS.IFO").c_str()), 0);
    try {
        checkDiscFiles(d.disc);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open disc \"" + d.disc + "\". \"" +
                                             d.file("VIDEO_TS.IFO") +
                                             "\": Too many levels of symbolic links");
    }
}

// Sectors repeated beyond the VOBs' size make a title that cannot be read.
TEST(DiscReader, ATitleClaimsNoMoreThanItsVobsHold) {
    const SeedDisc d;
    fuzz::IfoSet set = seedIfoSet();
    // Five cells of the whole VOB: more than 4 times its size.
    set.vts1 = fanOut(set.vts1, {1, 5, 1, std::pair<uint32_t, uint32_t>{0, 1883}});
    writeIfoSet(d.disc, set);
    DiscReading r = readInChild({d.disc, 0}, checkDiscFiles(d.disc));
    ASSERT_EQ(r.refused.size(), 2u);
    EXPECT_EQ(r.refused[0].reason,
              "it claims 18 Mbytes, more than its title set's 3 Mbytes of VOB files allow");
    // Four are not.
    set.vts1 = fanOut(seedIfoSet().vts1, {1, 4, 1, std::pair<uint32_t, uint32_t>{0, 1883}});
    writeIfoSet(d.disc, set);
    r = readInChild({d.disc, 0}, checkDiscFiles(d.disc));
    EXPECT_EQ(numbers(r.titles), (std::vector<int>{1, 2, 3}));
    // One cell of more sectors than there are.
    set.vts1 = fanOut(seedIfoSet().vts1, {1, 1, 1, std::pair<uint32_t, uint32_t>{0, 0xFFFFFFF0}});
    writeIfoSet(d.disc, set);
    r = readInChild({d.disc, 0}, checkDiscFiles(d.disc));
    ASSERT_EQ(r.refused.size(), 2u);
    EXPECT_EQ(r.refused[0].reason,
              "it claims 8388607 Mbytes, more than its title set's 3 Mbytes of VOB files allow");
    EXPECT_EQ(numbers(r.titles), (std::vector<int>{3}));
}

// Every name libdvdread would open, as each kind of file that is not a regular one.
TEST(DiscFiles, OnlyRegularFilesAreOpened) {
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> kinds = {
        {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
        {"folder", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); }},
        {"link to a device",
         [](const std::string& p) { ASSERT_EQ(::symlink("/dev/null", p.c_str()), 0); }},
        {"socket",
         [](const std::string& p) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un a{};
             a.sun_family = AF_UNIX;
             ASSERT_LT(p.size(), sizeof a.sun_path);
             std::copy(p.begin(), p.end(), a.sun_path);
             ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
             ::close(s);
         }},
    };
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "vts_01_0.bup",
                             "VTS_01_1.VOB", "VTS_02_3.VOB"}) {
        for (const auto& [kind, make] : kinds) {
            SCOPED_TRACE(std::string(name) + " as " + kind);
            const SeedDisc d;
            ::unlink(d.file(name).c_str());
            make(d.file(name));
            try {
                checkDiscFiles(d.disc);
                ADD_FAILURE() << "not refused";
            } catch (const Error& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open disc \"" + d.disc + "\". \"" +
                                                     d.file(name) + "\": Not a regular file");
            }
        }
    }
    // A link to a regular file is one; other names are not the reader's.
    const SeedDisc d;
    ::rename(d.file("VTS_01_1.VOB").c_str(), (d.tmp / "elsewhere.VOB").c_str());
    ASSERT_EQ(::symlink((d.tmp / "elsewhere.VOB").c_str(), d.file("VTS_01_1.VOB").c_str()), 0);
    ::mkfifo(d.file("VTS_01_1.VOB.part").c_str(), 0644);
    ::mkfifo(d.file("VIDEO_TS.IF").c_str(), 0644);
    EXPECT_NO_THROW(checkDiscFiles(d.disc));
}

// The answer as the program reads it: exactly one well-formed answer within the bounds.
TEST(DiscReaderAnswer, OnlyAWellFormedAnswerWithinTheBoundsIsRead) {
    const SeedDisc d;
    const DiscReading reading = parseDiscTitles({d.disc, 0}, {});
    DiscReading withRefused = reading;
    withRefused.refused.push_back({7, "it names title set 0"});
    DiscMenu& menu = withRefused.menus.emplace_back();
    menu.titleSet = 1;
    menu.language = "en";
    menu.number = 2;
    menu.entry = MenuEntry::Root;
    menu.still = kStillForever;
    menu.cells = {reading.titles[0].cells[0]};
    menu.streams = {reading.titles[0].streams[0], reading.titles[0].streams[1]};
    const std::string good = encodeReading(withRefused);
    const auto back = decodeReading(good);
    ASSERT_TRUE(back);
    EXPECT_EQ(encodeReading(*back), good);
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(decodeReading(std::string_view(good).substr(0, n))) << n;
    EXPECT_FALSE(decodeReading(good + '\0'));

    // Each value beyond what a disc can give.
    const std::vector<std::pair<const char*, std::function<void(DiscReading&)>>> breaks = {
        {"title 0", [](DiscReading& r) { r.titles[0].number = 0; }},
        {"titles out of order", [](DiscReading& r) { r.titles[1].number = 1; }},
        {"title set 0", [](DiscReading& r) { r.titles[0].titleSet = 0; }},
        {"ten angles", [](DiscReading& r) { r.titles[0].angles = 10; }},
        {"length NaN", [](DiscReading& r) { r.titles[0].length = std::nan(""); }},
        {"length below 0", [](DiscReading& r) { r.titles[0].length = -1; }},
        {"colour", [](DiscReading& r) { r.titles[0].palette[3] = 0x1000000; }},
        {"audio stream 8", [](DiscReading& r) { r.titles[0].streams[1].entry += 8; }},
        {"nine channels", [](DiscReading& r) { r.titles[0].streams[1].channels = 9; }},
        {"language", [](DiscReading& r) { r.titles[0].streams[1].language->code = "E1"; }},
        {"cell seconds", [](DiscReading& r) { r.titles[0].cells[0].seconds = 2e6; }},
        {"chapter 1000", [](DiscReading& r) { r.titles[0].cells[0].chapter = 1000; }},
        {"refused title 100", [](DiscReading& r) { r.refused[0].number = 100; }},
        {"no reason", [](DiscReading& r) { r.refused[0].reason.clear(); }},
        {"NUL in a reason", [](DiscReading& r) { r.refused[0].reason += '\0'; }},
        {"menu entry 1", [](DiscReading& r) { r.menus[0].entry = MenuEntry(1); }},
        {"menu of title set 100", [](DiscReading& r) { r.menus[0].titleSet = 100; }},
        {"language unit 0", [](DiscReading& r) { r.menus[0].languageUnit = 0; }},
        {"menu chain 0", [](DiscReading& r) { r.menus[0].number = 0; }},
        {"menu language", [](DiscReading& r) { r.menus[0].language = "E1"; }},
        {"menu cell backwards",
         [](DiscReading& r) {
             r.menus[0].cells[0].sectors = {5, 4};
         }},
        {"four menu streams",
         [](DiscReading& r) { r.menus[0].streams.resize(4, r.menus[0].streams[0]); }},
        {"too many cells",
         [](DiscReading& r) { r.titles[0].cells.resize(kMaxDiscCells + 1, r.titles[0].cells[0]); }},
    };
    for (const auto& [name, breakIt] : breaks) {
        SCOPED_TRACE(name);
        DiscReading broken = withRefused;
        breakIt(broken);
        EXPECT_FALSE(decodeReading(encodeReading(broken)));
    }
    DiscReading failure;
    failure.outcome = DiscReading::Outcome::Failed;
    failure.failure = "Its VIDEO_TS.IFO is damaged (title table lists no title)";
    EXPECT_EQ(decodeReading(encodeReading(failure))->failure, failure.failure);
    EXPECT_FALSE(decodeReading(std::string(maxReadingBytes() + 1, 'Q')));
}

// Decoys beside the feature: titles of the same cells, of cells out of sector order, and a
// "play all" of other titles' cells; the main title is the longest that is neither of the
// first two.
TEST(DiscTitles, DecoyMarksAndTheMainTitle) {
    struct Made {
        int set;
        std::vector<std::pair<uint32_t, uint32_t>> cells;
        double length;
    };
    struct Case {
        const char* what;
        std::vector<Made> titles;
        std::vector<std::string> marks; // per title: same, order, plays
        int main;
    };
    const Case cases[] = {
        {"a feature and its copy",
         {{1, {{0, 9}, {10, 19}}, 20}, {1, {{0, 9}, {10, 19}}, 20}},
         {"0 0 ", "1 0 "},
         1},
        {"the same cells in another title set are no copy",
         {{1, {{0, 9}}, 10}, {2, {{0, 9}}, 10}},
         {"0 0 ", "0 0 "},
         1},
        {"a longer decoy out of order",
         {{1, {{0, 9}, {10, 19}, {20, 29}}, 30}, {1, {{20, 29}, {0, 9}, {10, 19}, {0, 9}}, 40}},
         {"0 0 ", "0 1 "},
         1},
        {"a play all, and one played backwards",
         {{1, {{0, 9}}, 10},
          {1, {{10, 19}, {20, 29}}, 20},
          {1, {{0, 9}, {10, 19}, {20, 29}}, 30},
          {1, {{10, 19}, {20, 29}, {0, 9}}, 30}},
         {"0 0 ", "0 0 ", "0 0 1,2,", "0 1 2,1,"},
         3},
        {"every title a decoy: the longest",
         {{1, {{10, 19}, {0, 9}}, 20}, {1, {{10, 19}, {0, 9}}, 20}},
         {"0 1 ", "1 1 "},
         1},
    };
    for (const Case& c : cases) {
        std::vector<DiscTitle> titles;
        for (const Made& m : c.titles) {
            DiscTitle& t = titles.emplace_back();
            t.number = static_cast<int>(titles.size());
            t.titleSet = m.set;
            t.length = m.length;
            for (const auto& [first, last] : m.cells) t.cells.push_back({{first, last}, 1});
        }
        markTitles(titles);
        std::vector<std::string> marks;
        for (const DiscTitle& t : titles) {
            std::string plays;
            for (int n : t.playsTitles) plays += std::to_string(n) + ",";
            marks.push_back(std::to_string(t.sameCellsAs) + " " + (t.outOfOrder ? "1 " : "0 ") +
                            plays);
        }
        EXPECT_EQ(marks, c.marks) << c.what;
        EXPECT_EQ(mainTitle(titles)->number, c.main) << c.what;
    }
}

} // namespace
} // namespace qf::test
