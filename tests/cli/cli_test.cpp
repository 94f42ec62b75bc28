// quillfen-cli run as a process on a sample disc: what it prints, the files it writes,
// its options and its exit statuses.
#include <algorithm>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli_process.h"
#include "samples/sample_disc.h"
#include "support/job_bench.h"

namespace qf::test {
namespace {

using Strings = std::vector<std::string>;

enum class FollowUp { None, Demux, Rebuild };

// The plain log the core writes for the same job, as the window would show it.
std::string coreLog(const std::string& source, FollowUp follow,
                    const std::function<void(JobRequest&)>& options = {}) {
    JobBench b;
    b.choose(source);
    if (options) options(b.request);
    b.read();
    if (follow == FollowUp::Demux) b.demux();
    if (follow == FollowUp::Rebuild) b.rebuild();
    return b.host.plainLog();
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

using CliTest = SampleDiscTest;

TEST_F(CliTest, ReadPrintsThePlainLogAndNothingElse) {
    const CliResult r = runCli({"read", part1});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, coreLog(part1, FollowUp::None));
    EXPECT_EQ(r.out.rfind("Opening file FEATURE_1.EVO\nFile size: 0 Mbytes.\n", 0), 0u);
    EXPECT_TRUE(contains(r.out, "\nContinue on FEATURE_2.EVO\n"));
    EXPECT_TRUE(contains(r.out, "\n   Size = 1920x1080\n"));
    EXPECT_TRUE(contains(r.out, "\nDone.\n\n96 frames (0:00:04 s) count in video stream 0.\n"
                                "96 frames (0:00:04 s) count in video stream 1.\n\n"));
    EXPECT_FALSE(contains(r.out, "[")) << "markup left in the output";
    EXPECT_FALSE(contains(r.out, "\x1b")) << "escape sequences without a terminal";
}

TEST_F(CliTest, DemuxWritesEveryStreamFoundAndPrintsTheLog) {
    const std::string expected =
        coreLog(part1, FollowUp::Demux, [&](JobRequest& request) { request.workdir = out; });
    const CliResult r = runCli({"demux", part1, "-o", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(contains(r.out, "Creating " + outFile("FEATURE_1_FEATURE_2.DD+.stream.01.eac3")));
    // The files mkvmerge reads are named by codec for it, LPCM becomes FLAC for it and the
    // 2-bit subpictures VobSub.
    EXPECT_EQ(
        outputs(),
        (Strings{"FEATURE_1_FEATURE_2.DD+.stream.01.eac3", "FEATURE_1_FEATURE_2.DD.stream.00.ac3",
                 "FEATURE_1_FEATURE_2.LPCM.stream.02.flac",
                 "FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v", "FEATURE_1_FEATURE_2.Subpicture.00.idx",
                 "FEATURE_1_FEATURE_2.Subpicture.00.sub", "FEATURE_1_FEATURE_2.VC-1.stream.0.vc1",
                 "FEATURE_1_FEATURE_2.mkvmerge.json"}));
    Bytes vc1 = sampleStreamData(SampleStream::VC1, 1),
          second = sampleStreamData(SampleStream::VC1, 2);
    vc1.insert(vc1.end(), second.begin(), second.end());
    EXPECT_EQ(readFile(outFile("FEATURE_1_FEATURE_2.VC-1.stream.0.vc1")), vc1);
}

TEST_F(CliTest, OptionsMayStandBeforeOrAfterTheSource) {
    const Strings orders[] = {
        {"demux", "--no-continue", "-o", out, "--select", "a0", part1},
        {"demux", part1, "-o", out, "--no-continue", "--select", "a0"},
        {"demux", "-o", out, part1, "--select=a0", "--no-continue"},
    };
    std::string first;
    for (const Strings& args : orders) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (first.empty()) first = r.out;
        EXPECT_EQ(r.out, first);
    }
    EXPECT_FALSE(contains(first, "Continue on"));
    EXPECT_EQ(outputs(), (Strings{"FEATURE_1.DD.stream.00.ac3", "FEATURE_1.mkvmerge.json"}));
}

TEST_F(CliTest, SettingOptionsReachTheJobs) {
    const CliResult r = runCli({"read", "--no-details", part1, "--no-count-frames"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, coreLog(part1, FollowUp::None, [](JobRequest& request) {
                  request.pass.details = false;
                  request.pass.countFrames = false;
              }));
    EXPECT_FALSE(contains(r.out, "First PTS"));
    EXPECT_FALSE(contains(r.out, "frames ("));

    const CliResult d =
        runCli({"demux", part1, "-o", out, "--video-ext", "vc1", "--audio-ext", "ac3", "--sub-ext",
                "sub", "--select", "v0,a0,s0", "--no-mkvmerge-options"});
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(outputs(), (Strings{"FEATURE_1_FEATURE_2.DD.stream.00.ac3",
                                  "FEATURE_1_FEATURE_2.Subpicture.00.sub",
                                  "FEATURE_1_FEATURE_2.VC-1.stream.0.vc1"}));
}

TEST_F(CliTest, SelectTakesSlotsAndCaptions) {
    CliResult r =
        runCli({"demux", part1, "-o", out, "--select", "v1,a02,S00", "--no-mkvmerge-options"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(outputs(), (Strings{"FEATURE_1_FEATURE_2.LPCM.stream.02.mpa",
                                  "FEATURE_1_FEATURE_2.MPEG-2.stream.1.mpv",
                                  "FEATURE_1_FEATURE_2.Subpicture.00.sup"}));
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    r = runCli({"demux", part1, "-o", out, "--select", "DD+.stream.01,VC-1.stream.0",
                "--no-mkvmerge-options"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(outputs(), (Strings{"FEATURE_1_FEATURE_2.DD+.stream.01.mpa",
                                  "FEATURE_1_FEATURE_2.VC-1.stream.0.mpv"}));
}

TEST_F(CliTest, SelectNamingNoStreamIsAUsageErrorThatListsTheStreams) {
    const CliResult r =
        runCli({"demux", part1, "-o", out, "--select", "a0,a9,s15,DTSHD.stream.03,v0 a0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quillfen-cli: --select names no stream: 'a9', 's15', 'DTSHD.stream.03', "
                     "'v0 a0'\n"
                     "Streams that can be selected:\n"
                     "  v0   VC-1.stream.0    id 55\n"
                     "  v1   MPEG-2.stream.1  id E1\n"
                     "  a00  DD.stream.00     id 80\n"
                     "  a01  DD+.stream.01    id C1\n"
                     "  a02  LPCM.stream.02   id A2\n"
                     "  s00  Subpicture.00    id 20\n"
                     "Try 'quillfen-cli --help' for more information.\n");
    EXPECT_TRUE(contains(r.out, "\nDone.\n")) << "the read's log comes first";
    EXPECT_TRUE(outputs().empty());
}

TEST_F(CliTest, CodecExtensionsNameTheFilesByCodec) {
    CliResult r = runCli({"demux", part1, "-o", out, "--codec-ext", "-n", "--no-mkvmerge-options"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        outputs(),
        (Strings{"FEATURE_1_FEATURE_2.DD+.stream.01.eac3", "FEATURE_1_FEATURE_2.DD.stream.00.ac3",
                 "FEATURE_1_FEATURE_2.LPCM.stream.02.pcm",
                 "FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v", "FEATURE_1_FEATURE_2.Subpicture.00.sup",
                 "FEATURE_1_FEATURE_2.VC-1.stream.0.vc1"}));
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    // A playlist names the codec in the caption.
    r = runCli({"demux", part1, "--playlist", playlist, "-o", out, "--codec-ext",
                "--no-mkvmerge-options", "--no-chapters"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(outputs(), (Strings{"FEATURE_1_FEATURE_2.2bitRLE.stream.00.English.sup",
                                  "FEATURE_1_FEATURE_2.AC-3.6ch.stream.00.English.ac3",
                                  "FEATURE_1_FEATURE_2.DD+.6ch.stream.01.English.eac3",
                                  "FEATURE_1_FEATURE_2.LPCM.2ch.stream.02.Commentary.pcm",
                                  "FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v",
                                  "FEATURE_1_FEATURE_2.VC-1.stream.0.vc1"}));
}

TEST_F(CliTest, RebuildKeepsOnlyTheSelectedStreams) {
    const CliResult r = runCli({"rebuild", part1, "-o", out, "--select", "v0,DD+.stream.01"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(outputs(), Strings{"FEATURE_1_FEATURE_2.rebuilt.EVO"});
    const CliResult again = runCli({"read", outFile("FEATURE_1_FEATURE_2.rebuilt.EVO")});
    EXPECT_EQ(again.status, 0);
    Strings found;
    std::istringstream lines(again.out);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 6 && line.compare(line.size() - 6, 6, "found!") == 0)
            found.push_back(line);
    EXPECT_EQ(found,
              (Strings{"VC-1 video stream 0 found!", "Dolby Digital Plus audio stream 0 found!"}));
}

TEST_F(CliTest, XplPrintsTheLogTheOutlineAndTheTitle) {
    // The title element of the playlist as written, its lines indented by depth.
    const std::string xpl = samplePlaylist();
    const size_t from = xpl.find("    <Title "), to = xpl.find("</Title>\n") + 9;
    const std::string titleListing = xpl.substr(from, to - from);
    const CliResult r = runCli({"xpl", playlist, "--source", part1});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Open VPLST000.XPL\n"
                     "Filesize: " +
                         std::to_string(xpl.size()) +
                         " bytes\n"
                         "VC-1.stream.0 found!\n"
                         "AC-3.6ch.stream.00.English found!\n"
                         "DD+.6ch.stream.01.English found!\n"
                         "LPCM.2ch.stream.02.Commentary found!\n"
                         "2bitRLE.stream.00.English found!\n"
                         "Done.\n"
                         "\n"
                         "Info\n"
                         "  Title: Quillfen Sample Disc\n"
                         "  Name: Sample Feature\n"
                         "  Duration: 00:00:04:00\n"
                         "Video\n"
                         "  VC-1.stream.0\n"
                         "Audio\n"
                         "  AC-3.6ch.stream.00.English\n"
                         "  DD+.6ch.stream.01.English\n"
                         "  LPCM.2ch.stream.02.Commentary\n"
                         "Subtitle\n"
                         "  2bitRLE.stream.00.English\n"
                         "Chapter\n"
                         "  00:00:00:00: Opening\n"
                         "  00:00:02:00: Second part\n"
                         "\n" +
                         titleListing);

    // Without a source no title is looked for: the empty outline and every tag line.
    const CliResult all = runCli({"xpl", playlist});
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(contains(all.out, "Done.\n\nVideo\nAudio\nSubpicture\nChapter\n\n<?xml "));
    EXPECT_TRUE(contains(all.out, "\n  <MediaAttributeList>\n"));
    EXPECT_EQ(all.out.substr(all.out.size() - 12), "</Playlist>\n");
}

TEST_F(CliTest, DemuxWithAPlaylistUsesItsStreamsAndNames) {
    CliResult r = runCli({"demux", part1, "--playlist", playlist, "-o", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.out, "Dolby Digital")) << "a Read job ran";
    // With the playlist's chapters, and the mkvmerge options file naming what it reads. The
    // MPEG-2 video, which the playlist names nothing for, is written under its kind.
    EXPECT_EQ(outputs(),
              (Strings{"FEATURE_1_FEATURE_2.2bitRLE.stream.00.English.sup",
                       "FEATURE_1_FEATURE_2.AC-3.6ch.stream.00.English.ac3",
                       "FEATURE_1_FEATURE_2.DD+.6ch.stream.01.English.eac3",
                       "FEATURE_1_FEATURE_2.LPCM.2ch.stream.02.Commentary.mpa",
                       "FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v",
                       "FEATURE_1_FEATURE_2.VC-1.stream.0.vc1", "FEATURE_1_FEATURE_2.chapters.txt",
                       "FEATURE_1_FEATURE_2.chapters.xml", "FEATURE_1_FEATURE_2.mkvmerge.json"}));
    Bytes mpeg2 = sampleStreamData(SampleStream::MPEG2, 1),
          second = sampleStreamData(SampleStream::MPEG2, 2);
    mpeg2.insert(mpeg2.end(), second.begin(), second.end());
    EXPECT_EQ(readFile(outFile("FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v")), mpeg2);
    EXPECT_TRUE(contains(r.out, "\nStream \"MPEG-2.stream.1\" (id E1) is not named by the "
                                "playlist; written as well.\n"))
        << r.out;
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    // A selection leaves it out, and the log and the status say so; the report still
    // captions it.
    r = runCli({"demux", "--select", "dd+.6ch.stream.01.english", part1, "--playlist", playlist,
                "-o", out, "--no-mkvmerge-options", "--no-chapters", "--json"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(outputs(), Strings{"FEATURE_1_FEATURE_2.DD+.6ch.stream.01.English.mpa"});
    const nlohmann::json report = nlohmann::json::parse(r.out);
    Strings log = report["log"];
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Stream \"MPEG-2.stream.1\" (id E1) is not named by the playlist and was "
                        "not written; read the source without the playlist to include it."),
              log.end())
        << r.out;
    for (const auto& stream : report["streams"])
        if (stream["slot"] == "v1") {
            EXPECT_EQ(stream["caption"], "MPEG-2.stream.1");
        }
}

TEST_F(CliTest, ErrorsGiveTheirTextAndStatusOne) {
    const std::string missing = tmp / "MISSING.EVO";
    CliResult r = runCli({"read", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open file \"" + missing + "\". No such file or directory\n");
    EXPECT_EQ(r.out, "Opening file MISSING.EVO\n");

    // "--" ends the options, so a name may begin with "-".
    r = runCli({"read", "--", "-odd.EVO"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open file \"-odd.EVO\". No such file or directory\n");

    r = runCli({"sample", "/proc/no/such/disc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Cannot create folder \"/proc/no/such/disc\". ", 0), 0u) << r.err;
}

TEST(CliUsage, VersionComesFromTheProject) {
    const CliResult r = runCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("quillfen-cli ") + QUILLFEN_VERSION + "\n");
}

TEST(CliUsage, MalformedCommandLinesGiveStatusTwoBeforeAnythingRuns) {
    const Strings cases[] = {
        {},
        {"frobnicate", "a.EVO"},
        {"read"},
        {"read", "a.EVO", "b.EVO"},
        {"read", "a.EVO", "--bogus"},
        {"read", "a.EVO", "--no-details=1"},
        {"demux", "a.EVO", "-o"},
        {"read", "a.EVO", "--select", "a0"},
        {"read", "a.EVO", "--angle", "10"},
        {"read", "a.EVO", "--angle", "every"},
        {"rebuild", "a.EVO", "--playlist", "VPLST000.XPL"},
        {"xpl", "VPLST000.XPL", "--no-details"},
        {"demux", "a.EVO", "--source", "b.EVO"},
        {"demux", "a.EVO", "--select", "a16"},
        {"demux", "a.EVO", "--select", "v2"},
        {"demux", "a.EVO", "--select", ","},
        {"demux", "a.EVO", "--video-ext", "toolong"},
        {"demux", "a.EVO", "--audio-ext", "a/b"},
        {"demux", "a.EVO", "--sub-ext", ""},
        {"demux", "a.EVO", "-o", ""},
        {"read", "a.EVO", "--codec-ext"},
        {"xpl", "VPLST000.XPL", "-n"},
        {"--version", "read"},
        {"rebuild", "a.VOB"},
        {"sample"},
    };
    for (const Strings& args : cases) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("quillfen-cli: ", 0), 0u) << r.err;
        EXPECT_TRUE(contains(r.err, "Try 'quillfen-cli --help'")) << r.err;
    }
}

TEST(CliUsage, HelpDocumentsEveryCommandAndOption) {
    for (const Strings& args :
         {Strings{"--help"}, Strings{"demux", "a.EVO", "-h"}, Strings{"help"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        for (const char* word : {"read SOURCE",
                                 "demux SOURCE",
                                 "rebuild SOURCE",
                                 "xpl PLAYLIST",
                                 "sample DIR",
                                 "-o DIR",
                                 "--select LIST",
                                 "--playlist PLAYLIST",
                                 "--source SOURCE",
                                 "--no-continue",
                                 "--no-fast-check",
                                 "--no-count-frames",
                                 "--no-details",
                                 "--video-ext EXT",
                                 "--audio-ext EXT",
                                 "--sub-ext EXT",
                                 "-n, --no-overwrite",
                                 "--codec-ext",
                                 "--version",
                                 "NO_COLOR",
                                 "Exit status",
                                 "130",
                                 "143"})
            EXPECT_TRUE(contains(r.out, word)) << word;
    }
}

// Every exit status of the README's table stands in --help's list of them, as an item of
// its own ("...; 3 done, but ...").
TEST(CliUsage, HelpListsEveryExitStatusTheReadmeGives) {
    std::ifstream readme(std::string(QUILLFEN_TEST_DATA) + "/../../README.md");
    std::set<std::string> statuses;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| status |", 0) == 0) inTable = true;
        if (!inTable || line.rfind("| ", 0) != 0) {
            if (inTable && line.rfind("|", 0) != 0) break;
            continue;
        }
        std::istringstream cell(line.substr(2, line.find('|', 2) - 2));
        for (std::string n; std::getline(cell, n, ',');) {
            n.erase(0, n.find_first_not_of(' '));
            n.erase(n.find_last_not_of(' ') + 1);
            if (!n.empty() && n.find_first_not_of("0123456789") == std::string::npos)
                statuses.insert(n);
        }
    }
    ASSERT_EQ(statuses.size(), 6u) << "the README's table of exit statuses was not found";

    const CliResult r = runCli({"--help"});
    std::string help; // the help's words on one line
    for (std::istringstream words(r.out.substr(r.out.find("Exit status:"))); words;) {
        std::string w;
        if (words >> w) help += w + " ";
    }
    help = help.substr(0, help.find(". ") + 1);
    for (const std::string& n : statuses)
        EXPECT_TRUE(contains(help, ": " + n + " ") || contains(help, "; " + n + " ") ||
                    contains(help, " and " + n + " "))
            << n << " is not in: " << help;
}

} // namespace
} // namespace qf::test
