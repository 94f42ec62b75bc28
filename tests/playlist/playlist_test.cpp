#include "playlist/playlist.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/stream.h"
#include "jobs/runner.h"
#include "model/playlist_view.h"
#include "model/session.h"
#include "model/window.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf {
namespace {

using Lines = std::vector<std::string>;

const std::string kData = std::string(QUILLFEN_TEST_DATA) + "/playlist/";
const std::string kDisc = kData + "VPLST000.XPL";
const std::string kOdd = kData + "ODDITIES.XPL";

int64_t fileSize(const std::string& path) {
    return FileStream(path, FileStream::Mode::Read).size();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The tree as an indented outline, one node a line.
std::string outline(const std::vector<TreeNode>& nodes, int depth = 0) {
    std::string s;
    for (const auto& n : nodes)
        s += std::string(static_cast<size_t>(depth) * 2, ' ') + n.text + "\n" +
             outline(n.children, depth + 1);
    return s;
}

std::string lines(const Lines& l) {
    std::string s;
    for (const auto& x : l) s += x + "\n";
    return s;
}

// The feature title of VPLST000.XPL as the text view keeps it.
const Lines kFeatureTitle = {
    R"(      <Title id="Feature" titleNumber="1" displayName="Harbour Lights [Feature]" titleDuration="01:42:10:00">)",
    R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="01:42:10:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">)",
    R"(          <Video track="1" mediaAttr="1"/>)",
    R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
    R"(          <Audio track="2" streamNumber="2" mediaAttr="2" langcode="en:00" description="English [Lossless]"/>)",
    R"(          <Audio track="3" streamNumber="3" mediaAttr="3" langcode="fr:00" description="Director/Commentary"/>)",
    R"(          <Subtitle track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
    R"(          <Subtitle track="2" streamNumber="17" mediaAttr="2" langcode="de:00" description="Deutsch"/>)",
    R"(          <Subtitle track="3" streamNumber="20" mediaAttr="1" langcode="ja:00" description="Japanese"/>)",
    R"(        </PrimaryAudioVideoClip>)",
    R"(        <ChapterList>)",
    R"(          <Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>)",
    R"(          <Chapter titleTimeBegin="00:12:30:00"/>)",
    R"(          <Chapter titleTimeBegin="00:47:05:12" displayName="The Storm"/>)",
    R"(        </ChapterList>)",
    R"(      </Title>)",
};

Lines wholeDisc() {
    Lines l = {
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        R"(<!DOCTYPE Playlist>)",
        R"(  <!-- Harbour Lights disc: the feature and two extras -->)",
        R"(  <Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Harbour Lights">)",
        R"(    <Configuration>)",
        R"(      <StreamingBuffer size="0"/>)",
        R"(      <Aperture name="1920x1080"/>)",
        R"(    </Configuration>)",
        R"(    <MediaAttributeList>)",
        R"(      <VideoAttributeItem index="1" codec="VC-1" sampleAspectRatio="16:9" horizontalResolution="1920" verticalResolution="1080" encodedFrameRate="24" sourceFrameRate="24"/>)",
        R"(      <VideoAttributeItem index="2" codec="MPEG-2" sampleAspectRatio="4:3" horizontalResolution="720" verticalResolution="480"/>)",
        R"(      <AudioAttributeItem index="1" codec="DD+" sampleFrequency="48" channels="6" bitrate="640"/>)",
        R"(      <AudioAttributeItem index="2" codec="MLP" sampleFrequency="48" channels="8">)",
        R"(      </AudioAttributeItem>)",
        R"(      <AudioAttributeItem index="3" codec="DTS-HD" sampleFrequency="48"/>)",
        R"(      <SubpictureAttributeItem index="1" codec="2bitRLE"/>)",
        R"(      <SubpictureAttributeItem index="2" codec="8bitRLE"/>)",
        R"(    </MediaAttributeList>)",
        R"(    <TitleSet timeBase="60fps" defaultLanguage="en">)",
        R"(      <!-- the feature; its chapters follow the clip -->)",
    };
    l.insert(l.end(), kFeatureTitle.begin(), kFeatureTitle.end());
    const Lines rest = {
        R"(      <Title id="Bonus" titleNumber="2" displayName="Making Of" titleDuration="00:20:00:00">)",
        R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="00:20:00:00" src="file:///dvddisc/HVDVD_TS/BONUS.MAP">)",
        R"(          <Video track="1" mediaAttr="2"/>)",
        R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
        R"(        </PrimaryAudioVideoClip>)",
        R"(        <ChapterList>)",
        R"(          <Chapter titleTimeBegin="00:00:00:00" displayName="Making Of"/>)",
        R"(        </ChapterList>)",
        R"(      </Title>)",
        R"(      <Title id="Trailer" titleNumber="3" displayName="Trailer" titleDuration="00:02:10:00">)",
        R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="00:02:10:00" src="file:///dvddisc/HVDVD_TS/TRAILER.MAP">)",
        R"(          <Video track="1" mediaAttr="1"/>)",
        R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
        R"(        </PrimaryAudioVideoClip>)",
        R"(      </Title>)",
        R"(    </TitleSet>)",
        R"(  </Playlist>)",
    };
    l.insert(l.end(), rest.begin(), rest.end());
    return l;
}

