#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "demux_titles.h"
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
    JobBench b;
    JobRunner& ctx = b.ctx;
    streamFilesOnly(b.request.output);
    TempDir out;
    b.choose(media->path + "/" + c.name, out.path);

    b.read();
    EXPECT_EQ(ctx.cat.FrameCount[0], kPictures);
    EXPECT_EQ(b.host.listed.video[0].caption, c.videoCaption);
    EXPECT_EQ(b.host.listed.audio[0].caption, c.audioCaption);
    // Named by codec, each file gets the extension ffmpeg's own file has.
    ctx.job = b.request;
    EXPECT_EQ("v." + codecExtension(ctx, Family::Video, 0), c.video);
    EXPECT_EQ("a." + codecExtension(ctx, Family::Audio, 0), c.audio);

    b.demux();
    EXPECT_EQ(ctx.cat.FrameCount[0], kPictures);
    EXPECT_EQ(plainText(b.host.lines.at(b.host.lines.size() - 2)),
              "25 frames (0:00:01 s) count in video stream 0.");
    const std::string stem = out / (CutExt(c.name) + ".");
    EXPECT_EQ(readFile(stem + c.videoCaption + ".mpv"), readFile(media->path + "/" + c.video));
    EXPECT_EQ(readFile(stem + c.audioCaption + ".mpa"), readFile(media->path + "/" + c.audio));
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FfmpegDemuxTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return CutExt(p.param.name); });

// The kinds the files above do not carry, and streams that only a playlist listed.
TEST(CodecExtension, ByStreamIdOrByThePlaylistsCaption) {
    RecordingEvents host;
    JobRunner ctx{host};
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
        ctx.job = {};
        ctx.job.source = c.source;
        (c.family == Family::Video ? ctx.cat.VideoSlots : ctx.cat.AudioSlots)[0] = c.held;
        ctx.cat.SubSlots[0] = c.held;
        for (Family f : kFamilies) ctx.job.selection.at(f, 0).caption = c.caption;
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

    JobBench b;
    JobRunner& ctx = b.ctx;
    streamFilesOnly(b.request.output);
    TempDir out;
    b.choose(media->path + "/" + c.name, out.path);
    b.read();

    // One listed stream per track, each in a slot of its own.
    std::vector<size_t> slots;
    for (const AudioTrack& t : c.tracks) {
        const auto at =
            std::find(ctx.cat.AudioSlots.begin(), ctx.cat.AudioSlots.end(), metEntry(t.entry));
        ASSERT_NE(at, ctx.cat.AudioSlots.end()) << t.file;
        slots.push_back(static_cast<size_t>(at - ctx.cat.AudioSlots.begin()));
        EXPECT_TRUE(b.request.selection.at(Family::Audio, slots.back()).checked) << t.file;
    }
    EXPECT_EQ(std::count_if(b.host.listed.audio.begin(), b.host.listed.audio.end(),
                            [](const ListedStream& l) { return l.present; }),
              static_cast<long>(c.tracks.size()));

    // Each file holds its own track, byte for byte, and decodes as such.
    b.demux();
    const std::string stem = out / (CutExt(c.name) + ".");
    for (size_t i = 0; i < c.tracks.size(); ++i) {
        const std::string file = stem + b.host.listed.audio[slots[i]].caption + ".mpa";
        EXPECT_EQ(readFile(file), readFile(media->path + "/" + c.tracks[i].file)) << file;
        if (c.tracks[i].entry != kLpcm.entry) {
            EXPECT_TRUE(decodesCleanly(file)) << file;
        }
    }

    // A rebuild that keeps one track keeps exactly that one.
    for (size_t i = 0; i < c.tracks.size(); ++i) {
        for (size_t k = 0; k < slots.size(); ++k)
            b.request.selection.at(Family::Audio, slots[k]).checked = k == i;
        b.rebuild();
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

TEST_F(DemuxJobTest, CaptionsNeverLeadOutOfTheOutputFolder) {
    const Title t = fullTitle();
    writeFile(dir / "FEATURE_1.EVO", t.build());
    readAndChoose(dir / "FEATURE_1.EVO");
    std::filesystem::create_directories(dir / "out");
    request.workdir = dir / "out";
    request.selection.at(Family::Video, 0).caption = "../../x";
    request.selection.at(Family::Audio, 0).caption = "DD+.stream.00.Director/Commentary";
    request.selection.at(Family::Audio, 2).caption = "MLP [Lossless]\\x\tTab";
    bench.demux();

    const std::string stem = dir / "out/FEATURE_1.";
    EXPECT_EQ(readFile(stem + ".._.._x.mpv"), concat(t.video));
    EXPECT_EQ(readFile(stem + "DD+.stream.00.Director_Commentary.mpa"), concat(t.eac3a));
    EXPECT_EQ(readFile(stem + "MLP [Lossless]_x_Tab.mpa"), concat(t.truehd));
    EXPECT_TRUE(hasLine("Creating " + stem + "MLP [Lossless]_x_Tab.mpa (delay 20 ms)"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2); // EVO + out
}

TEST_F(DemuxJobTest, WritesEveryTickedStreamBesideTheSource) {
    const Title t = fullTitle();
    writeFile(dir / "FEATURE_1.EVO", t.build());
    readAndChoose(dir / "FEATURE_1.EVO");
    tick(Family::Audio, 1, false);
    bench.demux();

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
        request.workdir = workdir;
        host.lines.clear();
        bench.demux();
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
    tick(Family::Video, 0, false);
    bench.demux();
    EXPECT_EQ(countLines("Creating"), 0);
    EXPECT_EQ(countLines("Continue on"), 1);
    EXPECT_EQ(plainLines().back(), ""); // no frames counted for an unticked stream
    EXPECT_EQ(plainLines().at(plainLines().size() - 2), "Done.");
}

} // namespace
} // namespace qf::test
