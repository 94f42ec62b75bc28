#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "job_fixture.h"
#include "jobs/control.h"
#include "jobs/runner.h"
#include "read_titles.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

class ReadJobTest : public JobTest {};

TEST_F(ReadJobTest, ReportsStreamsAndListsOneCaptionedStreamPerSlot) {
    writeFile(dir / "FEATURE_1.EVO", richTitle());
    choose(dir / "FEATURE_1.EVO");
    bench.read();

    EXPECT_EQ(host.baseName, "FEATURE_1");
    EXPECT_EQ(host.lines.at(0), "Opening file [b]FEATURE_1.EVO[/b]");
    EXPECT_EQ(host.lines.at(1), "File size: 0 Mbytes.");
    EXPECT_EQ(countLines("Continue on"), 0);
    const Lines tail(host.lines.end() - 4, host.lines.end());
    EXPECT_EQ(tail,
              (Lines{"Done.", "", "6 frames ([b]0:00:00 s[/b]) count in video stream 0.", ""}));
    EXPECT_EQ(host.status0.front(), "Reading FEATURE_1.EVO ");
    EXPECT_EQ(host.status0.back(), "Ready");
    EXPECT_EQ(host.status1.back(), "");
    EXPECT_EQ(ctx.cat.FrameCount[0], 6);
    EXPECT_EQ(ctx.cat.EarliestPTS, 90000u);

    auto expectListed = [&](Family f, size_t k, const std::string& caption) {
        const ListedStream& l = host.listed.at(f, k);
        EXPECT_EQ(l.present, !caption.empty()) << caption;
        EXPECT_EQ(l.caption, caption);
    };
    expectListed(Family::Video, 0, "VC-1.stream.0");
    expectListed(Family::Video, 1, "");
    expectListed(Family::Audio, 0, "DD+.stream.00");
    expectListed(Family::Audio, 1, "DD+.stream.01");
    expectListed(Family::Audio, 2, "MLP.stream.02");
    expectListed(Family::Audio, 3, "");
    expectListed(Family::Subpicture, 0, "Subpicture.00");
    expectListed(Family::Subpicture, 1, "");

    EXPECT_FALSE(host.running);
    EXPECT_FALSE(ctx.io.SourceStream);
    EXPECT_FALSE(ctx.busy);
}

TEST_F(ReadJobTest, TwoPartTitleKeepsStreamsOfTheFirstPartAndCountsOn) {
    writeFile(dir / "FEATURE_1.EVO", titleWith(4, {0xC0}, true));
    writeFile(dir / "FEATURE_2.EVO", titleWith(3, {0xC1}, false, 900000));
    choose(dir / "FEATURE_1.EVO");
    bench.read();

    EXPECT_EQ(host.baseName, "FEATURE_1_FEATURE_2");
    EXPECT_EQ(ctx.cat.VideoFacts[0].firstPts, 90000u)
        << "the title starts where its first part does";
    EXPECT_EQ(countLines("Continue on"), 1);
    EXPECT_TRUE(hasLine("Continue on FEATURE_2.EVO"));
    EXPECT_EQ(host.status0, (Lines{"Reading FEATURE_1.EVO ", "Reading FEATURE_2.EVO", "Ready"}));
    EXPECT_EQ(ctx.cat.FrameCount[0], 7);
    // 0xC0 and the subpicture appear only in the first part; they stay selectable.
    EXPECT_EQ(ctx.cat.AudioSlots[0].entry(), 0xC0);
    EXPECT_EQ(host.listed.audio[0].caption, "DD+.stream.00");
    EXPECT_TRUE(host.listed.audio[0].present);
    EXPECT_EQ(host.listed.audio[1].caption, "DD+.stream.01");
    EXPECT_EQ(host.listed.sub[0].caption, "Subpicture.00");
}