class PlaylistReader : public ::testing::Test {
protected:
    test::RecordingHost host;
    Session ctx{host};

    void expectSlots(const std::vector<size_t>& video, const std::vector<size_t>& audio,
                     const std::vector<size_t>& sub) {
        auto check = [](const auto& slots, const std::vector<size_t>& marked, const char* what) {
            for (size_t i = 0; i < slots.size(); ++i) {
                bool listed = std::find(marked.begin(), marked.end(), i) != marked.end();
                EXPECT_EQ(slots[i], listed ? 1 : -1) << what << " slot " << i;
            }
        };
        check(ctx.cat.VideoSlots, video, "video");
        check(ctx.cat.AudioSlots, audio, "audio");
        check(ctx.cat.SubSlots, sub, "subpicture");
    }

    // The model after a reading that ended normally.
    void expectFinished() {
        EXPECT_TRUE(ctx.ui.mXPLVisible);
        EXPECT_TRUE(ctx.ui.bReadXPL);
        EXPECT_EQ(ctx.ui.page, 4);
        EXPECT_EQ(ctx.io.SourceStream, nullptr);
        EXPECT_EQ(ctx.ui.status[0], "Ready");
        EXPECT_EQ(ctx.ui.status[1], "");
    }
};

TEST_F(PlaylistReader, FeatureTitleIsListedMarkedAndTicked) {
    const int64_t size = fileSize(kDisc);
    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/HVDVD_TS/FEATURE_1.EVO");

    EXPECT_EQ(lines(ctx.ui.mXPL), lines(kFeatureTitle));
    EXPECT_EQ(outline(ctx.ui.tvXPL), "Info\n"
                                     "  Title: Harbour Lights\n"
                                     "  Name: Harbour Lights [Feature]\n"
                                     "  Duration: 01:42:10:00\n"
                                     "Video\n"
                                     "  VC-1.stream.0\n"
                                     "Audio\n"
                                     "  DD+.6ch.stream.00.English\n"
                                     "  MLP.8ch.stream.01.English [Lossless]\n"
                                     "  DTS-HD.stream.02.Director/Commentary\n"
                                     "Subtitle\n"
                                     "  2bitRLE.stream.00.English\n"
                                     "  8bitRLE.stream.16.Deutsch\n"
                                     "  2bitRLE.stream.19.Japanese\n"
                                     "Chapter\n"
                                     "  00:00:00:00: Opening\n"
                                     "  00:12:30:00: \n"
                                     "  00:47:05:12: The Storm\n");
    for (const TreeNode& root : ctx.ui.tvXPL) EXPECT_TRUE(root.expanded) << root.text;
    EXPECT_EQ(host.plainLog(), "Open VPLST000.XPL\n"
                               "Filesize: " +
                                   std::to_string(size) +
                                   " bytes\n"
                                   "VC-1.stream.0 found!\n"
                                   "DD+.6ch.stream.00.English found!\n"
                                   "MLP.8ch.stream.01.English [Lossless] found!\n"
                                   "DTS-HD.stream.02.Director/Commentary found!\n"
                                   "2bitRLE.stream.00.English found!\n"
                                   "8bitRLE.stream.16.Deutsch found!\n"
                                   "2bitRLE.stream.19.Japanese found!\n"
                                   "Done.\n"
                                   "\n");
    // Brackets from the playlist are carried literally, never taken as markup.
    EXPECT_EQ(host.lines[4], "MLP.8ch.stream.01.English \x01Lossless\x02 found!");
    EXPECT_EQ(host.status1,
              Lines({std::to_string(size) + "/" + std::to_string(size) + " bytes", ""}));
    expectFinished();

    expectSlots({0}, {0, 1, 2}, {0, 16, 19});
    const auto& ui = ctx.ui;
    EXPECT_TRUE(ui.cbVideo[0].enabled && ui.cbVideo[0].checked);
    EXPECT_EQ(ui.cbVideo[0].caption, "VC-1.stream.0");
    const Lines audio = {"DD+.6ch.stream.00.English", "MLP.8ch.stream.01.English [Lossless]",
                         "DTS-HD.stream.02.Director/Commentary"};
    for (size_t i = 0; i < 16; ++i) {
        const bool on = i < audio.size();
        EXPECT_EQ(ui.cbAudio[i].enabled, on) << i;
        EXPECT_EQ(ui.cbAudio[i].checked, on) << i;
        EXPECT_EQ(ui.cbAudio[i].caption, on ? audio[i] : "No audio stream") << i;
        if (on) {
            EXPECT_EQ(ui.cbAudio[i].hint, audio[i]);
        }
    }
    EXPECT_TRUE(ui.cbSub[0].checked);
    EXPECT_EQ(ui.cbSub[0].caption, "2bitRLE.stream.00.English");
    EXPECT_EQ(ui.cbSub[0].hint, "2bitRLE.stream.00.English");
    for (size_t i = 1; i < 16; ++i) {
        EXPECT_FALSE(ui.cbSub[i].enabled || ui.cbSub[i].checked) << i;
        EXPECT_EQ(ui.cbSub[i].caption, "No subpicture");
        EXPECT_EQ(ui.cbSub[i].hint, "Check the desired subpicture streams");
    }
    for (size_t i = 1; i < 8; ++i) EXPECT_FALSE(ui.cbVideo[i].checked);
    EXPECT_TRUE(ui.bDemux);
    EXPECT_TRUE(ui.bRebuild); // an .EVO source
    EXPECT_EQ(ctx.AudioAttrs[2], "MLP.8ch");
    EXPECT_EQ(ctx.AudioAttrs[3], "DTS-HD"); // no channels attribute
}

