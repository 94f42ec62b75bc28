// demux --mkv: mkvmerge makes BASE.mkv of what the options file names, judged by
// mkvmerge -J and ffmpeg; the files it muxed go, or stay with --keep-streams, and the
// options file muxes without a warning by itself. A stand-in mkvmerge on PATH shows how
// its progress, warnings, failure and a cancel reach the job.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;

bool haveMkvmerge() {
    return !commandOutput("command -v mkvmerge").empty();
}

// The MKV's duration in seconds, as mkvmerge reads it.
double duration(const std::string& mkv) {
    const Json j = Json::parse(commandOutput("mkvmerge -J '" + mkv + "'"));
    return j["container"]["properties"]["duration"].get<double>() / 1e9;
}

// The codec of each track of an MKV, as mkvmerge lists them.
Strings trackCodecs(const std::string& mkv) {
    const Json j = Json::parse(commandOutput("mkvmerge -J '" + mkv + "'"));
    Strings codecs;
    for (const Json& t : j["tracks"]) codecs.push_back(t["codec"]);
    return codecs;
}

std::string text(const std::string& path) {
    const Bytes b = readFile(path);
    return {b.begin(), b.end()};
}

struct Source {
    const char* name;
    // Makes the source in `dir`; returns its path.
    std::string (*make)(const TempDir& dir);
    std::string base;
    Strings codecs;  // the MKV's tracks, as mkvmerge -J names them
    Strings left;    // the files mkvmerge cannot read, which stay
    bool realMedia;  // every stream decodes cleanly, so the MKV does
    Strings decoded; // the kept files that decode cleanly (the sample's VC-1 does not)
    double seconds;  // the MKV's duration: the title's
};

std::string ffmpegVob(const TempDir& dir) {
    // MPEG-2, AC-3 and 16-bit LPCM, which goes to the MKV as FLAC.
    EXPECT_TRUE(ffmpeg(dir.path,
                       "-f lavfi -i testsrc=size=720x576:rate=25:d=2 -f lavfi -i "
                       "sine=d=2:sample_rate=48000 -f lavfi -i sine=f=660:d=2:sample_rate=48000 "
                       "-map 0 -map 1 -map 2 -c:v mpeg2video -c:a:0 ac3 -c:a:1 pcm_dvd "
                       "-f vob in.vob"));
    return dir / "in.vob";
}

std::string sampleDisc(const TempDir& dir) {
    EXPECT_EQ(runCli({"sample", dir / "disc"}).status, 0);
    return dir / "disc";
}

const Source kSources[] = {
    {"FfmpegVob", ffmpegVob, "in", {"MPEG-1/2", "AC-3", "FLAC"}, {}, true, {}, 2.0},
    {"Sample",
     sampleDisc,
     "FEATURE_1_FEATURE_2",
     {"VC-1", "MPEG-1/2", "AC-3", "E-AC-3", "FLAC", "VobSub"},
     {},
     false,
     {"FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v", "FEATURE_1_FEATURE_2.DD.stream.00.ac3",
      "FEATURE_1_FEATURE_2.DD+.stream.01.eac3", "FEATURE_1_FEATURE_2.LPCM.stream.02.flac"},
     4.0},
};

class MkvTest : public ::testing::TestWithParam<Source> {};

TEST_P(MkvTest, MuxesWhatTheOptionsFileNamesAndRemovesItUnlessKept) {
    if (!haveFfmpeg() || !haveMkvmerge()) GTEST_SKIP() << "ffmpeg or mkvmerge is missing";
    const Source& s = GetParam();
    TempDir dir;
    const std::string source = s.make(dir);
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "--keep-streams" : "without --keep-streams");
        const std::string out = dir / (keep ? "kept" : "out");
        ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
        Strings args = {"demux", source, "--mkv", "-o", out};
        if (keep) args.push_back("--keep-streams");
        const CliResult r = runCli(args);
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        const std::string mkv = out + "/" + s.base + ".mkv";
        EXPECT_EQ(trackCodecs(mkv), s.codecs);
        EXPECT_NEAR(duration(mkv), s.seconds, 0.1);
        if (s.realMedia) {
            EXPECT_TRUE(decodesCleanly(mkv));
        }
        EXPECT_EQ(r.out.find("mkvmerge warns"), std::string::npos) << r.out;
        Strings names = folderNames(out);
        if (!keep) {
            Strings want = s.left;
            want.push_back(s.base + ".mkv");
            std::sort(want.begin(), want.end());
            EXPECT_EQ(names, want);
            continue;
        }
        EXPECT_GT(names.size(), s.left.size() + 2);
        for (const std::string& name : s.decoded)
            EXPECT_TRUE(decodesCleanly(out + "/" + name)) << name;
        // The options file by itself: the same tracks, and not a warning.
        int status = -1;
        const std::string log = commandOutput(
            "cd '" + out + "' && mkvmerge -q '@" + s.base + ".mkvmerge.json' 2>&1", &status);
        EXPECT_EQ(status, 0 << 8) << log << text(out + "/" + s.base + ".mkvmerge.json");
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, MkvTest, ::testing::ValuesIn(kSources),
                         [](const auto& param) { return std::string(param.param.name); });

