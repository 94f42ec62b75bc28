// The window's bookkeeping: path helpers, disc folders, drops, check boxes and Cancel.
#include "jobs/window.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>

#include "engine/context.h"
#include "engine/markup.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

TEST(PathHelpers, CutExtAndParts) {
    EXPECT_EQ(CutExt("VPLST000.XPL"), "VPLST000");
    EXPECT_EQ(CutExt("FEATURE"), "FEATURE");
    EXPECT_EQ(CutExt("a.b.EVO"), "a.b");
    EXPECT_EQ(CutExt("/disc.d/FEATURE"), "/disc.d/FEATURE"); // the dot is in a folder
    EXPECT_EQ(CutExt("/disc.d/F.EVO"), "/disc.d/F");
    EXPECT_EQ(CutExt("name."), "name");
    EXPECT_EQ(CutExt(""), "");

    EXPECT_EQ(folderPart("/d/HVDVD_TS/F.EVO"), "/d/HVDVD_TS/");
    EXPECT_EQ(namePart("/d/HVDVD_TS/F.EVO"), "F.EVO");
    EXPECT_EQ(folderPart("F.EVO"), "");
    EXPECT_EQ(namePart("F.EVO"), "F.EVO");
    EXPECT_EQ(upperExt("/d/x.evo"), ".EVO");
    EXPECT_EQ(upperExt("/d.vob/x"), "");
}

TEST(PathHelpers, GetSecond) {
    TempDir dir;
    for (const char* name : {"FEATURE_1.EVO", "FEATURE_2.EVO", "2_MAIN.EVO", "TITLE_9.EVO",
                             "TITLE_20.EVO", "A_X.EVO", "_2.EVO", "9_.EVO"})
        writeFile(dir / name, {0});
    EXPECT_EQ(getsecond(dir / "FEATURE_1.EVO"), dir / "FEATURE_2.EVO");
    EXPECT_EQ(getsecond(dir / "FEATURE_2.EVO"), "") << "no FEATURE_3.EVO";
    EXPECT_EQ(getsecond(dir / "1_MAIN.EVO"), dir / "2_MAIN.EVO") << "digit before the _";
    EXPECT_EQ(getsecond(dir / "TITLE_9.EVO"), "") << "9 has no successor";
    EXPECT_EQ(getsecond(dir / "TITLE_10.EVO"), dir / "TITLE_20.EVO") << "one digit only";
    EXPECT_EQ(getsecond(dir / "A_X.EVO"), "");
    EXPECT_EQ(getsecond(dir / "FEATURE.EVO"), "");
    EXPECT_EQ(getsecond(dir / "_1.EVO"), dir / "_2.EVO");
    EXPECT_EQ(getsecond(dir / "8_.EVO"), dir / "9_.EVO");
    // Only the first "_" counts, and only in the file name.
    EXPECT_EQ(getsecond(dir / "B_X_1.EVO"), "");
    TempDir other;
    const std::string sub = other / "disc_1";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    writeFile(sub + "/F.EVO", {0});
    ASSERT_EQ(::mkdir((other / "disc_2").c_str(), 0755), 0);
    writeFile(other / "disc_2/F.EVO", {0});
    EXPECT_EQ(getsecond(sub + "/F.EVO"), "");
}

class Window : public ::testing::Test {
protected:
    RecordingHost host;
    Context ctx{host};
};

TEST_F(Window, SourceInADiscFolderProposesItsPlaylist) {
    ctx.ui.eEVOfile = "/media/d/HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx);
    EXPECT_EQ(ctx.EVOdir, "/media/d/HVDVD_TS/");
    EXPECT_EQ(ctx.EVOname, "FEATURE_1.EVO");
    EXPECT_EQ(ctx.BaseName, "FEATURE_1");
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/media/d/HVDVD_TS/");
    EXPECT_EQ(ctx.XPLdir, "/media/d/ADV_OBJ/");
    EXPECT_EQ(ctx.XPLname, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.odXPLDir, "/media/d/ADV_OBJ/");
    EXPECT_EQ(ctx.ui.odXPLFileName, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.eXPLfile, "/media/d/ADV_OBJ/VPLST000.XPL");
    EXPECT_TRUE(ctx.ui.bCheck);
    EXPECT_FALSE(ctx.ui.bReadXPL) << "no such playlist file";
}

TEST_F(Window, SourceElsewhereKeepsAnEarlierPlaylistChoice) {
    ctx.ui.eEVOfile = "/media/d/hvdvd_ts/F.EVO"; // letter case counts
    EVOadj(ctx);
    EXPECT_EQ(ctx.ui.eXPLfile, "VPLST000.XPL");
    EXPECT_EQ(ctx.XPLname, "");
    EXPECT_FALSE(ctx.ui.bReadXPL);

    ctx.ui.eXPLfile = "/x/ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx);
    ctx.ui.eEVOfile = "/home/u/movie.VOB";
    EVOadj(ctx);
    EXPECT_EQ(ctx.ui.eXPLfile, "VPLST000.XPL");
    EXPECT_EQ(ctx.XPLdir, "/x/ADV_OBJ/");
    EXPECT_EQ(ctx.XPLname, "VPLST000.XPL");
    EXPECT_FALSE(ctx.ui.bReadXPL) << "a bare name is no file";
    EXPECT_EQ(ctx.BaseName, "movie");

    ctx.ui.eEVOfile = "";
    EVOadj(ctx);
    EXPECT_FALSE(ctx.ui.bCheck);
}

