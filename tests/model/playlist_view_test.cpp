// A playlist reading on the window: the XPL page's tree and text view, the stream boxes
// of the listed title, the buttons, and the window after a reading that failed. What a
// reading logs, lists and marks: tests/playlist/playlist_test.cpp.
#include "model/playlist_view.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "model/session.h"
#include "model/window.h"
#include "support/playlist_data.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

// The tree as an indented outline, one node a line.
std::string outline(const std::vector<TreeNode>& nodes, int depth = 0) {
    std::string s;
    for (const auto& n : nodes)
        s += std::string(static_cast<size_t>(depth) * 2, ' ') + n.text + "\n" +
             outline(n.children, depth + 1);
    return s;
}

const std::string kInitialTree = "Video\nAudio\nSubpicture\nChapter\n";
const std::string kFeatureTree = "Info\n  Title: Harbour Lights\n  Name: Harbour Lights [Feature]\n"
                                 "  Duration: 01:42:10:00\nVideo\n  VC-1.stream.0\nAudio\n"
                                 "  DD+.6ch.stream.00.English\n"
                                 "  MLP.8ch.stream.01.English [Lossless]\n"
                                 "  DTS-HD.stream.02.Director/Commentary\nSubtitle\n"
                                 "  2bitRLE.stream.00.English\n  8bitRLE.stream.16.Deutsch\n"
                                 "  2bitRLE.stream.19.Japanese\nChapter\n  00:00:00:00: Opening\n"
                                 "  00:12:30:00: \n  00:47:05:12: The Storm\n";

class PlaylistView : public ::testing::Test {
protected:
    RecordingHost host;
    Session ctx{host};

    // The window after a reading that ended normally.
    void expectFinished() {
        EXPECT_TRUE(ctx.ui.mXPLVisible);
        EXPECT_TRUE(ctx.ui.bReadXPL);
        EXPECT_EQ(ctx.ui.page, 4);
        EXPECT_EQ(ctx.ui.status, (std::array<std::string, 2>{"Ready", ""}));
    }
};

TEST_F(PlaylistView, TheListedTitleFillsTreeTextViewAndBoxes) {
    ReadPlaylist(ctx, ctx.ui, kDisc, "/disc/HVDVD_TS/FEATURE_1.EVO");
    EXPECT_EQ(ctx.ui.mXPL, kFeatureTitle);
    EXPECT_EQ(outline(ctx.ui.tvXPL), kFeatureTree);
    for (const TreeNode& root : ctx.ui.tvXPL) EXPECT_TRUE(root.expanded) << root.text;
    expectFinished();
    const auto& ui = ctx.ui;
    EXPECT_TRUE(ui.cbVideo[0].enabled && ui.cbVideo[0].checked);
    EXPECT_EQ(ui.cbVideo[0].caption, "VC-1.stream.0");
    for (size_t i = 1; i < 8; ++i) EXPECT_FALSE(ui.cbVideo[i].checked);
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
    // Subtitles past the sixteenth box have none.
    EXPECT_TRUE(ui.cbSub[0].checked);
    EXPECT_EQ(ui.cbSub[0].caption, "2bitRLE.stream.00.English");
    EXPECT_EQ(ui.cbSub[0].hint, "2bitRLE.stream.00.English");
    for (size_t i = 1; i < 16; ++i) {
        EXPECT_FALSE(ui.cbSub[i].enabled || ui.cbSub[i].checked) << i;
        EXPECT_EQ(ui.cbSub[i].caption, "No subpicture");
        EXPECT_EQ(ui.cbSub[i].hint, "Check the desired subpicture streams");
    }
    EXPECT_TRUE(ui.bDemux);
    EXPECT_TRUE(ui.bRebuild); // an .EVO source
}