// The model of the title each source plays, as VPLST000.XPL writes it: one text per
// stream "kind track language description codec", per chapter "start name seconds".
TEST_F(PlaylistReader, ModelHoldsTheTitleOfTheSource) {
    const struct {
        const char* source;
        const char* id;
        const char* name;
        const char* duration;
        Lines clips, streams, chapters;
    } cases[] = {
        {"/disc/HVDVD_TS/FEATURE_1.EVO",
         "Feature",
         "Harbour Lights [Feature]",
         "01:42:10:00",
         {"FEATURE_1.EVO"},
         {"V 1 - - VC-1", "A 1 en English DD+.6ch", "A 2 en English [Lossless] MLP.8ch",
          "A 3 fr Director/Commentary DTS-HD", "S 1 en English 2bitRLE", "S 17 de Deutsch 8bitRLE",
          "S 20 ja Japanese 2bitRLE"},
         // Frames at 24000/1001 per second: no title time base, no video read.
         {"00:00:00:00 Opening 0.00", "00:12:30:00 - 750.00", "00:47:05:12 The Storm 2825.50"}},
        {"/disc/BONUS.VOB",
         "Bonus",
         "Making Of",
         "00:20:00:00",
         {"BONUS.EVO"},
         {"V 1 - - MPEG-2", "A 1 en English DD+.6ch"},
         {"00:00:00:00 Making Of 0.00"}},
        {"TRAILER.EVO",
         "Trailer",
         "Trailer",
         "00:02:10:00",
         {"TRAILER.EVO"},
         {"V 1 - - VC-1", "A 1 en English DD+.6ch"},
         {}},
    };
    const char kinds[] = {'V', 'A', 'S'};
    auto orDash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Playlist playlist = ReadPlaylist(ctx, ctx.ui, kDisc, c.source);
        EXPECT_EQ(playlist.title, "Harbour Lights");
        EXPECT_TRUE(playlist.listed);
        EXPECT_EQ(playlist.listing, ctx.ui.mXPL);
        EXPECT_EQ(playlist.audioAttrs[2], "MLP.8ch");
        ASSERT_EQ(playlist.titles.size(), 1u);
        const PlaylistTitle& t = playlist.titles[0];
        EXPECT_EQ(t.id, c.id);
        EXPECT_EQ(t.name, c.name);
        EXPECT_EQ(t.duration, c.duration);
        EXPECT_EQ(t.clips, c.clips);
        Lines streams, chapters;
        for (const PlaylistStream& s : t.streams)
            streams.push_back(std::string(1, kinds[static_cast<int>(s.kind)]) + " " +
                              std::to_string(s.track) + " " + orDash(s.language) + " " +
                              orDash(s.description) + " " + s.codec);
        for (const PlaylistChapter& ch : t.chapters) {
            char seconds[32] = "-";
            if (ch.seconds) std::snprintf(seconds, sizeof seconds, "%.2f", *ch.seconds);
            chapters.push_back(ch.start + " " + orDash(ch.name) + " " + seconds);
        }
        EXPECT_EQ(streams, c.streams);
        EXPECT_EQ(chapters, c.chapters);
    }
}

