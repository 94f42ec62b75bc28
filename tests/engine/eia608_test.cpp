// The line-21 decoder: the rules of the caption commands on small scripts, and whole
// pop-on, roll-up and paint-on captions against ffmpeg's reading of the same stream.
#include "engine/eia608.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "analysers/captions.h"
#include "jobs/srt.h"
#include "support/ffmpeg.h"
#include "support/line21_media.h"

namespace qf {
// Cues print in frames.
inline void PrintTo(const CaptionCue& c, std::ostream* os) {
    *os << "{" << c.start / 3003 << ", " << c.end / 3003 << ", \"" << c.text << "\"}";
}
} // namespace qf

namespace qf::test {
namespace {

using Cues = std::vector<CaptionCue>;

// Feeds every frame's two pairs, frame i at i frames, and ends the screens after them.
Line21Decoder decoded(const std::vector<Line21Frame>& frames) {
    Line21Decoder d;
    int64_t t = 0;
    for (const Line21Frame& f : frames) {
        d.feed(1, f.field1[0], f.field1[1], t);
        d.feed(2, f.field2[0], f.field2[1], t);
        t += kNtscFrame;
    }
    d.finish(t);
    return d;
}

CaptionCue cue(int startFrame, int endFrame, std::string text) {
    return {startFrame * kNtscFrame, endFrame * kNtscFrame, std::move(text)};
}

struct RuleCase {
    const char* name;
    Line21Script script;
    int channel;
    Cues cues;
};

Line21Script popOn(const std::string& text) {
    Line21Script s;
    s.control(0x20).pac(15, 0).text(text);
    return s;
}

std::vector<RuleCase> ruleCases() {
    std::vector<RuleCase> cases;
    {
        // RCL RCL, PAC PAC, "ab", BS BS, "c": frames 0-6; EOC at 7; EDM at 20
        Line21Script s = popOn("ab");
        s.control(0x21).text("c").control(0x2F).at(20).control(0x2C);
        cases.push_back({"BackspaceRemovesTheLastCharacter", s, 1, {cue(8, 20, "ac")}});
    }
    {
        // EOC twice in a row is one EOC; sent again after a text pair it is a second one,
        // which shows what was loaded meanwhile.
        Line21Script s = popOn("x");
        s.control(0x2F).text("y").raw(0x14, 0x2F, false).at(20).control(0x2C);
        cases.push_back(
            {"RepeatedControlCodeIsIgnoredOnce", s, 1, {cue(5, 8, "x"), cue(8, 20, "y")}});
    }
    {
        // The second character has even parity and is dropped; a control code with a
        // parity error (0x14 0x2F with bit 7 of the second byte flipped) is not acted on.
        Line21Script s = popOn("");
        s.raw(withOddParity(0x41), withOddParity(0x42) ^ 0x80, false, false);
        s.raw(withOddParity(0x14), withOddParity(0x2F) ^ 0x80, false, false);
        s.control(0x2F).at(20).control(0x2C);
        cases.push_back({"ParityErrorsDropTheirByte", s, 1, {cue(6, 20, "A")}});
    }
    {
        // Channel 2 of field 1 is CC2; what field 1's channel 1 had stays in CC1.
        Line21Script s;
        s.field(1, 2).control(0x20).pac(15, 0).text("two").control(0x2F).at(20).control(0x2C);
        cases.push_back({"SecondDataChannelIsCc2", s, 2, {cue(6, 20, "two")}});
    }
    {
        // Channel 2 of field 2 is CC4.
        Line21Script s;
        s.field(2, 2).control(0x20).pac(1, 0).text("four").control(0x2F).at(20).control(0x2C);
        cases.push_back({"SecondDataChannelOfField2IsCc4", s, 4, {cue(6, 20, "four")}});
    }
    {
        // Field 2 carries CC3; an extended data packet between its captions is no text.
        Line21Script s;
        s.field(2, 1).control(0x20).pac(15, 0).text("three");
        s.raw(0x01, 0x03, false).text("XDS").raw(0x0F, 0x1D, false);
        s.control(0x2F).at(30).control(0x2C);
        cases.push_back({"ExtendedDataIsNotCaptionText", s, 3, {cue(11, 30, "three")}});
    }
    {
        // The text service (TR) shares the channel's codes and shows nothing.
        Line21Script s;
        s.control(0x2A).text("text mode").control(0x29).pac(15, 0).text("cap").at(20).control(0x2C);
        cases.push_back({"TextServiceIsNotShown", s, 1, {cue(0, 20, "cap")}});
    }
    {
        // Roll-up: a preamble to row 5 moves the base row with the rows above it and puts
        // the cursor at its indent; ENM
        // erases what was loaded for a pop-on caption.
        Line21Script s;
        s.control(0x25).text("one").control(0x2D).text("two").pac(5, 0).text("!");
        s.control(0x20).text("hidden").control(0x2E).control(0x2F).at(40).control(0x2C);
        cases.push_back(
            {"RollUpBaseRowMovesAndEnmErases", s, 1, {cue(0, 4, "one"), cue(4, 18, "one\n!wo")}});
    }
    {
        // Roll-up from four rows to two: the rows above the window go at once, which ends
        // the screen that had them.
        Line21Script s;
        s.control(0x27).text("a").control(0x2D).text("b").control(0x2D).text("c");
        s.control(0x25).control(0x2D).at(30).control(0x2C);
        cases.push_back({"FewerRollUpRowsEraseTheRowsAbove",
                         s,
                         1,
                         {cue(0, 3, "a"), cue(3, 6, "a\nb"), cue(6, 9, "a\nb\nc"),
                          cue(9, 11, "b\nc"), cue(11, 30, "c")}});
    }
    {
        // Paint-on: the 32nd column takes every later letter; delete to end of row from
        // the cursor on.
        Line21Script s;
        s.control(0x29).pac(15, 28).text("abcdefg").pac(14, 0).text("gone").pac(14, 0).tab(1);
        s.control(0x24).at(30).control(0x2C);
        cases.push_back({"DeleteToEndOfRowAndTheLastColumn", s, 1, {cue(0, 30, "g\nabcg")}});
    }
    return cases;
}

TEST(Line21Rules, EachCaseGivesItsCues) {
    for (RuleCase& c : ruleCases()) {
        const Line21Decoder d = decoded(c.script.frames(5));
        EXPECT_EQ(d.cues(c.channel), c.cues) << c.name;
        for (int other = 1; other <= 4; ++other)
            if (other != c.channel) {
                EXPECT_TRUE(d.cues(other).empty()) << c.name << " CC" << other;
            }
    }
}

TEST(Line21Rules, SrtNumbersCuesAndWritesMilliseconds) {
    const Cues cues = {{45045, 90090, "<i>one</i>\ntwo"}, {324000000 + 90, 324000000 + 180, "x"}};
    EXPECT_EQ(srtText(cues), "1\n00:00:00,501 --> 00:00:01,001\n<i>one</i>\ntwo\n\n"
                             "2\n01:00:00,001 --> 01:00:00,002\nx\n\n");
    EXPECT_EQ(srtTime(-5), "00:00:00,000");
}

// ffmpeg reads field 1's first data channel: CC3 is judged against the same captions
// sent as CC1.
struct FfmpegCase {
    const char* name;
    int field, dataChannel, channel;
};

class Line21Ffmpeg : public ::testing::TestWithParam<Line21Carriage> {};

TEST_P(Line21Ffmpeg, CuesEqualFfmpegsWithinAFrame) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const Line21Carriage how = GetParam();
    const std::string tag = how == Line21Carriage::DvdGop ? "dvd" : "atsc";
    const std::string cc1 = line21Stream(tag + "_cc1", line21Showcase(1, 1).frames(30), how);
    const std::vector<SrtCue> truthCc1 = parseSrt(ffmpegSrt(cc1));
    ASSERT_GE(truthCc1.size(), 8u) << "ffmpeg found too few captions in " << cc1;
    for (const FfmpegCase& c : {FfmpegCase{"CC1", 1, 1, 1}, FfmpegCase{"CC3", 2, 1, 3}}) {
        const std::string path =
            c.channel == 1 ? cc1
                           : line21Stream(tag + "_" + c.name,
                                          line21Showcase(c.field, c.dataChannel).frames(30), how);
        const std::vector<SrtCue> truth = c.field == 2 ? truthCc1 : parseSrt(ffmpegSrt(path));
        const std::vector<CaptionPair> pairs = readPairs(fileBytes(path), 2048);
        ASSERT_FALSE(pairs.empty());
        const Line21Decoder d = decodeLine21(pairs, pairs.back().time + kNtscFrame);
        const std::vector<SrtCue> ours = parseSrt(srtText(d.cues(c.channel)));
        ASSERT_EQ(ours.size(), truth.size()) << c.name << "\n" << srtText(d.cues(c.channel));
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i].text, truth[i].text) << c.name << " cue " << i + 1;
            // within a frame (33.4 ms), in whole milliseconds
            EXPECT_LE(std::abs(ours[i].startMs - truth[i].startMs), 34)
                << c.name << " cue " << i + 1;
            EXPECT_LE(std::abs(ours[i].endMs - truth[i].endMs), 34) << c.name << " cue " << i + 1;
        }
        for (int other = 1; other <= 4; ++other)
            if (other != c.channel) {
                EXPECT_TRUE(d.cues(other).empty()) << c.name << " CC" << other;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, Line21Ffmpeg,
                         ::testing::Values(Line21Carriage::DvdGop, Line21Carriage::AtscPicture),
                         [](const auto& param) {
                             return param.param == Line21Carriage::DvdGop ? "DvdGop" : "Atsc";
                         });

} // namespace
} // namespace qf::test