// A folder on PATH with a stand-in mkvmerge that says what it was given and then behaves
// as `mode` asks.
struct StandIn {
    TempDir dir;
    std::string calls = dir / "calls";
    StandIn(const std::string& mode) {
        const std::string script = dir / "mkvmerge";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "{ pwd; printf '%s\\n' \"$@\"; echo $$; } >'"
                              << calls << ".part' && mv '" << calls << ".part' '" << calls
                              << "'\n"
                                 "printf '#GUI#progress 50%%\\n'\n"
                                 "printf 'partial' >&3\n"
                              << mode << "\n";
        chmod(script.c_str(), 0755);
    }
    std::string path() const { return "PATH=" + dir.path + ":/usr/bin:/bin"; }
    Strings lines() const {
        std::istringstream in(text(calls));
        Strings out;
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
};

// The sample disc's MPEG-2 video and AC-3 audio: two files and the options file.
class MkvStandInTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string source = tmp / "disc";
    std::string out = tmp / "out";
    std::string mkv = out + "/FEATURE_1_FEATURE_2.mkv";
    Strings streams = {"FEATURE_1_FEATURE_2.DD.stream.00.ac3",
                       "FEATURE_1_FEATURE_2.MPEG-2.stream.1.m2v",
                       "FEATURE_1_FEATURE_2.mkvmerge.json"};

    void SetUp() override {
        ASSERT_EQ(runCli({"sample", source}).status, 0);
        ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
    }
    CliResult demux(const StandIn& mkvmerge, Strings more = {}) const {
        Strings args = {"demux", source, "--select", "v1,a00", "--mkv", "-o", out};
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, false, {mkvmerge.path()});
    }
};

TEST_F(MkvStandInTest, RunsInTheOutputFolderOnTheOptionsFileWritingTheOutputAsDescriptor3) {
    StandIn mkvmerge("exit 0");
    const CliResult r = demux(mkvmerge, {"--events"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Strings calls = mkvmerge.lines();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], out);
    EXPECT_EQ(Strings(calls.begin() + 1, calls.begin() + 4),
              (Strings{"--gui-mode", "--output", "/dev/fd/3"}));
    EXPECT_EQ(text(mkv), "partial");
    EXPECT_EQ(folderNames(out), Strings{"FEATURE_1_FEATURE_2.mkv"});
    // Its 50 % as a progress event of the job: half of the bytes it reads.
    bool half = false;
    std::istringstream in(r.err);
    for (std::string line; std::getline(in, line);) {
        const Json j = Json::parse(line);
        if (j["event"] == "progress" && j["total"].get<int64_t>() > 0 &&
            j["done"].get<int64_t>() == j["total"].get<int64_t>() / 2)
            half = true;
    }
    EXPECT_TRUE(half) << r.err;
}

TEST_F(MkvStandInTest, AWarningIsLoggedAndKeepsTheFilesAFailureIsTheJobs) {
    {
        StandIn mkvmerge("echo '#GUI#warning Something is odd.'; exit 1");
        const CliResult r = demux(mkvmerge);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\nmkvmerge warns: Something is odd.\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("The files muxed into FEATURE_1_FEATURE_2.mkv are kept: mkvmerge "
                             "warned."),
                  std::string::npos);
        Strings want = streams;
        want.insert(want.begin() + 2, "FEATURE_1_FEATURE_2.mkv");
        EXPECT_EQ(folderNames(out), want);
    }
    for (const std::string& name : folderNames(out)) std::remove((out + "/" + name).c_str());
    StandIn mkvmerge("printf '#GUI#error The file broke:\\nIts headers are damaged.\\n'; exit 2");
    const CliResult r = demux(mkvmerge);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "mkvmerge could not make " + mkv + ": The file broke: Its headers are damaged.\n");
    EXPECT_EQ(folderNames(out), streams);
}

TEST_F(MkvStandInTest, CancelStopsMkvmergeAndRemovesTheMkv) {
    StandIn mkvmerge("exec sleep 100");
    CliProcess p({"demux", source, "--select", "v1,a00", "--mkv", "-o", out}, false,
                 {mkvmerge.path()});
    ASSERT_TRUE(p.waitForOutput("Creating " + mkv + "\n"));
    // Once the stand-in has started and written.
    while (access(mkvmerge.calls.c_str(), F_OK) != 0) usleep(10000);
    const int pid = std::stoi(mkvmerge.lines().back());
    p.interrupt(SIGTERM);
    const CliResult r = p.finish();
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_NE(r.out.find("mkvmerge was stopped: the incomplete FEATURE_1_FEATURE_2.mkv is "
                         "removed, the other "
                         "files stay.\nCancelled.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(folderNames(out), streams);
    EXPECT_NE(kill(pid, 0), 0); // gone, and waited for
}

TEST_F(MkvStandInTest, WithoutMkvmergeNothingIsRead) {
    TempDir empty;
    const CliResult r =
        runCli({"demux", source, "--mkv", "-o", out}, false, {"PATH=" + empty.path});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "mkvmerge was not found: install the mkvtoolnix package, or leave out --mkv\n");
    EXPECT_TRUE(folderNames(out).empty());
}

TEST(MkvOptions, KeepStreamsGoesWithMkvWhichNeedsTheOptionsFile) {
    const struct {
        Strings args;
        std::string error;
    } cases[] = {
        {{"--keep-streams"}, "--keep-streams goes with --mkv"},
        {{"--mkv", "--no-mkvmerge-options"},
         "--mkv runs mkvmerge on the options file: leave out --no-mkvmerge-options"},
    };
    for (const auto& c : cases) {
        Strings args = {"demux", "x.vob"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "quillfen-cli: " + c.error);
    }
}

} // namespace
} // namespace qf::test