TEST_F(PlaylistReader, TitleIsChosenByTheSourceName) {
    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/HVDVD_TS/TRAILER.EVO");
    EXPECT_EQ(
        ctx.ui.mXPL.front(),
        R"(      <Title id="Trailer" titleNumber="3" displayName="Trailer" titleDuration="00:02:10:00">)");
    EXPECT_EQ(ctx.ui.mXPL.back(), "      </Title>");
    EXPECT_EQ(ctx.ui.mXPL.size(), 6u);
    EXPECT_EQ(outline(ctx.ui.tvXPL), "Info\n  Title: Harbour Lights\n  Name: Trailer\n"
                                     "  Duration: 00:02:10:00\nVideo\n  VC-1.stream.0\n"
                                     "Audio\n  DD+.6ch.stream.00.English\nSubtitle\nChapter\n");
    EXPECT_FALSE(ctx.ui.cbSub[0].checked);
    EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);

    // A second reading replaces the selection; a .VOB source leaves "Rebuild" alone.
    ctx.ui.bRebuild = false;
    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/BONUS.VOB");
    EXPECT_EQ(outline(ctx.ui.tvXPL), "Info\n  Title: Harbour Lights\n  Name: Making Of\n"
                                     "  Duration: 00:20:00:00\nVideo\n  MPEG-2.stream.0\n"
                                     "Audio\n  DD+.6ch.stream.00.English\nSubtitle\n"
                                     "Chapter\n  00:00:00:00: Making Of\n");
    EXPECT_EQ(ctx.ui.cbVideo[0].caption, "MPEG-2.stream.0");
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_FALSE(ctx.ui.bRebuild);
}

TEST_F(PlaylistReader, UnmentionedSourceKeepsWholeListingTreeAndSelection) {
    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/HVDVD_TS/FEATURE_1.EVO");
    const std::string featureTree = outline(ctx.ui.tvXPL);
    const std::array<CheckBox, 16> audioBoxes = ctx.ui.cbAudio;
    host.lines.clear();

    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/HVDVD_TS/UNLISTED.EVO");
    EXPECT_EQ(lines(ctx.ui.mXPL), lines(wholeDisc()));
    EXPECT_EQ(outline(ctx.ui.tvXPL), featureTree);
    expectSlots({0}, {0, 1, 2}, {0, 16, 19});
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(ctx.ui.cbAudio[i].caption, audioBoxes[i].caption);
        EXPECT_EQ(ctx.ui.cbAudio[i].checked, audioBoxes[i].checked);
    }
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_EQ(host.plainLog(), "Open VPLST000.XPL\nFilesize: " + std::to_string(fileSize(kDisc)) +
                                   " bytes\nNo title in the playlist plays UNLISTED\nDone.\n\n");
    expectFinished();
}