// A DVD title over three files, beside another title set's first file: the parts are
// joined in order, the other set never, and progress counts over the whole title.
TEST_F(ReadJobTest, TitleOfThreePartsIsReadWhole) {
    const Bytes big = bigTitle(), small = titleWith(3, {0xC1}, false);
    writeFile(dir / "VTS_01_1.VOB", big);
    writeFile(dir / "VTS_01_2.VOB", small);
    writeFile(dir / "VTS_01_3.VOB", big);
    writeFile(dir / "VTS_11_1.VOB", titleWith(5, {0xC2}, true));
    choose(dir / "VTS_01_1.VOB");
    bench.read();

    EXPECT_EQ(host.baseName, "VTS_01_1_VTS_01_3");
    EXPECT_EQ(countLines("Continue on"), 2);
    EXPECT_TRUE(hasLine("Continue on VTS_01_2.VOB"));
    EXPECT_TRUE(hasLine("Continue on VTS_01_3.VOB"));
    EXPECT_EQ(ctx.cat.FrameCount[0], 2200 + 3 + 2200);
    EXPECT_EQ(ctx.cat.AudioSlots[1].entry(), 0xC1);
    EXPECT_TRUE(ctx.cat.AudioSlots[2].empty()) << "nothing of VTS_11_1.VOB";
    EXPECT_TRUE(ctx.cat.SubSlots[0].empty());
    // One progress line at the 4 MiB mark of each big part, over the title's size.
    const std::string total = "/" + std::to_string((2 * big.size() + small.size()) / 1048576);
    const std::string last = std::to_string((big.size() + small.size() + 4194304) / 1048576);
    ASSERT_EQ(host.status1.size(), 3u); // and the empty panel at the end
    EXPECT_EQ(host.status1[0].rfind("4" + total + " Mbytes, Remaining time: ", 0), 0u)
        << host.status1[0];
    EXPECT_EQ(host.status1[1].rfind(last + total + " Mbytes, Remaining time: ", 0), 0u)
        << host.status1[1];

    host.lines.clear();
    bench.demux();
    EXPECT_EQ(countLines("Continue on"), 2);
    EXPECT_TRUE(hasLine("Creating " + (dir / "VTS_01_1_VTS_01_3.VC-1.stream.0.mpv")));
}

// LPCM of a DVD-Video source as ffprobe reads what ffmpeg's DVD muxer wrote: 16 and 24
// bit, 48 and 96 kHz, the channel counts it takes.
TEST_F(ReadJobTest, DvdVideoLpcmAgreesWithFfprobe) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const struct {
        const char* codec;
        int rate, channels;
        const char* sampleFormat;
    } cases[] = {
        {"pcm_s16be", 48000, 1, "s16"}, {"pcm_s16be", 96000, 2, "s16"},
        {"pcm_s16be", 48000, 4, "s16"}, {"pcm_dvd", 48000, 2, "s32"},
        {"pcm_dvd", 96000, 2, "s32"},   {"pcm_dvd", 96000, 1, "s32"},
        {"pcm_dvd", 48000, 6, "s16"},   {"pcm_dvd", 48000, 8, "s16"},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(c.codec) + "_" + std::to_string(c.rate) + "_" +
                                 std::to_string(c.channels) + ".VOB";
        SCOPED_TRACE(name);
        ASSERT_TRUE(ffmpeg(dir.path, "-f lavfi -i sine=sample_rate=" + std::to_string(c.rate) +
                                         ":duration=0.5 -ac " + std::to_string(c.channels) +
                                         " -c:a " + c.codec + " -sample_fmt " + c.sampleFormat +
                                         " -f dvd " + name));
        const std::string probe =
            ffprobe(dir.path, "-select_streams a -show_entries "
                              "stream=sample_rate,channels,bits_per_raw_sample -of csv=p=0 " +
                                  name);
        host.lines.clear();
        choose(dir / name);
        bench.read();
        const StreamFacts& f = ctx.cat.AudioFacts[0];
        ASSERT_EQ(f.entry, 0xA0);
        const auto& lpcm = std::get<LpcmInfo>(f.found.at(0));
        auto whole = [](std::optional<int> v) { return std::to_string(v.value_or(0)); };
        EXPECT_EQ(whole(lpcm.samplingRate()) + "," + whole(lpcm.channelCount()) + "," +
                      whole(lpcm.bitsPerSample()) + "\n",
                  probe);
        const std::string layout = c.channels == 1   ? "mono"
                                   : c.channels == 2 ? "L + R"
                                                     : std::to_string(c.channels) + " channels";
        EXPECT_TRUE(hasLine("   Channel arrangement = " + layout));
    }
}