TEST_F(Window, PlaylistInADiscFolderPointsAtTheSourceFolder) {
    ctx.ui.eEVOfile = "/media/d/HVDVD_TS/F.EVO";
    ctx.ui.eXPLfile = "/other/ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx);
    EXPECT_EQ(ctx.XPLdir, "/other/ADV_OBJ/");
    EXPECT_EQ(ctx.XPLname, "VPLST000.XPL");
    EXPECT_EQ(ctx.EVOdir, "/other/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/other/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.eEVOfile, "/media/d/HVDVD_TS/F.EVO") << "no source is chosen";

    ctx.EVOdir = "/keep/";
    ctx.ui.eXPLfile = "/other/adv_obj/VPLST000.XPL";
    XPLadj(ctx);
    EXPECT_EQ(ctx.EVOdir, "/keep/");

    ctx.ui.eXPLfile = "/other/ADV_OBJ/";
    XPLadj(ctx);
    EXPECT_FALSE(ctx.ui.bReadXPL);
}

TEST_F(Window, ReadXplOnlyForAnExistingPlaylistFile) {
    TempDir disc;
    ASSERT_EQ(::mkdir((disc / "HVDVD_TS").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((disc / "ADV_OBJ").c_str(), 0755), 0);
    ctx.ui.eEVOfile = disc / "HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx);
    EXPECT_FALSE(ctx.ui.bReadXPL);
    writeFile(disc / "ADV_OBJ/VPLST000.XPL", {'<'});
    EVOadj(ctx);
    EXPECT_TRUE(ctx.ui.bReadXPL);
    ctx.ui.eXPLfile = disc / "ADV_OBJ";
    XPLadj(ctx);
    EXPECT_FALSE(ctx.ui.bReadXPL) << "a folder";
    ctx.ui.eXPLfile = disc / "ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx);
    EXPECT_TRUE(ctx.ui.bReadXPL);
}

TEST_F(Window, DroppedFiles) {
    ctx.ui.cbAudio[2].checked = true;
    dropFile(ctx, "/d/HVDVD_TS/FEATURE_1.evo");
    EXPECT_EQ(ctx.ui.eEVOfile, "/d/HVDVD_TS/FEATURE_1.evo");
    EXPECT_EQ(ctx.ui.eXPLfile, "/d/ADV_OBJ/VPLST000.XPL");
    EXPECT_TRUE(ctx.ui.cbAudio[2].checked) << "a drop does not reset the boxes";

    dropFile(ctx, "/e/VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(ctx.ui.eEVOfile, "/e/VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(ctx.BaseName, "VTS_01_1");

    dropFile(ctx, "/f/AUDIO_TS/ATS_01_1.AOB"); // taken as source as well
    EXPECT_EQ(ctx.ui.eEVOfile, "/f/AUDIO_TS/ATS_01_1.AOB");

    dropFile(ctx, "/g/ADV_OBJ/VPLST000.xpl");
    EXPECT_EQ(ctx.ui.eXPLfile, "/g/ADV_OBJ/VPLST000.xpl");
    EXPECT_EQ(ctx.EVOdir, "/g/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.eEVOfile, "/f/AUDIO_TS/ATS_01_1.AOB");

    const WindowModel before = ctx.ui;
    dropFile(ctx, "/g/notes.txt");
    dropFile(ctx, "/g/EVO");
    EXPECT_EQ(ctx.ui.eEVOfile, before.eEVOfile);
    EXPECT_EQ(ctx.ui.eXPLfile, before.eXPLfile);
}

TEST_F(Window, ResetAndTheEnablingRule) {
    ctx.ui.cbAudio[4].hint = "English DD 5.1";
    for (auto* boxes : {&ctx.ui.cbVideo[0], &ctx.ui.cbAudio[4], &ctx.ui.cbSub[15]}) {
        boxes->enabled = boxes->checked = true;
        boxes->caption = "x";
    }
    ctx.ui.eEVOfile = "/d/F.evo";
    Resetcbs(ctx);
    for (const auto& b : ctx.ui.cbVideo)
        EXPECT_EQ(std::tie(b.caption, b.enabled, b.checked),
                  std::make_tuple(std::string("No video stream"), false, false));
    for (const auto& b : ctx.ui.cbAudio)
        EXPECT_EQ(std::tie(b.caption, b.enabled, b.checked),
                  std::make_tuple(std::string("No audio stream"), false, false));
    for (const auto& b : ctx.ui.cbSub)
        EXPECT_EQ(std::tie(b.caption, b.enabled, b.checked),
                  std::make_tuple(std::string("No subpicture"), false, false));
    EXPECT_EQ(ctx.ui.cbAudio[4].hint, "English DD 5.1");
    EXPECT_FALSE(ctx.ui.bDemux);
    EXPECT_FALSE(ctx.ui.bRebuild);

    // Any box counts, the last sub box and the unused video boxes included.
    for (auto [family, index] : {std::pair{2, 15}, std::pair{0, 7}, std::pair{1, 0}}) {
        setStreamChecked(ctx, family, index, true);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_TRUE(ctx.ui.bRebuild);
        setStreamChecked(ctx, family, index, false);
        EXPECT_FALSE(ctx.ui.bDemux);
        EXPECT_FALSE(ctx.ui.bRebuild);
    }
    setStreamChecked(ctx, 0, 8, true);
    setStreamChecked(ctx, 2, 16, true);
    setStreamChecked(ctx, 3, 0, true);
    EXPECT_FALSE(ctx.ui.bDemux) << "no such boxes";

    // For a source other than .EVO, Rebuild keeps its state.
    ctx.ui.eEVOfile = "/d/x.VOB";
    ctx.ui.bRebuild = true;
    Resetcbs(ctx);
    EXPECT_TRUE(ctx.ui.bRebuild);
    ctx.ui.bRebuild = false;
    setStreamChecked(ctx, 1, 3, true);
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_FALSE(ctx.ui.bRebuild);
}

TEST_F(Window, SelectAllAndNoneTickOnlyEnabledBoxes) {
    ctx.ui.eEVOfile = "/d/F.EVO";
    for (size_t k : {0u, 3u}) ctx.ui.cbAudio[k].enabled = true;
    ctx.ui.cbSub[1].enabled = true;
    selectStreams(ctx, 1, true);
    EXPECT_TRUE(ctx.ui.cbAudio[0].checked && ctx.ui.cbAudio[3].checked);
    EXPECT_FALSE(ctx.ui.cbAudio[1].checked || ctx.ui.cbSub[1].checked);
    EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
    selectStreams(ctx, 2, true);
    selectStreams(ctx, 1, false);
    EXPECT_FALSE(ctx.ui.cbAudio[0].checked);
    EXPECT_TRUE(ctx.ui.bDemux) << "the subpicture box is still ticked";
    selectStreams(ctx, 2, false);
    EXPECT_FALSE(ctx.ui.bDemux || ctx.ui.bRebuild);
}

TEST_F(Window, AnErrorStaysInTheLogInRedAndTheWindowIsReady) {
    ctx.slog("Opening", 0);
    ctx.slog("3/9 Mbytes, Remaining time: 0:00:02", 1);
    logError(ctx, "Cannot open file \"/d/[x].EVO\". No such file or directory");
    EXPECT_EQ(ctx.ui.log.back(), "[c:0000FF]" +
                                     escapeMarkup("Cannot open file \"/d/[x].EVO\". No such file "
                                                  "or directory") +
                                     "[/c:0000FF]");
    const MarkedLine shown = parseMarkup(ctx.ui.log.back());
    EXPECT_EQ(shown.plain, "Cannot open file \"/d/[x].EVO\". No such file or directory");
    ASSERT_EQ(shown.spans.size(), 1u);
    EXPECT_EQ(shown.spans[0].kind, Span::Kind::Colour);
    EXPECT_EQ(shown.spans[0].value, 0x0000FFu); // red, as BBGGRR
    EXPECT_EQ(shown.spans[0].length, shown.plain.size());
    EXPECT_EQ(ctx.ui.status, (std::array<std::string, 2>{"Ready", ""}));
}

TEST_F(Window, CancelAsksOnlyWhileWriting) {
    ctx.WriteMode = false;
    bCancelClick(ctx);
    EXPECT_TRUE(ctx.CancelFlag);
    EXPECT_TRUE(host.questions.empty());

    ctx.CancelFlag = false;
    ctx.WriteMode = true;
    host.answer = false;
    bCancelClick(ctx);
    EXPECT_FALSE(ctx.CancelFlag);
    host.answer = true;
    bCancelClick(ctx);
    EXPECT_TRUE(ctx.CancelFlag);
    EXPECT_EQ(host.questions, (std::vector<std::string>(2, "Are you sure to stop demuxing?")));
}

TEST_F(Window, AutoModesExcludeEachOtherAndClearEmptiesTheLog) {
    setAutoMode(ctx, 2);
    EXPECT_EQ(std::make_tuple(ctx.ui.rbNoAuto, ctx.ui.rbAutoDemux, ctx.ui.rbAutoRebuild),
              std::make_tuple(false, false, true));
    setAutoMode(ctx, 1);
    EXPECT_EQ(std::make_tuple(ctx.ui.rbNoAuto, ctx.ui.rbAutoDemux, ctx.ui.rbAutoRebuild),
              std::make_tuple(false, true, false));
    ctx.log("x");
    bClearClick(ctx);
    EXPECT_TRUE(ctx.ui.log.empty());
}

} // namespace
} // namespace qf::test
