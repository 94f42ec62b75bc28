#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "job_fixture.h"
#include "jobs/outputs.h"
#include "jobs/rebuild.h"
#include "support/ffmpeg.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

// ---------------------------------------------------------------------------------------
// Program streams made by ffmpeg from elementary streams it encoded first: the demuxed
// files must be those elementary streams again, byte for byte.

struct FfmpegCase {
    const char* name;   // source file name
    const char* format; // ffmpeg muxer
    const char* video;  // elementary stream file and the output caption
    const char* videoCaption;
    const char* audio;
    const char* audioCaption;
};

const FfmpegCase kCases[] = {
    {"mpeg2ac3.VOB", "dvd", "v.m2v", "MPEG-2.stream.0", "a.ac3", "DD.stream.00"},
    {"mpeg2dts.VOB", "dvd", "v.m2v", "MPEG-2.stream.0", "a.dts", "DTSHD.stream.00"},
    {"mpeg2lpcm.VOB", "dvd", "v.m2v", "MPEG-2.stream.0", "a.pcm", "LPCM.stream.00"},
    {"h264ac3.VOB", "vob", "v.264", "H.264.stream.0", "a.ac3", "DD.stream.00"},
};
constexpr int kPictures = 25;

class FfmpegDemuxTest : public ::testing::TestWithParam<FfmpegCase> {
protected:
    static inline std::unique_ptr<TempDir> media;
    static inline bool ready = false;

    static bool run(const std::string& args) { return ffmpeg(media->path, args); }

    static void SetUpTestSuite() {
        if (!haveFfmpeg()) return;
        media = std::make_unique<TempDir>();
        const std::string pictures = "testsrc=size=176x144:rate=25:duration=1";
        const std::string tone = "sine=frequency=440:sample_rate=48000:duration=1";
        ready =
            run("-f lavfi -i " + pictures + " -c:v mpeg2video -g 12 -bf 2 -f mpeg2video v.m2v") &&
            run("-f lavfi -i " + pictures +
                " -c:v libx264 -preset ultrafast -x264-params aud=1 -f h264 v.264") &&
            run("-f lavfi -i " + tone + " -ac 2 -c:a ac3 -b:a 192k -f ac3 a.ac3") &&
            run("-f lavfi -i " + tone + " -ac 2 -c:a dca -strict -2 -f dts a.dts") &&
            run("-f lavfi -i " + tone + " -ac 1 -c:a pcm_s16be -f s16be a.pcm");
        for (const FfmpegCase& c : kCases) {
            const std::string audioIn = std::string(c.audio) == "a.pcm"
                                            ? "-f s16be -ar 48000 -ac 1 -i a.pcm"
                                            : std::string("-i ") + c.audio;
            ready = ready && run(std::string("-i ") + c.video + " " + audioIn +
                                 " -map 0 -map 1 -c copy -f " + c.format + " " + c.name);
        }
    }
    static void TearDownTestSuite() { media.reset(); }
};

TEST_P(FfmpegDemuxTest, DemuxedStreamsEqualTheEncodedOnes) {
    if (!ready) GTEST_SKIP() << "ffmpeg with mpeg2video, libx264, ac3, dca is not available";
    const FfmpegCase& c = GetParam();
    RecordingHost host;
    Session ctx(host);
    streamFilesOnly(ctx);
    TempDir out;
    chooseSource(ctx, media->path + "/" + c.name, out.path);

    bCheckClick(ctx);
    EXPECT_EQ(ctx.cat.FrameCount[0], kPictures);
    EXPECT_EQ(ctx.ui.cbVideo[0].caption, c.videoCaption);
    EXPECT_EQ(ctx.ui.cbAudio[0].caption, c.audioCaption);
    // Named by codec, each file gets the extension ffmpeg's own file has.
    EXPECT_EQ("v." + codecExtension(ctx, Family::Video, 0), c.video);
    EXPECT_EQ("a." + codecExtension(ctx, Family::Audio, 0), c.audio);
    EXPECT_TRUE(ctx.ui.bDemux);

    bDemuxClick(ctx);
    EXPECT_EQ(ctx.cat.FrameCount[0], kPictures);
    EXPECT_EQ(plainText(host.lines.at(host.lines.size() - 2)),
              "25 frames (0:00:01 s) count in video stream 0.");
    const std::string stem = out / (CutExt(c.name) + ".");
    EXPECT_EQ(readFile(stem + c.videoCaption + ".mpv"), readFile(media->path + "/" + c.video));
    EXPECT_EQ(readFile(stem + c.audioCaption + ".mpa"), readFile(media->path + "/" + c.audio));
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_TRUE(ctx.ui.bRebuild); // the Demux job enables it whatever the extension
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FfmpegDemuxTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return CutExt(p.param.name); });