// Film as DVDs carry it: pictures flagged to repeat a field (3:2 pulldown in an interlaced
// sequence, or doubled and tripled frames in a progressive one), patched into an ffmpeg
// stream. Frames are what ffprobe counts, the time what its pictures are displayed for.
TEST_F(ReadJobTest, PulldownFramesAndTheirDisplayedTime) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    struct Flags {
        bool topFirst, repeatFirst;
    };
    const struct {
        const char* name;
        const char* flags;
        std::vector<Flags> pattern;
    } cases[] = {
        {"pulldown",
         "-flags +ildct+ilme",
         {{true, true}, {false, false}, {false, true}, {true, false}}},
        {"progressive", "", {{false, true}, {true, true}, {false, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string es = std::string(c.name) + ".m2v", vob = std::string(c.name) + ".VOB";
        ASSERT_TRUE(ffmpeg(dir.path, "-f lavfi -i testsrc=size=352x240:rate=30000/1001:"
                                     "duration=8.008 -c:v mpeg2video -bf 0 -q:v 10 " +
                                         std::string(c.flags) + " " + es));
        Bytes b = readFile(dir / es);
        size_t k = 0;
        for (size_t i = 0; i + 8 < b.size(); ++i) {
            if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1 || b[i + 3] != 0xB5 ||
                b[i + 4] >> 4 != 8)
                continue;
            const Flags f = c.pattern[k++ % c.pattern.size()];
            b[i + 7] = static_cast<uint8_t>((b[i + 7] & ~0x82) | (f.topFirst ? 0x80 : 0) |
                                            (f.repeatFirst ? 0x02 : 0));
            b[i + 8] |= 0x80; // progressive_frame, which a repeated field asks for
        }
        writeFile(dir / es, b);
        ASSERT_TRUE(ffmpeg(dir.path, "-i " + es + " -c copy -f dvd " + vob));

        const int frames = std::stoi(ffprobe(dir.path, "-count_frames -select_streams v "
                                                       "-show_entries stream=nb_read_frames "
                                                       "-of csv=p=0 " +
                                                           es));
        int64_t fields = 0;
        std::istringstream lines(ffprobe(
            dir.path, "-select_streams v -show_entries frame=repeat_pict -of csv=p=0 " + es));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
                fields += 2 + std::stoi(line);
        const double seconds = static_cast<double>(fields) / 2 / (30000.0 / 1001);

        host.lines.clear();
        choose(dir / vob);
        bench.read();
        EXPECT_EQ(ctx.cat.FrameCount[0], frames);
        EXPECT_NEAR(countedTime(ctx, 0, FrameLines::Read).count(), seconds, 1e-9);
        EXPECT_TRUE(hasLine(std::to_string(frames) + " frames (" +
                            ctx.formatTime(std::chrono::duration<double>(seconds)) +
                            " s) count in video stream 0."));
    }
}

TEST_F(ReadJobTest, ContinueUncheckedReadsOnlyTheFirstPart) {
    writeFile(dir / "FEATURE_1.EVO", titleWith(4, {0xC0}, false));
    writeFile(dir / "FEATURE_2.EVO", titleWith(3, {0xC1}, false));
    choose(dir / "FEATURE_1.EVO");
    request.allParts = false;
    bench.read();

    EXPECT_EQ(host.baseName, "FEATURE_1");
    EXPECT_EQ(countLines("Continue on"), 0);
    EXPECT_EQ(ctx.cat.FrameCount[0], 4);
    EXPECT_FALSE(host.listed.audio[1].present);
}

TEST_F(ReadJobTest, FrameCountLinesOfBothJobs) {
    ctx.cat.FrameCount = {172800, 0};
    logFrameCounts(ctx, FrameLines::Read);
    logFrameCounts(ctx, FrameLines::Demux);
    ctx.cat.FrameCount = {0, 5};
    logFrameCounts(ctx, FrameLines::Read);
    ctx.cat.FrameCount = {0, 0};
    logFrameCounts(ctx, FrameLines::Read);
    EXPECT_EQ(host.lines, (Lines{"172800 frames ([b]2:00:07 s[/b]) count in video stream 0.", "",
                                 "172800 frames (2:00:07 s) count in video stream 0.", "",
                                 "5 frames ([b]0:00:00 s[/b]) count in video stream 1.", ""}));
}

// ---------------------------------------------------------------------------------------
// Frame counts and durations of ffmpeg-made titles, against ffprobe's count of pictures.

struct CountCase {
    const char* codec; // ffmpeg encoder
    int num, den;      // frame rate
    int seconds;
};

class FrameCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(FrameCountTest, CountEqualsThePicturesAndDurationUsesTheStreamRate) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg with libx264 is not available";
    const CountCase& c = GetParam();
    TempDir media;
    const bool avc = std::string(c.codec) == "libx264";
    const std::string name = std::string(avc ? "avc" : "mpeg2") + ".VOB";
    ASSERT_TRUE(ffmpeg(
        media.path,
        "-f lavfi -i testsrc=size=176x144:rate=" + std::to_string(c.num) + "/" +
            std::to_string(c.den) + ":duration=" + std::to_string(c.seconds) + " -c:v " + c.codec +
            (avc ? " -preset ultrafast -x264-params aud=1 -f vob " : " -g 12 -bf 2 -f dvd ") +
            name));
    const int pictures =
        std::atoi(ffprobe(media.path, "-count_frames -select_streams v:0 -show_entries "
                                      "stream=nb_read_frames -of csv=p=0 " +
                                          name)
                      .c_str());
    ASSERT_GT(pictures, 0);

    JobBench b;
    const RecordingEvents& host = b.host;
    streamFilesOnly(b.request.output);
    b.choose(media / name, media.path);
    b.request.pass.fastCheck = false;
    b.request.pass.details = c.seconds != 180; // the rate is read from the stream either way
    b.read();
    EXPECT_EQ(b.ctx.cat.FrameCount[0], pictures);

    // Whole seconds of the pictures at the stream's own rate.
    const auto seconds =
        static_cast<long>(std::floor(std::nearbyint(1000.0 * pictures * c.den / c.num) / 1000));
    char time[32];
    std::snprintf(time, sizeof time, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    EXPECT_EQ(host.lines.at(host.lines.size() - 2), std::to_string(pictures) + " frames ([b]" +
                                                        time + " s[/b]) count in video stream 0.");
    if (c.seconds > 60) return;
    b.demux(); // at the rate its Read job found
    EXPECT_EQ(plainText(host.lines.at(host.lines.size() - 2)),
              std::to_string(pictures) + " frames (" + time + " s) count in video stream 0.");
}

std::vector<CountCase> countCases() {
    std::vector<CountCase> cases;
    for (int seconds : {60, 180, 600}) {
        cases.push_back({"mpeg2video", 25, 1, seconds});
        cases.push_back({"mpeg2video", 30000, 1001, seconds});
        cases.push_back({"mpeg2video", 24000, 1001, seconds});
        cases.push_back({"libx264", 25, 1, seconds});
        cases.push_back({"libx264", 30000, 1001, seconds});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FrameCountTest, ::testing::ValuesIn(countCases()),
                         [](const auto& p) {
                             return std::string(p.param.codec == std::string("libx264") ? "avc"
                                                                                        : "mpeg2") +
                                    "_" + std::to_string(p.param.num / p.param.den) + "fps_" +
                                    std::to_string(p.param.seconds) + "s";
                         });

TEST_F(ReadJobTest, FileNamesAreNeverTakenAsMarkup) {
    writeFile(dir / "[demo]_1.EVO", titleWith(2, {}, false));
    choose(dir / "[demo]_1.EVO");
    bench.read();
    EXPECT_EQ(host.lines.at(0), "Opening file [b]" + escapeMarkup("[demo]_1.EVO") + "[/b]");
    EXPECT_EQ(plainLines().at(0), "Opening file [demo]_1.EVO");
}

TEST_F(ReadJobTest, MissingSourceFailsWithItsText) {
    const std::string path = dir / "MISSING.EVO";
    choose(path);
    try {
        bench.read();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + path + "\". No such file or directory");
    }
    EXPECT_EQ(host.lines, (Lines{"Opening file [b]MISSING.EVO[/b]"}));
    EXPECT_FALSE(ctx.io.SourceStream);
    EXPECT_FALSE(ctx.busy);
    EXPECT_FALSE(host.running);
}

TEST_F(ReadJobTest, AutoDemuxAndAutoRebuildFollowTheRead) {
    writeFile(dir / "FEATURE_1.EVO", titleWith(2, {0xC0}, false));
    choose(dir / "FEATURE_1.EVO");
    bench.runWithFollowUp(JobKind::Read, JobKind::Demux);
    EXPECT_EQ(countLines("Opening file"), 2);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.DD+.stream.00.mpa"));

    bench.runWithFollowUp(JobKind::Read, JobKind::Rebuild);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.rebuilt.EVO"));
    EXPECT_EQ(host.lines.back(), "");
    EXPECT_EQ(plainLines().at(plainLines().size() - 2), "Done.");
}

TEST_F(ReadJobTest, UserCancelStopsContinuationFrameLinesAndFollowUp) {
    writeFile(dir / "FEATURE_1.EVO", bigTitle());
    writeFile(dir / "FEATURE_2.EVO", titleWith(2, {}, false));
    choose(dir / "FEATURE_1.EVO");
    int asked = 0;
    bool secondJobRan = false;
    host.onPump = [&] {
        requestCancel(ctx.control, [&] {
            ++asked;
            return true;
        });
        // A job asked for mid-pass must not start beside the running one.
        secondJobRan = secondJobRan || bench.rebuild().ran;
    };
    bench.runWithFollowUp(JobKind::Read, JobKind::Demux);

    EXPECT_EQ(asked, 0); // a read pass stops without asking
    EXPECT_FALSE(secondJobRan);
    EXPECT_TRUE(ctx.control.stopRequested());
    EXPECT_EQ(countLines("Continue on"), 0);
    EXPECT_EQ(countLines("Opening file"), 1);
    EXPECT_EQ(ctx.cat.FrameCount[0], 0);
    const Lines tail(host.lines.end() - 2, host.lines.end());
    EXPECT_EQ(tail, (Lines{"Cancelled.", ""}));
    EXPECT_EQ(countLines("Done."), 0);
    EXPECT_TRUE(host.listed.video[0].present);
    EXPECT_EQ(host.baseName, "FEATURE_1_FEATURE_2");
    EXPECT_FALSE(fileExists(dir / "FEATURE_1_FEATURE_2.VC-1.stream.0.mpv"));
    EXPECT_FALSE(fileExists(dir / "FEATURE_1_FEATURE_2.rebuilt.EVO"));
}

TEST_F(ReadJobTest, FastCheckStopStillRunsTheFollowUp) {
    // A sparse file of 301 MB of MPEG audio packets: quick to read, past the fast-check limit.
    const std::string path = dir / "BIG.EVO";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const off_t total = 301000000, step = 6 + 0xFFFF;
    const uint8_t head[9] = {0x00, 0x00, 0x01, 0xC0, 0xFF, 0xFF, 0x81, 0x00, 0x00};
    for (off_t at = 0; at + step <= total; at += step)
        ASSERT_EQ(::pwrite(fd, head, sizeof head, at), static_cast<ssize_t>(sizeof head));
    ASSERT_EQ(::ftruncate(fd, total), 0);
    ::close(fd);

    choose(path);
    int pumps = 0;
    host.onPump = [&] { ++pumps; };
    bench.runWithFollowUp(JobKind::Read, JobKind::Demux);
    EXPECT_GT(pumps, 0);
    EXPECT_EQ(countLines("Opening file"), 2);
    EXPECT_EQ(countLines("Done."), 2);
    EXPECT_EQ(countLines("Cancelled."), 0);
    EXPECT_FALSE(ctx.control.stopRequested()); // the demux pass walked the whole file
    // The read stopped after the block that went past 300,000,000 bytes: 1145 blocks.
    const auto done = std::find(host.lines.begin(), host.lines.end(), "Done.");
    ASSERT_LT(done + 2, host.lines.end());
    EXPECT_EQ(*(done + 1), "Fast check: only the first 286 Mbytes were read; untick Fast EVO "
                           "checking on the Options page to read the whole file and count its "
                           "frames.");
    EXPECT_EQ(*(done + 2), "");
    EXPECT_EQ(countLines("Fast check"), 1); // the Demux job reads on to the end
}

} // namespace
} // namespace qf::test
