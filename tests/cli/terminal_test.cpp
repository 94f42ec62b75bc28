// quillfen-cli on a terminal (bold and blue runs, the progress line) and Ctrl-C.
#include <fcntl.h>

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

TEST_F(TerminalTest, CtrlCStopsTheReadAndNothingFollows) {
    CliProcess p({"demux", longSource(256), "-o", out});
    ASSERT_TRUE(p.waitForOutput("Opening file LONG.EVO\n"));
    p.interrupt();
    const CliResult r = p.finish();
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err, "");
    // The read pass stopped early: no frame counts, and no Demux job after it.
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "\nDone.\n\n");
    EXPECT_FALSE(contains(r.out, "Creating"));
    EXPECT_TRUE(outputs().empty());
}

TEST_F(TerminalTest, CtrlCStopsTheDemuxWithoutAQuestionAndKeepsTheFiles) {
    CliProcess p({"demux", longSource(256), "-o", out, "--select", "v0,a0,a2"});
    ASSERT_TRUE(p.waitForOutput("LPCM.stream.02.mpa\n"));
    p.interrupt();
    const CliResult r = p.finish();
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err, "");
    // Stopped early: the frames counted in video stream 0 are not reported.
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "\nDone.\n\n");
    EXPECT_EQ(outputs(),
              (std::vector<std::string>{"LONG.DD.stream.00.mpa", "LONG.LPCM.stream.02.mpa",
                                        "LONG.VC-1.stream.0.mpv"}));
    // The first megabyte holds the streams and lies before the first stop.
    EXPECT_EQ(readFile(outFile("LONG.LPCM.stream.02.mpa")).size(), 384000u);
}

} // namespace
} // namespace qf::test