// The kinds the files above do not carry, and streams that only a playlist listed.
TEST(CodecExtension, ByStreamIdOrByThePlaylistsCaption) {
    NullHost host;
    Session ctx(host);
    struct Case {
        Family family;
        SlotEntry held;
        const char* caption;
        const char* source;
        const char* ext;
    };
    const SlotEntry listed = SlotEntry::listedByPlaylist();
    const Case cases[] = {
        {Family::Video, metEntry(0x55), "VC-1.stream.0", "F.EVO", "vc1"},
        {Family::Audio, metEntry(0xB0), "MLP.stream.00", "F.EVO", "thd"},
        {Family::Audio, metEntry(0xC1), "DD+.stream.01", "F.EVO", "eac3"},
        {Family::Audio, metEntry(0xA1), "LPCM.stream.01", "F.AOB", "mlp"},
        {Family::Audio, metEntry(0xA1), "LPCM.stream.01", "F.VOB", "pcm"},
        {Family::Audio, SlotEntry({Carrier::PesId, 0xC0}), "MPA.stream.00", "F.VOB", "mpa"},
        {Family::Subpicture, metEntry(0x20), "Subpicture.00", "F.EVO", "sup"},
        {Family::Video, listed, "H.264.stream.0", "F.EVO", "264"},
        {Family::Audio, listed, "DTS-HD.6ch.stream.00.English", "F.EVO", "dts"},
        {Family::Audio, listed, "MLP.8ch.stream.01.English", "F.EVO", "thd"},
        {Family::Audio, listed, "Opus.stream.02.English", "F.EVO", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        ctx.ui.eEVOfile = c.source;
        (c.family == Family::Video ? ctx.cat.VideoSlots : ctx.cat.AudioSlots)[0] = c.held;
        ctx.cat.SubSlots[0] = c.held;
        ctx.ui.cbVideo[0].caption = ctx.ui.cbAudio[0].caption = ctx.ui.cbSub[0].caption = c.caption;
        ctx.job = jobRequest(ctx.ui);
        EXPECT_EQ(codecExtension(ctx, c.family, 0), c.ext);
    }
}

// ---------------------------------------------------------------------------------------
// DVD program streams with several audio tracks, numbered as muxers commonly do: each
// codec from its own base (AC-3 0x80, DTS 0x88, LPCM 0xA0, MPEG audio 0xC0), so that
// tracks of different codecs share an index.

struct AudioTrack {
    const char* file;   // the elementary stream ffmpeg encoded
    const char* encode; // how
    int32_t entry;      // the catalogue entry its muxed stream gets
    const char* codec;  // what ffprobe calls it in a program stream
};

const char* const kAc3 = "-ac 2 -c:a ac3 -b:a 192k -f ac3";
const AudioTrack kAc3A{"a.ac3", kAc3, 0x80, "ac3"};
const AudioTrack kAc3B{"b.ac3", "-ac 1 -c:a ac3 -b:a 96k -f ac3", 0x81, "ac3"};
const AudioTrack kDts{"a.dts", "-ac 2 -c:a dca -strict -2 -f dts", 0x88, "dts"};
const AudioTrack kLpcm{"a.pcm", "-ac 2 -c:a pcm_s16be -f s16be", 0xA0, "pcm_dvd"};
const AudioTrack kMp2{"a.mp2", "-ac 2 -c:a mp2 -b:a 192k -f mp2", 0x1C0, "mp2"};

struct MultiAudioCase {
    const char* name;
    std::vector<AudioTrack> tracks;
};

class MultiAudioVobTest : public ::testing::TestWithParam<MultiAudioCase> {
protected:
    static inline std::unique_ptr<TempDir> media;

    static void SetUpTestSuite() {
        if (!haveFfmpeg()) return;
        media = std::make_unique<TempDir>();
        const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 ";
        bool ok = ffmpeg(media->path, "-f lavfi -i testsrc=size=176x144:rate=25:duration=2 "
                                      "-c:v mpeg2video -f mpeg2video v.m2v");
        for (const AudioTrack& t : {kAc3A, kAc3B, kDts, kLpcm, kMp2})
            ok = ok && ffmpeg(media->path, tone + t.encode + " " + t.file);
        if (!ok) media.reset();
    }
    static void TearDownTestSuite() { media.reset(); }
};

TEST_P(MultiAudioVobTest, EveryTrackHasItsOwnBoxFileAndPacks) {
    if (!media) GTEST_SKIP() << "ffmpeg with mpeg2video, ac3, dca, mp2 is not available";
    const MultiAudioCase& c = GetParam();
    std::string inputs = "-i v.m2v", maps = "-map 0";
    for (size_t i = 0; i < c.tracks.size(); ++i) {
        const AudioTrack& t = c.tracks[i];
        inputs += t.entry == kLpcm.entry ? std::string(" -f s16be -ar 48000 -ac 2 -i ") + t.file
                                         : std::string(" -i ") + t.file;
        maps += " -map " + std::to_string(i + 1);
    }
    ASSERT_TRUE(ffmpeg(media->path, inputs + " " + maps + " -c copy -f dvd " + c.name));

    RecordingHost host;
    Session ctx(host);
    streamFilesOnly(ctx);
    TempDir out;
    chooseSource(ctx, media->path + "/" + c.name, out.path);
    bCheckClick(ctx);

    // One ticked box per track, each in a slot of its own.
    std::vector<size_t> slots;
    for (const AudioTrack& t : c.tracks) {
        const auto at =
            std::find(ctx.cat.AudioSlots.begin(), ctx.cat.AudioSlots.end(), metEntry(t.entry));
        ASSERT_NE(at, ctx.cat.AudioSlots.end()) << t.file;
        slots.push_back(static_cast<size_t>(at - ctx.cat.AudioSlots.begin()));
        EXPECT_TRUE(ctx.ui.cbAudio[slots.back()].checked) << t.file;
    }
    EXPECT_EQ(std::count_if(ctx.ui.cbAudio.begin(), ctx.ui.cbAudio.end(),
                            [](const CheckBox& b) { return b.enabled; }),
              static_cast<long>(c.tracks.size()));

    // Each file holds its own track, byte for byte, and decodes as such.
    bDemuxClick(ctx);
    const std::string stem = out / (CutExt(c.name) + ".");
    for (size_t i = 0; i < c.tracks.size(); ++i) {
        const std::string file = stem + ctx.ui.cbAudio[slots[i]].caption + ".mpa";
        EXPECT_EQ(readFile(file), readFile(media->path + "/" + c.tracks[i].file)) << file;
        if (c.tracks[i].entry != kLpcm.entry) {
            EXPECT_TRUE(decodesCleanly(file)) << file;
        }
    }

    // A rebuild that keeps one track keeps exactly that one.
    for (size_t i = 0; i < c.tracks.size(); ++i) {
        for (size_t k = 0; k < slots.size(); ++k)
            setStreamChecked(ctx.ui, Family::Audio, static_cast<int>(slots[k]), k == i);
        bRebuildClick(ctx);
        EXPECT_EQ(ffprobe(out.path, "-select_streams a -show_entries stream=codec_name "
                                    "-of csv=p=0 '" +
                                        CutExt(c.name) + ".rebuilt.EVO'"),
                  std::string(c.tracks[i].codec) + "\n")
            << "keeping " << c.tracks[i].file;
    }
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, MultiAudioVobTest,
                         ::testing::Values(MultiAudioCase{"ac3_dts_lpcm.VOB", {kAc3A, kDts, kLpcm}},
                                           MultiAudioCase{"two_ac3_mp2.VOB", {kAc3A, kAc3B, kMp2}},
                                           MultiAudioCase{"mp2.VOB", {kMp2}}),
                         [](const auto& p) { return CutExt(p.param.name); });

// ---------------------------------------------------------------------------------------
// Builder-made EVO titles.

struct Title {
    std::vector<Bytes> video, eac3a, eac3b, truehd, subs;
    Bytes build() const {
        PsMuxer m;
        m.add(vc1Track(video));
        if (!eac3a.empty()) m.add(audioTrack(eac3a, subHeaderAudio(0xC0)));
        if (!eac3b.empty()) m.add(audioTrack(eac3b, subHeaderAudio(0xC1)));
        if (!truehd.empty()) m.add(audioTrack(truehd, subHeaderTrueHD(0xB2)));
        if (!subs.empty()) m.add(subTrack(0x20, subs));
        return m.build();
    }
};

Title videoOnly(std::vector<Bytes> units) {
    Title t;
    t.video = std::move(units);
    return t;
}

Title fullTitle() {
    Title t;
    t.video = vc1Units(5);
    t.eac3a = repeatUnit(sample("eac3_51.eac3"), 3);
    t.eac3b = repeatUnit(sample("eac3_51.eac3"), 2);
    t.truehd = repeatUnit(sample("truehd_48k_51.thd"), 6);
    t.subs = subUnits(3);
    return t;
}

class DemuxJobTest : public JobTest {
protected:
    void readAndChoose(const std::string& path) {
        choose(path);
        bCheckClick(ctx);
        host.lines.clear();
        host.status0.clear();
    }
};

TEST_F(DemuxJobTest, CaptionsNeverLeadOutOfTheOutputFolder) {
    const Title t = fullTitle();
    writeFile(dir / "FEATURE_1.EVO", t.build());
    readAndChoose(dir / "FEATURE_1.EVO");
    std::filesystem::create_directories(dir / "out");
    ctx.ui.eWorkdir = dir / "out";
    ctx.ui.cbVideo[0].caption = "../../x";
    ctx.ui.cbAudio[0].caption = "DD+.stream.00.Director/Commentary";
    ctx.ui.cbAudio[2].caption = "MLP [Lossless]\\x\tTab";
    bDemuxClick(ctx);

    const std::string stem = dir / "out/FEATURE_1.";
    EXPECT_EQ(readFile(stem + ".._.._x.mpv"), concat(t.video));
    EXPECT_EQ(readFile(stem + "DD+.stream.00.Director_Commentary.mpa"), concat(t.eac3a));
    EXPECT_EQ(readFile(stem + "MLP [Lossless]_x_Tab.mpa"), concat(t.truehd));
    EXPECT_EQ(ctx.ui.cbAudio[0].caption, "DD+.stream.00.Director/Commentary"); // shown unchanged
    EXPECT_TRUE(hasLine("Creating " + stem + "MLP [Lossless]_x_Tab.mpa (delay 20 ms)"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2); // EVO + out
}

TEST_F(DemuxJobTest, WritesEveryTickedStreamBesideTheSource) {
    const Title t = fullTitle();
    writeFile(dir / "FEATURE_1.EVO", t.build());
    readAndChoose(dir / "FEATURE_1.EVO");
    setStreamChecked(ctx.ui, Family::Audio, 1, false);
    bDemuxClick(ctx);

    const std::string stem = dir / "FEATURE_1.";
    EXPECT_EQ(host.lines, (Lines{"Opening file FEATURE_1.EVO", "File size: 0 Mbytes.",
                                 "Creating " + stem + "VC-1.stream.0.mpv",
                                 "Creating " + stem + "DD+.stream.00.mpa (delay 20 ms)",
                                 "Creating " + stem + "MLP.stream.02.mpa (delay 20 ms)",
                                 "Creating " + stem + "Subpicture.00.sup (delay 500 ms)", "Done.",
                                 "", "5 frames (0:00:00 s) count in video stream 0.", ""}));
    EXPECT_EQ(host.status0, (Lines{"Opening", "Demuxing FEATURE_1.EVO", "Ready"}));
    EXPECT_EQ(readFile(stem + "VC-1.stream.0.mpv"), concat(t.video));
    EXPECT_EQ(readFile(stem + "DD+.stream.00.mpa"), concat(t.eac3a));
    EXPECT_FALSE(fileExists(stem + "DD+.stream.01.mpa"));
    EXPECT_EQ(readFile(stem + "MLP.stream.02.mpa"), concat(t.truehd));
    EXPECT_EQ(readFile(stem + "Subpicture.00.sup"), spRecords(t.subs, 135000, 90000, 90000));
    EXPECT_TRUE(allOutputsClosed());
    EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
    EXPECT_FALSE(ctx.busy);
}

TEST_F(DemuxJobTest, TwoPartTitleFillsTheSameFiles) {
    Title a, b;
    a.video = vc1Units(4, 2500, 0x41);
    a.eac3a = repeatUnit(sample("eac3_51.eac3"), 2);
    a.eac3b = repeatUnit(sample("eac3_51.eac3"), 1); // only in the first part
    b.video = vc1Units(3, 2500, 0x61);
    b.eac3a = repeatUnit(sample("eac3_51.eac3"), 3);
    writeFile(dir / "FEATURE_1.EVO", a.build());
    writeFile(dir / "FEATURE_2.EVO", b.build());
    readAndChoose(dir / "FEATURE_1.EVO");

    for (const auto& workdir : std::vector<std::string>{dir / "out", dir / "out/"}) {
        std::filesystem::create_directories(dir / "out");
        ctx.ui.eWorkdir = workdir;
        host.lines.clear();
        bDemuxClick(ctx);
        EXPECT_EQ(countLines("Continue on"), 1);
        EXPECT_TRUE(hasLine("Continue on FEATURE_2.EVO"));
        EXPECT_TRUE(hasLine("7 frames (0:00:00 s) count in video stream 0."));
        const std::string stem = dir / "out/FEATURE_1_FEATURE_2.";
        EXPECT_TRUE(hasLine("Creating " + stem + "VC-1.stream.0.mpv")) << workdir;
        EXPECT_EQ(readFile(stem + "VC-1.stream.0.mpv"),
                  concat(std::vector<Bytes>{concat(a.video), concat(b.video)}));
        EXPECT_EQ(readFile(stem + "DD+.stream.00.mpa"),
                  concat(std::vector<Bytes>{concat(a.eac3a), concat(b.eac3a)}));
        EXPECT_EQ(readFile(stem + "DD+.stream.01.mpa"), concat(a.eac3b));
        EXPECT_EQ(ctx.cat.AudioSlots[1].entry(), 0xC1); // still known to a following Rebuild
    }
}

TEST_F(DemuxJobTest, NoSelectionStillWalksBothParts) {
    writeFile(dir / "FEATURE_1.EVO", videoOnly(vc1Units(2)).build());
    writeFile(dir / "FEATURE_2.EVO", videoOnly(vc1Units(2)).build());
    readAndChoose(dir / "FEATURE_1.EVO");
    setStreamChecked(ctx.ui, Family::Video, 0, false);
    bDemuxClick(ctx);
    EXPECT_EQ(countLines("Creating"), 0);
    EXPECT_EQ(countLines("Continue on"), 1);
    EXPECT_EQ(plainLines().back(), ""); // no frames counted for an unticked stream
    EXPECT_EQ(plainLines().at(plainLines().size() - 2), "Done.");
}

// --- failures: the error text, files closed, nothing else touched ---------------------

class DemuxFailureTest : public DemuxJobTest {
protected:
    std::string source;
    Bytes sourceBytes;
    void SetUp() override {
        source = dir / "FEATURE_1.EVO";
        sourceBytes = fullTitle().build();
        writeFile(source, sourceBytes);
        readAndChoose(source);
    }
    std::string demuxError() {
        try {
            bDemuxClick(ctx);
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }
    void expectCleanedUp(bool sourceKept = true) {
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(ctx.ui.bCancel);
        EXPECT_TRUE(ctx.ui.bDemux); // boxes still ticked: the user can retry
        EXPECT_TRUE(ctx.ui.bRebuild);
        EXPECT_EQ(countLines("Done."), 0);
        if (sourceKept) {
            EXPECT_EQ(readFile(source), sourceBytes);
        }
    }
};

TEST_F(DemuxFailureTest, MissingSource) {
    std::filesystem::remove(source);
    EXPECT_EQ(demuxError(), "Cannot open file \"" + source + "\". No such file or directory");
    EXPECT_EQ(host.lines, (Lines{"Opening file FEATURE_1.EVO"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path)); // no output created
    expectCleanedUp(false);
}

TEST_F(DemuxFailureTest, OutputFolderMissing) {
    ctx.ui.eWorkdir = dir / "nowhere";
    EXPECT_EQ(demuxError(),
              "Cannot write to folder \"" + dir / "nowhere" + "\". No such file or directory");
    EXPECT_TRUE(host.lines.empty()); // refused before the source is read
    expectCleanedUp();
}

TEST_F(DemuxFailureTest, LaterOutputUncreatableKeepsTheEarlierFile) {
    ctx.ui.cbAudio[0].caption = "taken";
    std::filesystem::create_directory(dir / "FEATURE_1.taken.mpa");
    EXPECT_EQ(demuxError(),
              "Cannot create file \"" + dir / "FEATURE_1.taken.mpa" + "\". Not a regular file");
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.VC-1.stream.0.mpv"));
    EXPECT_FALSE(fileExists(dir / "FEATURE_1.MLP.stream.02.mpa"));
    expectCleanedUp();
}

TEST_F(DemuxFailureTest, DiskFull) {
    test::FileSizeLimit limit(100);
    const std::string error = demuxError();
    EXPECT_EQ(error.rfind("Stream write error: \"" + dir.path + "/FEATURE_1.", 0), 0u) << error;
    EXPECT_TRUE(error.ends_with("\". File too large.")) << error;
    EXPECT_TRUE(hasLine("Creating " + dir / "FEATURE_1.Subpicture.00.sup (delay 500 ms)"));
    expectCleanedUp();
}

// --- cancel ---------------------------------------------------------------------------

TEST_F(DemuxJobTest, CancelAsksThenStopsWithoutContinuing) {
    const auto video = vc1Units(2200, 1900);
    writeFile(dir / "FEATURE_1.EVO", videoOnly(video).build());
    writeFile(dir / "FEATURE_2.EVO", videoOnly(vc1Units(2)).build());
    readAndChoose(dir / "FEATURE_1.EVO");

    host.answer = false; // "No" leaves the pass running
    host.onPump = [&] { bCancelClick(ctx); };
    bDemuxClick(ctx);
    EXPECT_EQ(host.questions, (Lines{"Are you sure to stop demuxing?"}));
    EXPECT_EQ(countLines("Continue on"), 1);

    host.answer = true;
    host.lines.clear();
    bDemuxClick(ctx);
    EXPECT_EQ(countLines("Continue on"), 0);
    const Lines lines = plainLines(); // no frame count after a cancel
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"Cancelled: FEATURE_1_FEATURE_2.VC-1.stream.0.mpv is incomplete.", ""}));
    EXPECT_EQ(countLines("Done."), 0);
    const Bytes got = readFile(dir / "FEATURE_1_FEATURE_2.VC-1.stream.0.mpv");
    const Bytes all = concat(video);
    ASSERT_LT(got.size(), all.size());
    EXPECT_GT(got.size(), 0u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin()));
    EXPECT_TRUE(allOutputsClosed());
    EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
}

