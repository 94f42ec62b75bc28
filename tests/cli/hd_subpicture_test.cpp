// HD DVD subpictures for Matroska: from an EVO whose streams carry 8-bit and 2-bit units,
// a demux writes presentation graphics and VobSub that ffprobe, ffmpeg and mkvmerge read,
// with the bitmaps and colours of the units; --sub-format sup keeps the "SP" records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"
#include "support/hd_subpicture.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

constexpr int kUnits = 3;

PsMuxer::Track subTrack(uint8_t id, const Bytes& unit, const Bytes& forced) {
    PsMuxer::Track t;
    t.streamId = 0xBD;
    t.subHeader = subHeaderSub(id);
    t.units = {unit, forced, unit};
    t.ptsStart = 90000; // with the video's first picture
    t.ptsStep = 90000;
    return t;
}

// 1920 x 1080 MPEG-2 video and three subpicture streams: 8-bit units (the second forced),
// 2-bit units with their own palette and 2-bit units without.
void writeEvo(const std::string& path) {
    PsMuxer m;
    PsMuxer::Track video;
    video.units = {readFile(std::string(QUILLFEN_TEST_DATA) + "/mpeg2_1920x1080_2997i_16x9.m2v")};
    m.add(video);
    m.add(subTrack(0x20, eightBitBox(), eightBitBox(true)));
    m.add(subTrack(0x21, twoBitBox(true), twoBitBox(true)));
    m.add(subTrack(0x22, twoBitBox(false), twoBitBox(false)));
    writeFile(path, m.build());
}

// What ffmpeg says while it lays a subtitle file over black for four seconds: nothing when
// it decodes every unit.
std::string decodeErrors(const std::string& dir, const std::string& sub) {
    int status = 0;
    const std::string errors =
        commandOutput("cd '" + dir +
                          "' && ffmpeg -hide_banner -nostdin -v error -f lavfi -i "
                          "color=black:size=1920x1080:rate=25:d=4 -i '" +
                          sub + "' -filter_complex '[0][1:s]overlay' -f null - 2>&1",
                      &status);
    return status == 0 ? errors : "exit status " + std::to_string(status) + ": " + errors;
}

// Is the pixel of a subtitle file laid over black at 0.5 s, as ffmpeg shows it, the grey
// `g` (give or take the rounding of ffmpeg's colour conversions)?
::testing::AssertionResult greyAt(const std::string& dir, const std::string& sub, int x, int y,
                                  int g) {
    if (!ffmpeg(dir, "-f lavfi -i color=black:size=1920x1080:rate=25:d=4 -i '" + sub +
                         "' -filter_complex '[0][1:s]overlay' -ss 0.5 -frames:v 1 -f rawvideo "
                         "-pix_fmt rgb24 -y frame.rgb"))
        return ::testing::AssertionFailure() << "no frame";
    const Bytes f = readFile(dir + "/frame.rgb");
    const size_t at = (static_cast<size_t>(y) * 1920 + static_cast<size_t>(x)) * 3;
    if (f.size() < at + 3) return ::testing::AssertionFailure() << "short frame";
    for (size_t i = 0; i < 3; ++i)
        if (std::abs(f[at + i] - g) > 2)
            return ::testing::AssertionFailure()
                   << "(" << x << ", " << y << ") is " << int{f[at]} << "/" << int{f[at + 1]} << "/"
                   << int{f[at + 2]} << ", not " << g;
    return ::testing::AssertionSuccess();
}

std::string text(const std::string& path) {
    const Bytes b = readFile(path);
    return {b.begin(), b.end()};
}

TEST(HdSubpictures, BecomePgsAndVobSubThatFfmpegAndMkvmergeRead) {
    if (!haveFfmpeg() || std::system("mkvmerge --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg or mkvmerge is not available";
    TempDir d;
    writeEvo(d / "HD.EVO");
    const CliResult r = runCli({"demux", d / "HD.EVO", "-o", d.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Palette of HD.Subpicture.01.idx: from the subpictures\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Palette of HD.Subpicture.02.idx: the default palette\n"),
              std::string::npos);

    // 8-bit units: presentation graphics, each unit a display set and an empty one.
    EXPECT_EQ(ffprobe(d.path, "-show_entries stream=codec_name -of csv=p=0 HD.Subpicture.00.sup"),
              "hdmv_pgs_subtitle\n");
    EXPECT_EQ(ffprobe(d.path, "-count_packets -show_entries stream=nb_read_packets -of csv=p=0 "
                              "HD.Subpicture.00.sup"),
              std::to_string(kUnits * 8) + "\n");
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.00.sup", kBoxX + 10, kBoxY, greyOf(kLeftY)));
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.00.sup", kBoxX + 40, kBoxY, greyOf(kRightY)));
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.00.sup", kBoxX + 10, kBoxY + 1, greyOf(kRightY)));
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.00.sup", kBoxX - 1, kBoxY, 0));
    EXPECT_EQ(
        std::system(("cd '" + d.path + "' && mkvmerge -q -o x.mkv HD.Subpicture.00.sup").c_str()),
        0);
    // 2-bit units: VobSub, in the unit's own palette or else the default one.
    for (const char* sub : {"HD.Subpicture.00.sup", "HD.Subpicture.01.idx", "HD.Subpicture.02.idx"})
        EXPECT_EQ(decodeErrors(d.path, sub), "") << sub;
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.01.idx", kBoxX + 10, kBoxY + 3, greyOf(kRightY)));
    EXPECT_TRUE(greyAt(d.path, "HD.Subpicture.02.idx", kBoxX + 10, kBoxY + 3, 0xcc));
    const std::string options = text(d / "HD.mkvmerge.json");
    for (const char* name : {"\"HD.Subpicture.00.sup\"", "\"HD.Subpicture.01.idx\""})
        EXPECT_NE(options.find(name), std::string::npos) << name;
    EXPECT_EQ(std::system(("cd '" + d.path + "' && mkvmerge -q @HD.mkvmerge.json").c_str()), 0);

    // Asked for: the records as ever, or only the forced unit as presentation graphics.
    TempDir sup, forced;
    ASSERT_EQ(runCli({"demux", d / "HD.EVO", "-o", sup.path, "--sub-format", "sup"}).status, 0);
    EXPECT_EQ(text(sup / "HD.Subpicture.00.sup").substr(0, 2), "SP");
    ASSERT_EQ(runCli({"demux", d / "HD.EVO", "-o", forced.path, "--select", "s00", "--sub-format",
                      "pgs", "--forced-only"})
                  .status,
              0);
    EXPECT_EQ(ffprobe(forced.path, "-count_packets -show_entries stream=nb_read_packets -of "
                                   "csv=p=0 HD.Subpicture.00.sup"),
              "8\n");
}

} // namespace
} // namespace qf::test