TEST_F(PlaylistReader, TitleIsFoundAfterAReadJoinedBothPartsInTheBaseName) {
    ctx.ui.eEVOfile = "/disc/HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx.ui);
    ctx.ui.BaseName = "FEATURE_1_FEATURE_2"; // as a Read job that went on to FEATURE_2 leaves it
    ReadPlaylist(ctx, ctx.ui, kDisc);
    EXPECT_EQ(lines(ctx.ui.mXPL), lines(kFeatureTitle));
    expectSlots({0}, {0, 1, 2}, {0, 16, 19});
}

TEST_F(PlaylistReader, NoSourceListsEverythingAndKeepsInitialTree) {
    ReadPlaylist(ctx, ctx.ui, kDisc);
    EXPECT_EQ(lines(ctx.ui.mXPL), lines(wholeDisc()));
    EXPECT_EQ(outline(ctx.ui.tvXPL), "Video\nAudio\nSubpicture\nChapter\n");
    // The attribute items were still collected.
    EXPECT_EQ(ctx.VideoAttrs[1], "VC-1");
    EXPECT_EQ(ctx.VideoAttrs[2], "MPEG-2");
    EXPECT_EQ(ctx.AudioAttrs[1], "DD+.6ch");
    EXPECT_EQ(ctx.SubAttrs[2], "8bitRLE");
}

TEST_F(PlaylistReader, OutOfRangeNumbersAreSkippedAndAttributesOutliveReadings) {
    ReadPlaylist(ctx, ctx.ui, kDisc);
    host.lines.clear();
    ReadPlaylist(ctx, ctx.ui, kOdd, "/disc/HVDVD_TS/ODD.EVO");

    EXPECT_EQ(host.plainLog(), "Open ODDITIES.XPL\nFilesize: " + std::to_string(fileSize(kOdd)) +
                                   " bytes\n"
                                   "VideoAttributeItem skipped: index 9 is out of range (1 to 8)\n"
                                   "VC-1.stream.1 found!\n"
                                   "Video skipped: track 17 is out of range (1 to 16)\n"
                                   "Audio skipped: streamNumber 0 is out of range (1 to 16)\n"
                                   "LPCM.stream.15.Last found!\n"
                                   "Audio skipped: mediaAttr 9 is out of range (1 to 8)\n"
                                   "8bitRLE.stream.31.Top found!\n"
                                   "Subtitle skipped: streamNumber 33 is out of range (1 to 32)\n"
                                   "Done.\n\n");
    // VC-1 and 8bitRLE come from the earlier playlist; LPCM is this one's index 4.
    EXPECT_EQ(outline(ctx.ui.tvXPL), "Info\n  Title: Oddities\n  Name: Odd\n"
                                     "  Duration: 00:01:00:00\nVideo\n  VC-1.stream.1\n"
                                     "Audio\n  LPCM.stream.15.Last\nSubtitle\n"
                                     "  8bitRLE.stream.31.Top\nChapter\n");
    expectSlots({1}, {15}, {31});
    EXPECT_FALSE(ctx.ui.cbVideo[0].checked || ctx.ui.cbVideo[1].checked); // track 2 has no box
    EXPECT_TRUE(ctx.ui.cbAudio[15].checked);
    EXPECT_EQ(ctx.ui.cbAudio[15].caption, "LPCM.stream.15.Last");
    EXPECT_FALSE(ctx.ui.cbAudio[4].enabled);
    for (const auto& b : ctx.ui.cbSub) EXPECT_FALSE(b.checked);
    EXPECT_EQ(ctx.AudioAttrs[1], "DD+.6ch");
}

TEST_F(PlaylistReader, FreshAttributeTablesGiveBareNames) {
    ReadPlaylist(ctx, ctx.ui, kOdd, "/disc/HVDVD_TS/ODD.EVO");
    EXPECT_EQ(ctx.ui.tvXPL[1].children.at(0).text, ".stream.1");
    EXPECT_EQ(ctx.ui.tvXPL[3].children.at(0).text, ".stream.31.Top");
}

