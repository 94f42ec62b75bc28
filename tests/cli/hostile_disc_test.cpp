// Discs made hostile from the dvdauthor-made PAL disc (tests/support/make_dvd_discs.sh):
// damaged IFO bytes, FIFOs in place of its files, tables that fan out or repeat sectors,
// title sets that cannot be opened, and a thousand mutated IFO sets. quillfen-cli ends each
// run at once with its status and a message naming what is wrong, and never on a signal.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "engine/sanitized.h"
#include "support/ifo_builder.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const std::string kPal = std::string(QUILLFEN_DVD_DIR) + "/pal";

// A run that must end at once: a guard against a hang, far above the normal run's time.
constexpr double kAtOnce = 2.0;
constexpr long kMostKiB = 64 * 1024;

// A copy of the PAL disc: its IFO and BUP files copied, its VOBs linked to the made ones.
struct DiscCopy {
    TempDir tmp;
    std::string disc = tmp / "pal";
    DiscCopy() {
        fs::create_directories(disc + "/VIDEO_TS");
        for (const auto& e : fs::directory_iterator(kPal + "/VIDEO_TS")) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() == ".VOB")
                fs::create_symlink(e.path(), file(name));
            else
                fs::copy_file(e.path(), file(name));
        }
    }
    std::string file(const std::string& name) const { return disc + "/VIDEO_TS/" + name; }
    void patchFile(const std::string& name, size_t offset, const Bytes& bytes) const {
        Bytes b = readFile(file(name));
        patch(b, offset, bytes);
        writeFile(file(name), b);
    }
    // The disc as a UDF image beside it.
    std::string iso() const {
        const std::string image = tmp / "pal.iso";
        const std::string cmd = "genisoimage -quiet -f -dvd-video -udf -V QUILLFEN -o '" + image +
                                "' '" + disc + "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return image;
    }
};

// The run ended by itself, at once, with status 1 and `message` on standard error.
void expectRefused(const CliResult& r, const std::string& message) {
    EXPECT_FALSE(r.timedOut);
    EXPECT_LT(r.seconds, kAtOnce);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
}

struct DamageCase {
    const char* file;
    size_t offset;
    Bytes bytes;
    const char* message; // after "Cannot open disc "P". "
};

// The three one-byte changes that took libdvdread into memory corruption, on the folder
// and on its image, through every command that reads a disc.
TEST(HostileDisc, DamagedIfoBytesAreNamed) {
    const DamageCase cases[] = {
        {"VIDEO_TS.IFO",
         0x804,
         {0xFF, 0xFF, 0xFF},
         "Its VIDEO_TS.IFO is damaged (title table ends past the file's end)"},
        {"VIDEO_TS.IFO",
         0x4F0,
         {0x08},
         "Its VIDEO_TS.IFO is damaged (first-play program chain's command table counts 2049 "
         "commands, more than 255)"},
        {"VTS_01_0.IFO",
         0x1001,
         {0x80},
         "Its VTS_01_0.IFO is damaged (program chain table counts 128 chains, more than it "
         "holds)"},
    };
    for (const DamageCase& c : cases) {
        const DiscCopy copy;
        copy.patchFile(c.file, c.offset, c.bytes);
        for (const std::string& source : {copy.disc, copy.iso()}) {
            const TempDir out;
            for (const Strings& args : {Strings{"titles", source}, Strings{"read", source},
                                        Strings{"demux", source, "-o", out.path},
                                        Strings{"rebuild", source, "-o", out.path}}) {
                SCOPED_TRACE(args[0] + " " + source + " with " + c.file + " changed");
                expectRefused(runCli(args), "Cannot open disc \"" + source + "\". " + c.message);
            }
            EXPECT_TRUE(fs::is_empty(out.path));
        }
    }
}

// A fault of libdvdread that no check foresaw ends its process, not the program's.
TEST(HostileDisc, AFaultOfTheReaderIsAnError) {
    for (const char* command : {"titles", "read"}) {
        SCOPED_TRACE(command);
        expectRefused(runCli({command, kPal}, false, {"QUILLFEN_DISC_READER_FAULT=segv"}),
                      "Cannot open disc \"" + kPal +
                          "\". Reading its IFO files failed (the reader stopped on signal 11)");
    }
    const CliResult r =
        runCli({"titles", kPal}, false,
               {"QUILLFEN_DISC_READER_FAULT=hang", "QUILLFEN_DISC_READER_SECONDS=1"});
    expectRefused(r, "Reading its IFO files failed (the reader gave no answer within 1 s)");
    expectRefused(runCli({"titles", kPal}, false, {"QUILLFEN_DISC_READER_FAULT=oom"}),
                  "Out of memory while reading the titles of \"" + kPal + "\"");
}

