// Caption pairs found in video user data: what the test writer put into an ffmpeg-made
// stream (which ffmpeg reads back as captions, see the decoder's tests), hand-made H.264
// SEI and MPEG-2 pictures out of display order, and blocks cut short.
#include "analysers/captions.h"

#include <gtest/gtest.h>

#include "engine/describe_captions.h"
#include "support/ffmpeg.h"
#include "support/line21_media.h"

namespace qf {
inline void PrintTo(const CaptionPair& p, std::ostream* os) {
    *os << "{" << p.time << ", field " << int(p.field) << ", " << std::hex << int(p.b1) << " "
        << int(p.b2) << std::dec << "}";
}
inline bool operator==(const CaptionPair& a, const CaptionPair& b) {
    return a.time == b.time && a.field == b.field && a.b1 == b.b1 && a.b2 == b.b2;
}
} // namespace qf

namespace qf::test {
namespace {

using Bytes = std::vector<uint8_t>;

// What the writer put in: both fields' pairs of every picture, field 1 first.
std::vector<CaptionPair> written(const std::vector<Line21Frame>& frames, size_t pictures,
                                 int64_t origin) {
    std::vector<CaptionPair> pairs;
    for (size_t i = 0; i < pictures; ++i) {
        const Line21Frame f = i < frames.size() ? frames[i] : Line21Frame{};
        const int64_t t = origin + static_cast<int64_t>(i) * kNtscFrame;
        pairs.push_back({t, 1, f.field1[0], f.field1[1]});
        pairs.push_back({t, 2, f.field2[0], f.field2[1]});
    }
    return pairs;
}

class CaptionMedia : public ::testing::TestWithParam<Line21Carriage> {};

TEST_P(CaptionMedia, PairsAreTheWrittenOnesAtTheirPicturesTimes) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    // CC1 on field 1 and CC3 on field 2 at once
    std::vector<Line21Frame> frames = line21Showcase(1, 1).frames(0);
    const std::vector<Line21Frame> third = line21Showcase(2, 1).frames(0);
    frames.resize(std::max(frames.size(), third.size()));
    for (size_t i = 0; i < third.size(); ++i) frames[i].field2 = third[i].field2;
    const bool dvd = GetParam() == Line21Carriage::DvdGop;
    const Bytes m2v = fileBytes(line21Stream(dvd ? "pairs_dvd" : "pairs_atsc", frames, GetParam()));
    ASSERT_FALSE(m2v.empty());
    const std::vector<CaptionPair> expected = written(frames, 360, 90000);
    EXPECT_EQ(readPairs(m2v, 2048, 90000), expected);
    // Cut into 7-byte runs, with a PTS for the first picture only: the rest count on
    // from it by the sequence header's frame rate.
    EXPECT_EQ(readPairs(m2v, 7, 90000, true), expected);

