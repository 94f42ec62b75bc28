// Output names in a folder somebody else made: links, other files and inputs under an
// output's name are refused and left as they were; streams the fast check did not reach
// are written or named, never dropped in silence.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "cli/cli_process.h"
#include "support/file_limit.h"

namespace qf::test {
namespace {

using Strings = std::vector<std::string>;

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class SafeOutputsTest : public SampleDiscTest {};

TEST_F(SafeOutputsTest, AnythingButANewOrRegularFileUnderAnOutputNameIsRefused) {
    const std::string victim = tmp / "authorized_keys";
    writeFile(victim, Bytes{'k', 'e', 'y'});
    ASSERT_EQ(::chmod(victim.c_str(), 0444), 0);
    const std::string demuxOut = outFile("FEATURE_1_FEATURE_2.VC-1.stream.0.vc1"),
                      rebuildOut = outFile("FEATURE_1_FEATURE_2.rebuilt.EVO"),
                      sampleOut = tmp / "copy/HVDVD_TS/FEATURE_1.EVO";
    ASSERT_EQ(::mkdir((tmp / "copy").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((tmp / "copy/HVDVD_TS").c_str(), 0700), 0);

    struct Plant {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const Plant plants[] = {
        {"link to a victim",
         [&](const std::string& p) { ASSERT_EQ(::symlink(victim.c_str(), p.c_str()), 0); },
         "It is a symbolic link"},
        {"dangling link",
         [&](const std::string& p) { ASSERT_EQ(::symlink((tmp / "made").c_str(), p.c_str()), 0); },
         "It is a symbolic link"},
        {"link to the source",
         [&](const std::string& p) { ASSERT_EQ(::symlink(part1.c_str(), p.c_str()), 0); },
         "It is a symbolic link"},
        {"link to the other part",
         [&](const std::string& p) { ASSERT_EQ(::symlink(part2.c_str(), p.c_str()), 0); },
         "It is a symbolic link"},
        {"FIFO", [&](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "Not a regular file"},
        {"folder", [&](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
         "Not a regular file"},
        {"hard link to the source",
         [&](const std::string& p) { ASSERT_EQ(::link(part1.c_str(), p.c_str()), 0); },
         "It is an input of this job"},
    };
    const Bytes source1 = readFile(part1), source2 = readFile(part2);
    struct Run {
        Strings args;
        std::string target;
    };
    const Run runs[] = {
        {{"demux", part1, "-o", out, "--select", "v0"}, demuxOut},
        {{"rebuild", part1, "-o", out}, rebuildOut},
        {{"sample", "--force", tmp / "copy"}, sampleOut},
    };
    for (const Run& run : runs)
        for (const Plant& plant : plants) {
            // The sample disc's inputs are its own files: a hard link there is just a file.
            if (run.args[0] == "sample" && contains(plant.reason, "input")) continue;
            SCOPED_TRACE(run.args[0] + " / " + plant.what);
            plant.make(run.target);
            const CliResult r = runCli(run.args);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(contains(r.err, "Cannot create file \"" + run.target + "\". " +
                                            plant.reason + "\n"))
                << r.err;
            std::filesystem::remove(run.target);
        }
    EXPECT_EQ(readFile(victim), (Bytes{'k', 'e', 'y'}));
    EXPECT_EQ(modeOf(victim) & 0777, 0444u);
    EXPECT_EQ(readFile(part1), source1);
    EXPECT_EQ(readFile(part2), source2);
    EXPECT_FALSE(exists(tmp / "made"));
}

TEST_F(SafeOutputsTest, SampleReplacesOnlyWhenTold) {
    const Bytes before = readFile(part1);
    writeFile(part1, Bytes{'m', 'i', 'n', 'e'});
    CliResult r = runCli({"sample", disc});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot create file \"" + part1 + "\". It exists; --force replaces it\n");
    EXPECT_EQ(readFile(part1), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(runCli({"sample", "-n", disc}).status, 1);
    EXPECT_EQ(runCli({"sample", "-n", tmp / "fresh"}).status, 0);
    r = runCli({"sample", "--force", disc});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(part1), before);
}

// A source whose fourth audio stream begins past the 300 MB the fast check reads: the
// sample's first part, a hole, then packs of a Dolby Digital stream with id 82.
class LateStreamTest : public SampleDiscTest {
protected:
    std::string late = tmp / "LATE.EVO";
    void SetUp() override {
        SampleDiscTest::SetUp();
        Bytes data = readFile(part1);
        const size_t at = 310u << 20;
        data.resize(at, 0); // written sparse below
        Bytes tail;
        for (int k = 0; k < 4; ++k) {
            Bytes pack = packHeader();
            Pes pes;
            pes.streamId = 0xBD;
            pes.pts = 90000 + 2880 * static_cast<uint64_t>(k);
            pes.subHeader = subHeaderAudio(0x82);
            pes.payload = Bytes(1500, static_cast<uint8_t>(k + 1));
            const Bytes p = pesBytes(pes);
            pack.insert(pack.end(), p.begin(), p.end());
            const Bytes pad = paddingPacket(kPackSize - pack.size());
            pack.insert(pack.end(), pad.begin(), pad.end());
            tail.insert(tail.end(), pack.begin(), pack.end());
        }
        const Bytes head = readFile(part1);
        const int fd = ::open(late.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
};

TEST_F(LateStreamTest, IsWrittenWithoutASelectionAndNamedWithOne) {
    CliResult r = runCli({"demux", late, "-o", out, "--no-continue"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Creating " + outFile("LATE.DD.stream.03.ac3"))) << r.out;
    EXPECT_TRUE(contains(r.out, "Stream \"DD.stream.03\" (id 82) begins after the first 286 Mbytes "
                                "read by the fast check; written as well."))
        << r.out;
    EXPECT_EQ(readFile(outFile("LATE.DD.stream.03.ac3")).size(), 4u * 1500);

    std::filesystem::remove_all(out);
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    r = runCli({"demux", late, "-o", out, "--no-continue", "--select", "v0,a00", "--json"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(contains(r.out, "Stream \\\"DD.stream.03\\\" (id 82) begins after the first 286 "
                                "Mbytes read by the fast check and was not written; read the "
                                "whole file to include it (--no-fast-check)."))
        << r.out;
    EXPECT_TRUE(contains(r.out, "\"late_streams\"")) << r.out;
    EXPECT_FALSE(exists(outFile("LATE.DD.stream.03.ac3")));

    r = runCli(
        {"demux", late, "-o", out, "--no-continue", "--select", "v0,a00", "-n", "--no-fast-check"});
    EXPECT_EQ(r.status, 1); // the selected files exist already
    r = runCli({"read", late, "--no-continue", "--no-fast-check"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "audio stream 2 found!")) << r.out;
}

TEST_F(SafeOutputsTest, AFullDiskNamesTheFileAndTheReason) {
    test::FileSizeLimit limit(1000);
    const CliResult r = runCli({"demux", part1, "-o", out, "--select", "v0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Stream write error: \"" + outFile("FEATURE_1_FEATURE_2.VC-1.stream.0.vc1") +
                         "\". File too large.\n");
}

} // namespace
} // namespace qf::test