// A FIFO in place of any file of the disc blocks nothing: it is refused before it is opened.
TEST(HostileDisc, FifosAreRefusedAtOnce) {
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP",
                             "VTS_01_1.VOB", "VTS_02_1.VOB"}) {
        const DiscCopy copy;
        fs::remove(copy.file(name));
        ASSERT_EQ(::mkfifo(copy.file(name).c_str(), 0644), 0);
        for (const char* command : {"titles", "read"}) {
            SCOPED_TRACE(std::string(command) + " with " + name + " a FIFO");
            expectRefused(runCli({command, copy.disc}), "Cannot open disc \"" + copy.disc +
                                                            "\". \"" + copy.file(name) +
                                                            "\": Not a regular file");
        }
    }
    const TempDir tmp;
    const std::string image = tmp / "disc.iso";
    ASSERT_EQ(::mkfifo(image.c_str(), 0644), 0);
    expectRefused(runCli({"titles", image}),
                  "Cannot open disc \"" + image + "\". \"" + image + "\": Not a regular file");
}

// 65,535 or 9,999 pointers to one chain of 255 cells, and a title of 999 chapters naming
// 999 of them: refused by the checks, or read in time linear in the IFO and refused for
// what its cells claim.
TEST(HostileDisc, AChainTableThatFansOutIsBounded) {
    const DiscCopy copy;
    const Bytes vts = readFile(copy.file("VTS_01_0.IFO"));
    writeFile(copy.file("VTS_01_0.IFO"), fanOut(vts, {65535, 255, 999, {}}));
    CliResult r = runCli({"titles", copy.disc});
    expectRefused(r, "Its VTS_01_0.IFO is damaged (program chain table counts 65535 chains, "
                     "more than 9999)");
    if (!kSanitized) {
        EXPECT_LT(r.peakKiB, kMostKiB);
    }

    writeFile(copy.file("VTS_01_0.IFO"), fanOut(vts, {9999, 255, 999, {}}));
    r = runCli({"titles", copy.disc, "--json"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_LT(r.seconds, kAtOnce);
    if (!kSanitized) {
        EXPECT_LT(r.peakKiB, kMostKiB);
    }
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["titles"].size(), 1u);
    EXPECT_EQ(doc["titles"][0]["title"], 3);
    ASSERT_EQ(doc["refused"].size(), 2u);
    const std::string reason = doc["refused"][0]["reason"];
    EXPECT_EQ(reason.rfind("it claims ", 0), 0u) << reason;
    EXPECT_NE(reason.find("Mbytes, more than its title set's 3 Mbytes of VOB files allow"),
              std::string::npos)
        << reason;
    r = runCli({"read", copy.disc, "--title", "1"});
    expectRefused(r, "Title 1 of pal cannot be read (" + reason + ")");
}

// Cells that repeat their title set's sectors, or claim more than there are: the title is
// left out with the reason, and a demux of it writes nothing.
TEST(HostileDisc, ATitleCannotClaimMoreThanItsVobs) {
    const DiscCopy copy;
    const Bytes vts = readFile(copy.file("VTS_01_0.IFO"));
    const uint32_t vobSectors =
        static_cast<uint32_t>(fs::file_size(copy.file("VTS_01_1.VOB")) / 2048);
    struct Case {
        FanOut shape;
        const char* claim;
    };
    const Case cases[] = {
        {{1, 5, 1, std::pair<uint32_t, uint32_t>{0, vobSectors - 1}}, "18 Mbytes"},
        {{1, 1, 1, std::pair<uint32_t, uint32_t>{0, 0xFFFFFFF0}}, "8388607 Mbytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.claim);
        writeFile(copy.file("VTS_01_0.IFO"), fanOut(vts, c.shape));
        const std::string reason = std::string("it claims ") + c.claim +
                                   ", more than its title set's 3 Mbytes of VOB files allow";
        CliResult r = runCli({"titles", copy.disc});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("Title 1: cannot be read (" + reason + ")\n", 0), 0u) << r.out;
        const TempDir out;
        r = runCli({"demux", copy.disc, "--title", "1", "-o", out.path});
        expectRefused(r, "Title 1 of pal cannot be read (" + reason + ")");
        EXPECT_TRUE(fs::is_empty(out.path));
    }
}

// A disc without a title that can be read ends with status 1 and the reason; an IFO the
// system will not open is named with the system's reason.
TEST(HostileDisc, NoReadableTitleIsAnErrorWithItsReason) {
    const DiscCopy copy;
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_02_0.IFO", "VTS_02_0.BUP"})
        fs::remove(copy.file(name));
    expectRefused(runCli({"titles", copy.disc}),
                  "Cannot open disc \"" + copy.disc +
                      "\". No title can be read (title 1: its title set's VTS_01_0.IFO is "
                      "missing)");
    fs::create_symlink("VTS_01_0.IFO", copy.file("VTS_01_0.IFO"));
    expectRefused(runCli({"titles", copy.disc}), "No title can be read (title 1: \"" +
                                                     copy.file("VTS_01_0.IFO") +
                                                     "\": Too many levels of symbolic links)");
    const DiscCopy other;
    fs::remove(other.file("VIDEO_TS.BUP"));
    fs::remove(other.file("VIDEO_TS.IFO"));
    fs::create_symlink("VIDEO_TS.IFO", other.file("VIDEO_TS.IFO"));
    expectRefused(runCli({"titles", other.disc}), "Cannot open disc \"" + other.disc + "\". \"" +
                                                      other.file("VIDEO_TS.IFO") +
                                                      "\": Too many levels of symbolic links");
}

TEST(HostileDisc, APermissionDeniedIsNamed) {
    if (::geteuid() == 0) GTEST_SKIP() << "run as root: no permission can be denied";
    const DiscCopy denied;
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"})
        fs::permissions(denied.file(name), fs::perms::none);
    const CliResult r = runCli({"read", denied.disc, "--title", "1"});
    expectRefused(r, "Title 1 of pal cannot be read (\"" + denied.file("VTS_01_0.IFO") +
                         "\": Permission denied)");
}

// Bytes of the seed's tables changed at random, the same on every run: within the spans
// that hold the management tables' pointers and the tables with their offsets and counts.
class Mutator {
public:
    using Spans = std::vector<std::pair<size_t, size_t>>;
    uint32_t next() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return x_;
    }
    void mutate(Bytes& file, const Spans& spans) {
        static const uint8_t kInteresting[] = {0x00, 0xFF, 0x80, 0x7F, 0x01, 0x10};
        const auto [from, to] = spans[next() % spans.size()];
        const size_t at = from + next() % (to - from);
        const size_t run = 1 + next() % 4;
        for (size_t k = 0; k < run && at + k < file.size(); ++k)
            file[at + k] = next() % 2 ? kInteresting[next() % 6] : static_cast<uint8_t>(next());
    }

private:
    uint32_t x_ = 2463534242u;
};