TEST_F(DemuxJobTest, TheRemainingTimeLeavesOutTheTimeAQuestionWasOpen) {
    // Six progress points; a question open for 1.5 s at the first, answered No.
    writeFile(dir / "FEATURE_1.EVO", videoOnly(vc1Units(6 * 2200, 1900)).build());
    readAndChoose(dir / "FEATURE_1.EVO");
    host.answer = false;
    std::thread answer;
    host.onPump = [&] {
        if (answer.joinable()) return;
        ctx.control.pause.hold(); // what bCancelClick does while its question is open
        answer = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            ctx.control.pause.release();
        });
    };
    bDemuxClick(ctx);
    answer.join();
    ASSERT_GE(host.status1.size(), 3u);
    // Counted with the question, the second point would say four seconds or more.
    for (size_t k = 1; k < host.status1.size(); ++k) {
        if (host.status1[k].empty()) continue;
        SCOPED_TRACE(host.status1[k]);
        EXPECT_TRUE(host.status1[k].ends_with("Remaining time: 0:00:01") ||
                    host.status1[k].ends_with("Remaining time: 0:00:00"));
    }
}

TEST_F(DemuxJobTest, ACancelWritesNoHandOverFileAndRemovesOneLeftFromAnEarlierRun) {
    writeFile(dir / "FEATURE_1.EVO", videoOnly(vc1Units(2200, 1900)).build());
    ctx.ui.outputChoices.mkvmergeOptions = true;
    readAndChoose(dir / "FEATURE_1.EVO");
    bDemuxClick(ctx);
    const std::string options = dir / "FEATURE_1.mkvmerge.json";
    ASSERT_TRUE(fileExists(options));
    EXPECT_EQ(countLines("Named by codec for mkvmerge: FEATURE_1.VC-1.stream.0.vc1"), 1);

    host.lines.clear();
    host.answer = true;
    host.onPump = [&] { bCancelClick(ctx); };
    bDemuxClick(ctx);
    EXPECT_FALSE(fileExists(options));
    EXPECT_EQ(countLines("Removed FEATURE_1.mkvmerge.json of an earlier run"), 1);
    // No options file this time, so nothing is said to be named for one.
    EXPECT_EQ(countLines("Named by codec"), 0);
    EXPECT_EQ(plainLines().end()[-2], "Cancelled: FEATURE_1.VC-1.stream.0.vc1 is incomplete.");

    // One that is not ours alone (a second name) stays.
    host.onPump = nullptr;
    bDemuxClick(ctx);
    ASSERT_EQ(::link(options.c_str(), (dir / "second").c_str()), 0);
    host.onPump = [&] { bCancelClick(ctx); };
    bDemuxClick(ctx);
    EXPECT_TRUE(fileExists(options));
}

} // namespace
} // namespace qf::test