    CaptionReader reader(VideoCoding::Mpeg2);
    reader.feed(m2v, 0);
    reader.finish();
    EXPECT_EQ(reader.channels().carriage, dvd ? CaptionCarriage::DvdGop : CaptionCarriage::Atsc);
    EXPECT_EQ(describe(reader.channels(), {}),
              ReportLines{"   Closed captions: CC1, CC3 (line 21, fields 1 and 2)"});
    EXPECT_EQ(captionChannelNames(reader.channels()), (std::vector<std::string>{"CC1", "CC3"}));
    // The first 64 KiB hold the first captions' control codes already.
    const CaptionChannels first =
        captionChannels(std::span<const uint8_t>(m2v).first(65536), VideoCoding::Mpeg2);
    EXPECT_EQ(describe(first, {}),
              ReportLines{"   Closed captions: CC1, CC3 (line 21, fields 1 and 2)"});
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, CaptionMedia,
                         ::testing::Values(Line21Carriage::DvdGop, Line21Carriage::AtscPicture),
                         [](const auto& param) {
                             return param.param == Line21Carriage::DvdGop ? "DvdGop" : "Atsc";
                         });

// ATSC cc_data: a flags byte with cc_count, em_data, the triples, a marker byte.
Bytes ccData(const std::vector<std::array<uint8_t, 3>>& triples) {
    Bytes d = {static_cast<uint8_t>(0x40 | triples.size()), 0xFF};
    for (const auto& t : triples) d.insert(d.end(), t.begin(), t.end());
    d.push_back(0xFF);
    return d;
}

Bytes mpeg2Picture(int temporalReference, const Bytes& cc) {
    Bytes b = {0,
               0,
               1,
               0x00,
               static_cast<uint8_t>(temporalReference >> 2),
               static_cast<uint8_t>((temporalReference & 3) << 6 | 1 << 3),
               0xFF,
               0xF8};
    const Bytes user = {0, 0, 1, 0xB2, 'G', 'A', '9', '4', 0x03};
    b.insert(b.end(), user.begin(), user.end());
    b.insert(b.end(), cc.begin(), cc.end());
    const Bytes slice = {0, 0, 1, 0x01, 0x12, 0x34};
    b.insert(b.end(), slice.begin(), slice.end());
    return b;
}

TEST(CaptionPairs, Mpeg2PicturesOutOfDisplayOrderGoByTheirTemporalReference) {
    // I (shown third), then two B pictures; only the I picture's packet has a PTS.
    const Bytes gop = {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x00};
    CaptionReader reader(VideoCoding::Mpeg2);
    reader.feed(gop, std::nullopt);
    reader.feed(mpeg2Picture(2, ccData({{0xFC, 0xC1, 0xC2}})), 100000);
    reader.feed(mpeg2Picture(0, ccData({{0xFC, 0xC3, 0xC4}})), std::nullopt);
    reader.feed(mpeg2Picture(1, ccData({{0xFD, 0xC5, 0xC6}})), std::nullopt);
    reader.finish();
    EXPECT_EQ(reader.takePairs(),
              (std::vector<CaptionPair>{{100000 - 2 * kNtscFrame, 1, 0xC3, 0xC4},
                                        {100000 - kNtscFrame, 2, 0xC5, 0xC6},
                                        {100000, 1, 0xC1, 0xC2}}));
}

TEST(CaptionPairs, DvdBlockCountsTheGopsPicturesFromItsFirst) {
    // One block of two fields and an extra field, which is the next picture's; the GOP's
    // first picture in display order is coded second.
    const Bytes gop = {0,   0,    1,    0xB8, 0x00, 0x08, 0x00, 0x00, 0,    0,    1,    0xB2, 'C',
                       'C', 0x01, 0xF8, 0x83, 0xFF, 0x94, 0x20, 0xFE, 0x15, 0x20, 0xFF, 0x94, 0x2C};
    CaptionReader reader(VideoCoding::Mpeg2);
    reader.feed(gop, std::nullopt);
    reader.feed(mpeg2Picture(1, ccData({})), 10000);
    reader.feed(mpeg2Picture(0, ccData({})), std::nullopt);
    reader.finish();
    EXPECT_EQ(reader.takePairs(), (std::vector<CaptionPair>{{10000 - kNtscFrame, 1, 0x94, 0x20},
                                                            {10000 - kNtscFrame, 2, 0x15, 0x20},
                                                            {10000, 1, 0x94, 0x2C}}));
    EXPECT_EQ(reader.channels().carriage, CaptionCarriage::DvdGop);
}

Bytes h264AccessUnit(const Bytes& cc) {
    Bytes b = {0, 0, 0, 1, 0x09, 0xF0}; // access unit delimiter
    const Bytes sei = {0,    0,    1,    0x06, 0x04, static_cast<uint8_t>(8 + cc.size()),
                       0xB5, 0x00, 0x31, 'G',  'A',  '9',
                       '4',  0x03}; // user_data_registered_itu_t_t35
    b.insert(b.end(), sei.begin(), sei.end());
    b.insert(b.end(), cc.begin(), cc.end());
    b.push_back(0x80); // rbsp trailing bits
    const Bytes slice = {0, 0, 1, 0x65, 0x88, 0x84};
    b.insert(b.end(), slice.begin(), slice.end());
    return b;
}

TEST(CaptionPairs, H264SeiCarriesAtscPairsAndSkipsTheRest) {
    // A 608 pair of field 1, a DTVCC (708) one, one not valid, and one of field 2.
    CaptionReader reader(VideoCoding::H264);
    reader.feed(
        h264AccessUnit(ccData(
            {{0xFC, 0x94, 0x20}, {0xFE, 0x41, 0x42}, {0xF8, 0x43, 0x44}, {0xFD, 0x15, 0x2C}})),
        5000);
    reader.feed(h264AccessUnit(ccData({{0xFC, 0xC1, 0xC2}})), std::nullopt);
    reader.finish();
    EXPECT_EQ(reader.takePairs(), (std::vector<CaptionPair>{{5000, 1, 0x94, 0x20},
                                                            {5000, 2, 0x15, 0x2C},
                                                            {5000 + kNtscFrame, 1, 0xC1, 0xC2}}));
    EXPECT_EQ(describe(reader.channels(), {}),
              ReportLines{"   Closed captions: CC1, CC3 (line 21, fields 1 and 2)"});
}

TEST(CaptionPairs, BlocksCutShortGiveTheirWholePairsOnly) {
    // A DVD block that claims 31 blocks and has one field and a half; cc_data that claims
    // 31 triples and has one; user data longer than any caption block.
    const Bytes dvd = {0,    0,    1,    0xB8, 0,    8,    0,    0,    0, 0, 1, 0xB2, 'C', 'C',
                       0x01, 0xF8, 0xBE, 0xFF, 0x94, 0x2C, 0xFE, 0x15, 0, 0, 1, 0x00, 0,   0x08};
    Bytes atsc = {0, 0, 1, 0xB2, 'G', 'A', '9', '4', 0x03, 0x5F, 0xFF, 0xFC, 0x94, 0x2F};
    Bytes longUnit = {0, 0, 1, 0xB2, 'G', 'A', '9', '4', 0x03, 0x41, 0xFF, 0xFC, 0x94, 0x20};
    longUnit.resize(longUnit.size() + 10000, 0xFF);
    CaptionReader reader(VideoCoding::Mpeg2);
    reader.feed(dvd, 900);
    reader.feed(atsc, std::nullopt);
    reader.feed(longUnit, std::nullopt);
    reader.feed(Bytes{0, 0, 1, 0xB7}, std::nullopt);
    reader.finish();
    EXPECT_EQ(reader.takePairs(),
              (std::vector<CaptionPair>{{900, 1, 0x94, 0x2C}, {900, 1, 0x94, 0x2F}}));
    EXPECT_EQ(describe(reader.channels(), {}),
              ReportLines{"   Closed captions: CC1 (line 21, field 1)"});
    EXPECT_TRUE(describe(CaptionChannels{}, {}).empty());
}

} // namespace
} // namespace qf::test
