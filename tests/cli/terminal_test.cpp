// quillfen-cli on a terminal (bold and blue runs, the progress line, plain text where
// asked), names with control characters, and Ctrl-C or SIGTERM.
#include <fcntl.h>

#include <filesystem>

#include "cli/cli_process.h"

namespace qf::test {
namespace {

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

class TerminalTest : public SampleDiscTest {
protected:
    // The first part of the title followed by a hole of zeros up to `mib` MiB: long
    // enough to show progress and to be stopped halfway.
    std::string longSource(int mib) {
        const std::string path = tmp / "LONG.EVO";
        writeFile(path, readFile(part1));
        EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(mib) * 1048576), 0);
        return path;
    }
};

TEST_F(TerminalTest, NamesAreBoldAndValuesBlueBoldOnATerminal) {
    const CliResult r = runCli({"read", part1}, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "Opening file \x1b[1mFEATURE_1.EVO\x1b[0m\r\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "\x1b[1mVC-1\x1b[0m video stream 0 found!\r\n"));
    EXPECT_TRUE(contains(r.out, "   Size = \x1b[1;34m1920\x1b[0mx\x1b[1;34m1080\x1b[0m\r\n"));
    EXPECT_TRUE(contains(r.out, "\r\nDone.\r\n"));
}

TEST_F(TerminalTest, ProgressGoesToAnErrorTerminalOnly) {
    const std::string source = longSource(16);
    const CliResult tty = runCli({"read", source}, true);
    EXPECT_EQ(tty.status, 0);
    EXPECT_TRUE(contains(tty.out, "\r4/16 Mbytes, Remaining time: ")) << tty.out;
    EXPECT_TRUE(contains(tty.out, "\r\x1b[K")) << "the progress line is taken away";

    const CliResult piped = runCli({"read", source});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_FALSE(contains(piped.out, "Mbytes, Remaining"));
}

TEST_F(TerminalTest, ProgressRedrawsAtMostTenTimesASecondAndGoesBeforeTheLog) {
    const CliResult r = runCli({"read", "--no-fast-check", longSource(512)}, true);
    EXPECT_EQ(r.status, 0);
    size_t draws = 0;
    for (size_t p = r.out.find("Remaining time"); p != std::string::npos;
         p = r.out.find("Remaining time", p + 1))
        ++draws;
    EXPECT_GE(draws, 1u);
    EXPECT_LE(draws, static_cast<size_t>(r.seconds * 10) + 1) << r.seconds << " s";
    // Each drawing is taken away before the next log line, so none is left behind.
    const size_t done = r.out.find("Done.\r\n");
    ASSERT_NE(done, std::string::npos);
    const std::string afterDone = r.out.substr(done);
    EXPECT_FALSE(contains(afterDone, "Mbytes")) << afterDone;
}

TEST_F(TerminalTest, PlainTextWithNoColourOrOnADumbTerminal) {
    const std::string source = longSource(16);
    struct Case {
        std::vector<std::string> env;
        bool progress;
    };
    for (const Case& c : {Case{{"NO_COLOR=1"}, true}, Case{{"TERM=dumb"}, false}}) {
        SCOPED_TRACE(c.env[0]);
        const CliResult r = runCli({"read", source}, true, c.env);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(contains(r.out, "Opening file LONG.EVO\r\n")) << r.out;
        EXPECT_TRUE(contains(r.out, "   Size = 1920x1080\r\n"));
        EXPECT_FALSE(contains(r.out, "\x1b[1")) << "no bold or colour";
        EXPECT_EQ(contains(r.out, "Remaining time"), c.progress);
    }
}

TEST_F(TerminalTest, ControlCharactersInNamesCannotSplitALine) {
    const std::string name = "evil\nname\x1b[2J\x7f\xc2\x9b.EVO";
    writeFile(tmp / name, readFile(part1));
    for (bool terminal : {false, true}) {
        const CliResult r = runCli({"read", "--no-continue", tmp / name}, terminal);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Opening file " + std::string(terminal ? "\x1b[1m" : "") +
                                  "evil?name?[2J??.EVO",
                              0),
                  0u)
            << r.out;
        EXPECT_FALSE(contains(r.out, "\x1b[2J"));
    }
    const CliResult missing = runCli({"read", tmp / ("no" + name)});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Cannot open file \"" + tmp / "noevil?name?[2J??.EVO" +
                               "\". No such file or directory\n");
}

TEST_F(TerminalTest, CtrlCStopsTheReadAndNothingFollows) {
    CliProcess p({"demux", longSource(256), "-o", out});
    ASSERT_TRUE(p.waitForOutput("Opening file LONG.EVO\n"));
    p.interrupt();
    const CliResult r = p.finish();
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err, "Cancelled: no file was written\n");
    // The read pass stopped early: no frame counts, and no Demux job after it.
    EXPECT_TRUE(r.out.ends_with("\nCancelled.\n\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "Done."));
    EXPECT_FALSE(contains(r.out, "Creating"));
    EXPECT_TRUE(outputs().empty());
}

// SIGTERM, as a service manager or `timeout` sends it, is handled like Ctrl-C. Files that
// replace earlier ones are kept as new ones are, and nothing else is left in the folder.
class SignalTest : public TerminalTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalTest, StopsTheDemuxWithoutAQuestionAndKeepsTheFiles) {
    const std::string source = longSource(256);
    const std::vector<std::string> files = {"LONG.DD.stream.00.mpa", "LONG.LPCM.stream.02.mpa",
                                            "LONG.VC-1.stream.0.mpv"};
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        for (const std::string& name : replacing ? files : std::vector<std::string>{})
            writeFile(outFile(name), Bytes{'o', 'l', 'd'});
        CliProcess p({"demux", source, "-o", out, "--select", "v0,a0,a2", "--no-mkvmerge-options"});
        ASSERT_TRUE(p.waitForOutput("LPCM.stream.02.mpa"));
        p.interrupt(GetParam());
        const CliResult r = p.finish();
        EXPECT_EQ(r.status, 128 + GetParam());
        EXPECT_EQ(r.err, "Cancelled: the output files are incomplete\n" +
                             outFile("LONG.VC-1.stream.0.mpv") + "\n" +
                             outFile("LONG.DD.stream.00.mpa") + "\n" +
                             outFile("LONG.LPCM.stream.02.mpa") + "\n");
        // Stopped early: the frames counted in video stream 0 are not reported, and the
        // last line names the files cut off.
        EXPECT_TRUE(r.out.ends_with("\nCancelled: LONG.VC-1.stream.0.mpv, LONG.DD.stream.00.mpa "
                                    "and LONG.LPCM.stream.02.mpa are incomplete.\n\n"))
            << r.out;
        EXPECT_EQ(r.out.find("Done."), r.out.rfind("Done.")); // the Read job's only
        EXPECT_EQ(outputs(), files);
        // The first megabyte holds the streams and lies before the first stop.
        EXPECT_EQ(readFile(outFile("LONG.LPCM.stream.02.mpa")).size(), 384000u);
        for (const std::string& name : files) std::filesystem::remove(outFile(name));
    }
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, SignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& p) { return p.param == SIGINT ? "SIGINT" : "SIGTERM"; });

} // namespace
} // namespace qf::test