TEST_F(PlaylistReader, ScannerIndentsByNestingAndFoldsLineBreaks) {
    test::TempDir dir;
    writeText(dir / "t.XPL", "<?xml version=\"1.0\"?>\n<a  x=\"1\" \r\n\t y=\"2\">text > more"
                             "<b\r\n\r\nz=\"3\"/><!--c--><c><?pi?></c>\t<d/></a><e>");
    ReadPlaylist(ctx, ctx.ui, dir / "t.XPL");
    EXPECT_EQ(lines(ctx.ui.mXPL), "<?xml version=\"1.0\"?>\n"
                                  "<a  x=\"1\"  y=\"2\">\n" // the blank after the tab stays
                                  "  \n" // a ">" between tags ends an empty tag line
                                  "  <b z=\"3\"/>\n"
                                  "  <!--c-->\n"
                                  "  <c>\n"
                                  "    <?pi?>\n"
                                  "  </c>\n"
                                  "  <d/>\n"
                                  "</a>\n"
                                  "<e>\n");
}

TEST_F(PlaylistReader, TagAcrossBlockBoundaryAndProgressPerBlock) {
    test::TempDir dir;
    std::string text = "<Playlist displayName=\"Big\">";
    text += "<!--" + std::string(kBlockSize - text.size() - 4 - 10, 'x') + "-->";
    text += "<Title displayName=\"Long\" titleDuration=\"00:00:01:00\">"; // crosses the block
    text += "<PrimaryAudioVideoClip src=\"LONG.MAP\"><Video track=\"1\" mediaAttr=\"1\"/>"
            "</PrimaryAudioVideoClip></Title></Playlist>";
    text += std::string(20000, ' ');
    writeText(dir / "big.XPL", text);
    ctx.VideoAttrs[1] = "H.264";
    ReadPlaylist(ctx, ctx.ui, dir / "big.XPL", "LONG.EVO");

    const std::string size = std::to_string(text.size());
    EXPECT_EQ(host.status1, Lines({std::to_string(kBlockSize) + "/" + size + " bytes",
                                   size + "/" + size + " bytes", ""}));
    EXPECT_EQ(lines(ctx.ui.mXPL), "  <Title displayName=\"Long\" titleDuration=\"00:00:01:00\">\n"
                                  "    <PrimaryAudioVideoClip src=\"LONG.MAP\">\n"
                                  "      <Video track=\"1\" mediaAttr=\"1\"/>\n"
                                  "    </PrimaryAudioVideoClip>\n"
                                  "  </Title>\n");
    EXPECT_EQ(ctx.ui.cbVideo[0].caption, "H.264.stream.0");
}

TEST_F(PlaylistReader, CommentsAndClosingTagsAreNotAttributeItems) {
    test::TempDir dir;
    writeText(dir / "c.XPL", "<Playlist><!-- AudioAttributeItem without an index -->"
                             "<AudioAttributeItem index=\"5\" codec=\"DD\"></AudioAttributeItem>"
                             "</Playlist>");
    ReadPlaylist(ctx, ctx.ui, dir / "c.XPL");
    EXPECT_EQ(ctx.AudioAttrs[5], "DD");
    EXPECT_EQ(host.plainLog().find("skipped"), std::string::npos);
}

TEST_F(PlaylistReader, PlaylistTitleKeepsLastDisplayName) {
    test::TempDir dir;
    writeText(dir / "p.XPL", "<Playlist displayName=\"First\"><PlaylistApplication displayName="
                             "\"Second\"/><Title displayName=\"T\"><PrimaryAudioVideoClip "
                             "src=\"X.MAP\"/><Video track=\"1\" mediaAttr=\"1\"/></Title>"
                             "</Playlist>");
    ReadPlaylist(ctx, ctx.ui, dir / "p.XPL", "X.EVO");
    EXPECT_EQ(ctx.ui.tvXPL[0].children.at(0).text, "Title: Second");
}

struct BrokenPlaylist {
    const char* text;
    const char* error;
};

class PlaylistErrors : public PlaylistReader,
                       public ::testing::WithParamInterface<BrokenPlaylist> {};