TEST(HostileDisc, AThousandMutatedIfoSetsEndWithoutAFault) {
    const DiscCopy copy;
    const fuzz::IfoSet seed{readFile(copy.file("VIDEO_TS.IFO")),
                            readFile(copy.file("VTS_01_0.IFO")),
                            readFile(copy.file("VTS_02_0.IFO"))};
    for (const char* bup : {"VIDEO_TS.BUP", "VTS_01_0.BUP", "VTS_02_0.BUP"})
        fs::remove(copy.file(bup));
    Mutator m;
    int listed = 0, refused = 0;
    for (int k = 0; k < 1000; ++k) {
        fuzz::IfoSet set = seed;
        // VIDEO_TS.IFO: its table pointers, first-play chain and title table; a VTS_nn_0.IFO:
        // its table pointers, chapter table and program chain table.
        const Mutator::Spans vmg{{0x80, 0xD0}, {0x400, 0x500}, {0x800, 0x830}, {0, 0xC00}};
        const Mutator::Spans vts{{0xC0, 0xD0}, {0x800, 0x830}, {0x1000, 0x1300}, {0, 0x1400}};
        for (uint32_t n = 1 + m.next() % 3; n > 0; --n) {
            const uint32_t which = m.next() % 5;
            if (which < 2)
                m.mutate(set.vmg, vmg);
            else if (which < 4)
                m.mutate(set.vts1, vts);
            else
                m.mutate(set.vts2, vts);
        }
        writeIfoSet(copy.disc, set);
        const CliResult r = runCli({k % 10 == 0 ? "read" : "titles", copy.disc});
        SCOPED_TRACE("mutation " + std::to_string(k) + ": " + r.err);
        ASSERT_FALSE(r.timedOut);
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status;
        ASSERT_EQ(r.err.find("Reading its IFO files failed"), std::string::npos);
        if (r.status == 1 && r.err.find("Cannot open disc") != std::string::npos) ++refused;
        if (r.status == 0) ++listed;
    }
    // Many changes of these bytes break a table, more leave the titles readable.
    EXPECT_GT(refused, 200);
    EXPECT_GT(listed, 200);
}

} // namespace
} // namespace qf::test