// Readings one after the other: the tree each leaves. A reading that lists no title keeps
// the tree and the boxes of the one before.
TEST_F(PlaylistView, TreesOfReadings) {
    TempDir dir;
    std::ofstream(dir / "p.XPL") << "<Playlist displayName=\"First\"><PlaylistApplication "
                                    "displayName=\"Second\"/><Title displayName=\"T\">"
                                    "<PrimaryAudioVideoClip src=\"X.MAP\"/><Video track=\"1\" "
                                    "mediaAttr=\"1\"/></Title></Playlist>";
    const struct {
        std::string playlist, source, tree;
        bool subTicked, rebuild;
    } readings[] = {
        {kDisc, "/disc/HVDVD_TS/TRAILER.EVO",
         "Info\n  Title: Harbour Lights\n  Name: Trailer\n  Duration: 00:02:10:00\nVideo\n"
         "  VC-1.stream.0\nAudio\n  DD+.6ch.stream.00.English\nSubtitle\nChapter\n",
         false, true},
        // A .VOB source leaves "Rebuild" as it was (off here).
        {kDisc, "/disc/BONUS.VOB",
         "Info\n  Title: Harbour Lights\n  Name: Making Of\n  Duration: 00:20:00:00\nVideo\n"
         "  MPEG-2.stream.0\nAudio\n  DD+.6ch.stream.00.English\nSubtitle\nChapter\n"
         "  00:00:00:00: Making Of\n",
         false, false},
        {kDisc, "/disc/HVDVD_TS/FEATURE_1.EVO", kFeatureTree, true, true},
        {kDisc, "/disc/HVDVD_TS/UNLISTED.EVO", kFeatureTree, true, false}, // buttons as they were
        // VC-1 and 8bitRLE come from the earlier playlist; track 2 has no box.
        {kOdd, "/disc/HVDVD_TS/ODD.EVO",
         "Info\n  Title: Oddities\n  Name: Odd\n  Duration: 00:01:00:00\nVideo\n  VC-1.stream.1\n"
         "Audio\n  LPCM.stream.15.Last\nSubtitle\n  8bitRLE.stream.31.Top\nChapter\n",
         false, true},
        {dir / "p.XPL", "X.EVO",
         "Info\n  Title: Second\n  Name: T\n  Duration: \nVideo\n  VC-1.stream.0\nAudio\n"
         "Subtitle\nChapter\n",
         false, true},
    };
    for (const auto& r : readings) {
        SCOPED_TRACE(r.source);
        ctx.ui.bRebuild = false;
        const std::array<CheckBox, 16> audioBefore = ctx.ui.cbAudio;
        ReadPlaylist(ctx, ctx.ui, r.playlist, r.source);
        EXPECT_EQ(outline(ctx.ui.tvXPL), r.tree);
        EXPECT_EQ(ctx.ui.cbSub[0].checked, r.subTicked);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_EQ(ctx.ui.bRebuild, r.rebuild);
        expectFinished();
        if (r.source.find("UNLISTED") != std::string::npos) {
            EXPECT_EQ(ctx.ui.mXPL, wholeDisc());
            for (size_t i = 0; i < 16; ++i) {
                EXPECT_EQ(ctx.ui.cbAudio[i].caption, audioBefore[i].caption);
                EXPECT_EQ(ctx.ui.cbAudio[i].checked, audioBefore[i].checked);
            }
        }
    }
}

TEST_F(PlaylistView, OddPlaylistBoxes) {
    ReadPlaylist(ctx, ctx.ui, kDisc);
    EXPECT_EQ(outline(ctx.ui.tvXPL), kInitialTree) << "no source: the initial tree";
    ReadPlaylist(ctx, ctx.ui, kOdd, "/disc/HVDVD_TS/ODD.EVO");
    EXPECT_FALSE(ctx.ui.cbVideo[0].checked || ctx.ui.cbVideo[1].checked); // track 2 has no box
    EXPECT_TRUE(ctx.ui.cbAudio[15].checked);
    EXPECT_EQ(ctx.ui.cbAudio[15].caption, "LPCM.stream.15.Last");
    EXPECT_FALSE(ctx.ui.cbAudio[4].enabled);
    for (const auto& b : ctx.ui.cbSub) EXPECT_FALSE(b.checked);
}

TEST_F(PlaylistView, FreshAttributeTablesGiveBareNames) {
    ReadPlaylist(ctx, ctx.ui, kOdd, "/disc/HVDVD_TS/ODD.EVO");
    EXPECT_EQ(ctx.ui.tvXPL[1].children.at(0).text, ".stream.1");
    EXPECT_EQ(ctx.ui.tvXPL[3].children.at(0).text, ".stream.31.Top");
}

TEST_F(PlaylistView, TitleIsFoundAfterAReadJoinedBothPartsInTheBaseName) {
    ctx.ui.eEVOfile = "/disc/HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx.ui);
    ctx.ui.BaseName = "FEATURE_1_FEATURE_2"; // as a Read job that went on to FEATURE_2 leaves it
    ReadPlaylist(ctx, ctx.ui, kDisc);
    EXPECT_EQ(ctx.ui.mXPL, kFeatureTitle);
    EXPECT_EQ(outline(ctx.ui.tvXPL), kFeatureTree);
}

// After an error the window shows what was read, "Read XPL" is on when there is a file to
// read, and the source is closed.
TEST_F(PlaylistView, ErrorRestoresTheWindow) {
    TempDir dir;
    std::ofstream(dir / "bad.XPL") << "<Playlist><VideoAttributeItem index=\"one\"/></Playlist>";
    const struct {
        std::string playlist;
        bool readable;
    } cases[] = {{dir / "bad.XPL", true}, {"/nonexistent/ADV_OBJ/VPLST000.XPL", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.playlist);
        ctx.ui.eXPLfile = c.playlist;
        XPLadj(ctx.ui);
        EXPECT_THROW(bReadXPLClick(ctx, ctx.ui), Error);
        EXPECT_TRUE(ctx.ui.mXPLVisible);
        EXPECT_EQ(ctx.ui.bReadXPL, c.readable);
        EXPECT_EQ(ctx.io.SourceStream, nullptr);
        if (c.readable) {
            EXPECT_EQ(ctx.ui.page, 4);
        }
    }
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/nonexistent/HVDVD_TS/");
}

TEST_F(PlaylistView, DoesNothingWhileAPassOwnsTheSource) {
    ctx.busy = true;
    ctx.ui.eXPLfile = kDisc;
    bReadXPLClick(ctx, ctx.ui);
    EXPECT_TRUE(host.lines.empty());
    EXPECT_TRUE(ctx.ui.mXPL.empty());
}

} // namespace
} // namespace qf::test