TEST_P(PlaylistErrors, ErrorRestoresTheWindow) {
    test::TempDir dir;
    writeText(dir / "bad.XPL", GetParam().text);
    ctx.ui.eXPLfile = dir / "bad.XPL";
    XPLadj(ctx.ui);
    try {
        bReadXPLClick(ctx, ctx.ui);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), GetParam().error);
    }
    EXPECT_TRUE(ctx.ui.mXPLVisible);
    EXPECT_TRUE(ctx.ui.bReadXPL);
    EXPECT_EQ(ctx.io.SourceStream, nullptr);
    EXPECT_EQ(ctx.ui.page, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Index, PlaylistErrors,
    ::testing::Values(
        BrokenPlaylist{"<Playlist><VideoAttributeItem index=\"one\" codec=\"VC-1\"/></Playlist>",
                       "'one' is not a valid integer value"},
        // An earlier item's index is not reused for one that has none.
        BrokenPlaylist{"<Playlist><AudioAttributeItem index=\"1\" codec=\"DD\"/>"
                       "<AudioAttributeItem codec=\"DTS\"/></Playlist>",
                       "'' is not a valid integer value"},
        BrokenPlaylist{"<SubpictureAttributeItem index=\"99999999999\"/>",
                       "'99999999999' is not a valid integer value"}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

TEST_F(PlaylistReader, MissingFileIsReportedAndWindowRestored) {
    ctx.ui.eXPLfile = "/nonexistent/ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx.ui);
    try {
        bReadXPLClick(ctx, ctx.ui);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(
            e.what(),
            "Cannot open file \"/nonexistent/ADV_OBJ/VPLST000.XPL\". No such file or directory");
    }
    EXPECT_TRUE(ctx.ui.mXPLVisible);
    EXPECT_FALSE(ctx.ui.bReadXPL); // no playlist there to read
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/nonexistent/HVDVD_TS/");
}

TEST_F(PlaylistReader, DoesNothingWhileAPassOwnsTheSource) {
    ctx.busy = true;
    ctx.ui.eXPLfile = kDisc;
    bReadXPLClick(ctx, ctx.ui);
    EXPECT_TRUE(host.lines.empty());
    EXPECT_TRUE(ctx.ui.mXPL.empty());
}

// A source that claims more bytes than it delivers.
class ShortStream : public Stream {
public:
    size_t read(void* buf, size_t n) override {
        if (given_) return 0;
        given_ = true;
        const size_t k = std::min<size_t>(n, 4);
        std::memcpy(buf, "<a/>", k);
        pos_ += static_cast<int64_t>(k);
        return k;
    }
    void write(const void*, size_t) override {}
    int64_t size() const override { return 100; }
    int64_t position() const override { return pos_; }
    void seek(int64_t p) override { pos_ = p; }

private:
    bool given_ = false;
    int64_t pos_ = 0;
};

TEST_F(PlaylistReader, StreamThatStopsEarlyIsAReadError) {
    ShortStream in;
    Lines listing;
    EXPECT_THROW(
        {
            try {
                ScanXPL(ctx, in, "short.XPL", listing);
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Stream read error");
                throw;
            }
        },
        Error);
    EXPECT_EQ(listing, Lines{"<a/>"});
}

// Inputs that are no playlist end the reading with one message; the rest produce at
// most about four times their size, however deep their tags nest.
TEST_F(PlaylistReader, HostileInputIsRefusedOrBounded) {
    test::TempDir dir;
    std::string deep = "<Playlist>", binary, binaryWithNul;
    for (int d = 0; d < 100; ++d) deep += "<Element" + std::to_string(d) + " about=\"nesting\">";
    for (int d = 100; d-- > 0;) deep += "</Element" + std::to_string(d) + ">";
    deep += "</Playlist>";
    uint32_t x = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
        x = x * 1103515245 + 12345;
        binaryWithNul += static_cast<char>(x >> 24);
        binary += static_cast<char>((x >> 24) % 255 + 1);
    }
    std::string nested;
    for (int i = 0; i < 40000; ++i) nested += "<a>";
    struct Case {
        const char* name;
        std::string text;
        bool refused;
    };
    const Case cases[] = {
        {"deep", deep, false},
        {"binary", binary, false},
        {"binary with NUL", binaryWithNul, true},
        {"NUL byte", std::string("<Playlist>\0</Playlist>", 22), true},
        {"nested", nested, true},
        {"endless tag", "<" + std::string(2 << 20, 'x'), true},
        {"over 16 MiB", std::string((16 << 20) + 1, ' '), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "hostile.XPL";
        writeText(path, c.text);
        ctx.ui.mXPL.clear();
        std::string error;
        try {
            ReadPlaylist(ctx, ctx.ui, path, "FEATURE_1.EVO");
        } catch (const Error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.refused ? "File \"" + path + "\" is not a playlist" : "");
        EXPECT_TRUE(ctx.ui.mXPLVisible && ctx.ui.bReadXPL && !ctx.io.SourceStream);
        if (c.refused) continue;
        size_t out = outline(ctx.ui.tvXPL).size(), indent = 0;
        for (const std::string& line : ctx.ui.mXPL) {
            out += line.size() + 1;
            indent = std::max(indent, std::min(line.find_first_not_of(' '), line.size()));
        }
        EXPECT_LE(out, 4 * c.text.size() + (64 << 10));
        EXPECT_LE(indent, 128u); // depth 64
    }
}

TEST(GetAttr, FindsNameAnywhereIgnoringCase) {
    std::string r = "kept";
    EXPECT_TRUE(GetAttr(R"(<Audio StreamNumber="3" x="y">)", "streamnumber", r));
    EXPECT_EQ(r, "3");
    // The first mention wins, even inside another value or name.
    EXPECT_EQ(GetAttr(R"(<Audio langtrack="en" track="2">)", "track"), "en");
    EXPECT_EQ(GetAttr(R"(<Title displayName="Mixed Case">)", "DISPLAYNAME"), "Mixed Case");
    // References are decoded; control characters and anything unknown stay as written.
    EXPECT_EQ(GetAttr(R"(<T n="Director&apos;s &amp; &lt;b&gt; &quot;&#233;&#x263A;&quot;">)", "n"),
              "Director's & <b> \"\u00e9\u263a\"");
    EXPECT_EQ(GetAttr(R"(<T n="&bogus; &#10; &#xD800; &#0; &amp">)", "n"),
              "&bogus; &#10; &#xD800; &#0; &amp");
}

TEST(GetAttr, AbsentLeavesResultUnchangedMalformedGivesEmpty) {
    std::string r = "kept";
    EXPECT_FALSE(GetAttr("<Chapter titleTimeBegin=\"0\"/>", "displayName", r));
    EXPECT_EQ(r, "kept");
    EXPECT_EQ(GetAttr("<Chapter titleTimeBegin=\"0\"/>", "displayName"), "");
    EXPECT_TRUE(GetAttr("<a name='single'>", "name", r));
    EXPECT_EQ(r, ""); // single quotes are not recognised
    EXPECT_EQ(GetAttr("<a name=\"open>", "name"), "");
    EXPECT_EQ(GetAttr("<a name \"v\">", "name"), "v"); // no "=": the quotes still count
    EXPECT_EQ(GetAttr("<a name=\"\" b=\"x\">", "name"), "");
}

TEST(GetAttr, LooksAtMost255CharactersAfterTheName) {
    const std::string pad(240, ' ');
    EXPECT_EQ(GetAttr("<a n=" + pad + "\"value\">", "n"), "value");
    EXPECT_EQ(GetAttr("<a n=" + pad + std::string(20, ' ') + "\"value\">", "n"), "");
    const std::string longValue(300, 'v');
    EXPECT_EQ(GetAttr("<a n=\"" + longValue + "\">", "n"), "");
    EXPECT_EQ(GetAttr("<a n=\"" + std::string(252, 'v') + "\">", "n"), std::string(252, 'v'));
    EXPECT_EQ(GetAttr("<a n=\"" + std::string(253, 'v') + "\">", "n"), ""); // closing quote cut off
}

TEST(GetAttrInt, DecimalOrZero) {
    EXPECT_EQ(GetAttrInt(R"(<Audio streamNumber="12">)", "streamNumber"), 12);
    EXPECT_EQ(GetAttrInt(R"(<x n="-3">)", "n"), -3);
    EXPECT_EQ(GetAttrInt(R"(<x n="+7">)", "n"), 7);
    EXPECT_EQ(GetAttrInt(R"(<x n="2147483647">)", "n"), 2147483647);
    EXPECT_EQ(GetAttrInt(R"(<x n="2147483648">)", "n"), 0);
    EXPECT_EQ(GetAttrInt(R"(<x n="1x">)", "n"), 0);
    EXPECT_EQ(GetAttrInt(R"(<x n=" 1">)", "n"), 0);
    EXPECT_EQ(GetAttrInt(R"(<x n="">)", "n"), 0);
    EXPECT_EQ(GetAttrInt(R"(<x m="4">)", "n"), 0);
}

} // namespace
} // namespace qf
