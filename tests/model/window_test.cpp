// The window's bookkeeping: disc folders, drops, check boxes and Cancel.
#include "model/window.h"

#include "jobs/control.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "engine/markup.h"
#include "jobs/runner.h"
#include "model/session.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

class Window : public ::testing::Test {
protected:
    RecordingHost host;
    Session ctx{host};
};

TEST_F(Window, SourceInADiscFolderProposesItsPlaylist) {
    ctx.ui.eEVOfile = "/media/d/HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx.ui);
    EXPECT_EQ(ctx.ui.EVOdir, "/media/d/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.EVOname, "FEATURE_1.EVO");
    EXPECT_EQ(ctx.ui.BaseName, "FEATURE_1");
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/media/d/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.XPLdir, "/media/d/ADV_OBJ/");
    EXPECT_EQ(ctx.ui.XPLname, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.odXPLDir, "/media/d/ADV_OBJ/");
    EXPECT_EQ(ctx.ui.odXPLFileName, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.eXPLfile, "/media/d/ADV_OBJ/VPLST000.XPL");
    EXPECT_TRUE(ctx.ui.bCheck);
    EXPECT_FALSE(ctx.ui.bReadXPL) << "no such playlist file";
}

TEST_F(Window, SourceElsewhereKeepsAnEarlierPlaylistChoice) {
    ctx.ui.eEVOfile = "/media/d/hvdvd_ts/F.EVO"; // letter case counts
    EVOadj(ctx.ui);
    EXPECT_EQ(ctx.ui.eXPLfile, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.XPLname, "");
    EXPECT_FALSE(ctx.ui.bReadXPL);

    ctx.ui.eXPLfile = "/x/ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx.ui);
    ctx.ui.eEVOfile = "/home/u/movie.VOB";
    EVOadj(ctx.ui);
    EXPECT_EQ(ctx.ui.eXPLfile, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.XPLdir, "/x/ADV_OBJ/");
    EXPECT_EQ(ctx.ui.XPLname, "VPLST000.XPL");
    EXPECT_FALSE(ctx.ui.bReadXPL) << "a bare name is no file";
    EXPECT_EQ(ctx.ui.BaseName, "movie");

    ctx.ui.eEVOfile = "";
    EVOadj(ctx.ui);
    EXPECT_FALSE(ctx.ui.bCheck);
}

TEST_F(Window, PlaylistInADiscFolderPointsAtTheSourceFolder) {
    ctx.ui.eEVOfile = "/media/d/HVDVD_TS/F.EVO";
    ctx.ui.eXPLfile = "/other/ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx.ui);
    EXPECT_EQ(ctx.ui.XPLdir, "/other/ADV_OBJ/");
    EXPECT_EQ(ctx.ui.XPLname, "VPLST000.XPL");
    EXPECT_EQ(ctx.ui.EVOdir, "/other/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.odEVOfileDir, "/other/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.eEVOfile, "/media/d/HVDVD_TS/F.EVO") << "no source is chosen";

    ctx.ui.EVOdir = "/keep/";
    ctx.ui.eXPLfile = "/other/adv_obj/VPLST000.XPL";
    XPLadj(ctx.ui);
    EXPECT_EQ(ctx.ui.EVOdir, "/keep/");

    ctx.ui.eXPLfile = "/other/ADV_OBJ/";
    XPLadj(ctx.ui);
    EXPECT_FALSE(ctx.ui.bReadXPL);
}

TEST_F(Window, ReadXplOnlyForAnExistingPlaylistFile) {
    TempDir disc;
    ASSERT_EQ(::mkdir((disc / "HVDVD_TS").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((disc / "ADV_OBJ").c_str(), 0755), 0);
    ctx.ui.eEVOfile = disc / "HVDVD_TS/FEATURE_1.EVO";
    EVOadj(ctx.ui);
    EXPECT_FALSE(ctx.ui.bReadXPL);
    writeFile(disc / "ADV_OBJ/VPLST000.XPL", {'<'});
    EVOadj(ctx.ui);
    EXPECT_TRUE(ctx.ui.bReadXPL);
    ctx.ui.eXPLfile = disc / "ADV_OBJ";
    XPLadj(ctx.ui);
    EXPECT_FALSE(ctx.ui.bReadXPL) << "a folder";
    ctx.ui.eXPLfile = disc / "ADV_OBJ/VPLST000.XPL";
    XPLadj(ctx.ui);
    EXPECT_TRUE(ctx.ui.bReadXPL);
}

TEST_F(Window, DroppedFiles) {
    ctx.ui.cbAudio[2].checked = true;
    dropFile(ctx.ui, "/d/HVDVD_TS/FEATURE_1.evo");
    EXPECT_EQ(ctx.ui.eEVOfile, "/d/HVDVD_TS/FEATURE_1.evo");
    EXPECT_EQ(ctx.ui.eXPLfile, "/d/ADV_OBJ/VPLST000.XPL");
    EXPECT_TRUE(ctx.ui.cbAudio[2].checked) << "a drop does not reset the boxes";

    dropFile(ctx.ui, "/e/VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(ctx.ui.eEVOfile, "/e/VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(ctx.ui.BaseName, "VTS_01_1");

    dropFile(ctx.ui, "/f/AUDIO_TS/ATS_01_1.AOB"); // taken as source as well
    EXPECT_EQ(ctx.ui.eEVOfile, "/f/AUDIO_TS/ATS_01_1.AOB");

    dropFile(ctx.ui, "/g/ADV_OBJ/VPLST000.xpl");
    EXPECT_EQ(ctx.ui.eXPLfile, "/g/ADV_OBJ/VPLST000.xpl");
    EXPECT_EQ(ctx.ui.EVOdir, "/g/HVDVD_TS/");
    EXPECT_EQ(ctx.ui.eEVOfile, "/f/AUDIO_TS/ATS_01_1.AOB");

    const WindowModel before = ctx.ui;
    dropFile(ctx.ui, "/g/notes.txt");
    dropFile(ctx.ui, "/g/EVO");
    EXPECT_EQ(ctx.ui.eEVOfile, before.eEVOfile);
    EXPECT_EQ(ctx.ui.eXPLfile, before.eXPLfile);
}

TEST_F(Window, AChosenFolderIsItsDiscOrRefusedWithTheReason) {
    TempDir d;
    for (const char* folder : {"dvd/VIDEO_TS", "hd/HVDVD_TS", "hd/ADV_OBJ", "empty"})
        std::filesystem::create_directories(d / folder);
    writeFile(d / "hd/HVDVD_TS/FEATURE_1.EVO", {0});
    writeFile(d / "dvd/VIDEO_TS/VIDEO_TS.IFO", {0});
    const std::string evo = d / "hd/HVDVD_TS/FEATURE_1.EVO";
    const std::pair<std::string, std::string> cases[] = {
        {d / "dvd", d / "dvd"},    // a DVD-Video disc is read through its IFO files
        {d / "hd", evo},           // an HD DVD disc is its first feature file
        {d / "hd/HVDVD_TS", evo},  // its video folder, picked one level too deep
        {d / "hd/HVDVD_TS/", evo}, // as a dialog may give it
        {d / "dvd/VIDEO_TS", d / "dvd/VIDEO_TS"},
    };
    for (const auto& [chosen, source] : cases) {
        SCOPED_TRACE(chosen);
        EXPECT_EQ(discFolderSource(chosen), source);
        dropFile(ctx.ui, chosen);
        EXPECT_EQ(ctx.ui.eEVOfile, source);
    }
    const std::string before = ctx.ui.eEVOfile;
    for (const std::string& none : {d / "empty", d / "empty/"}) {
        try {
            dropFile(ctx.ui, none);
            ADD_FAILURE() << "a folder without a disc was taken";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "No DVD-Video or HD DVD disc in \"" + d / "empty" +
                                                 "\": it holds no VIDEO_TS or HVDVD_TS folder.");
        }
        EXPECT_EQ(ctx.ui.eEVOfile, before);
    }
}

TEST_F(Window, ASourceWithoutStreamsSaysSoAndOffersNoJob) {
    TempDir d;
    std::vector<uint8_t> noise(300000);
    uint32_t x = 1;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
    // No start code of a pack or stream anywhere: the bytes hold no program stream.
    for (size_t k = 0; k + 2 < noise.size(); ++k)
        if (noise[k] == 0 && noise[k + 1] == 0) noise[k + 1] = 7;
    writeFile(d / "noise.VOB", noise);
    ctx.ui.eEVOfile = d / "noise.VOB";
    EVOadj(ctx.ui);
    bCheckClick(ctx);
    EXPECT_EQ(parseMarkup(ctx.ui.log.back()).plain, "No stream found in noise.VOB");
    EXPECT_EQ(ctx.ui.status[1], "No stream found");
    EXPECT_FALSE(ctx.ui.bDemux || ctx.ui.bRebuild);
    EXPECT_TRUE(ctx.ui.bCheck);
}

TEST_F(Window, ResetAndTheEnablingRule) {
    ctx.ui.cbAudio[4].hint = "English DD 5.1";
    for (auto* boxes : {&ctx.ui.cbVideo[0], &ctx.ui.cbAudio[4], &ctx.ui.cbSub[15]}) {
        boxes->enabled = boxes->checked = true;
        boxes->caption = "x";
    }
    ctx.ui.eEVOfile = "/d/F.evo";
    Resetcbs(ctx.ui);
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
    for (auto [family, index] : {std::pair{Family::Subpicture, 15}, std::pair{Family::Video, 7},
                                 std::pair{Family::Audio, 0}}) {
        setStreamChecked(ctx.ui, family, index, true);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_TRUE(ctx.ui.bRebuild);
        setStreamChecked(ctx.ui, family, index, false);
        EXPECT_FALSE(ctx.ui.bDemux);
        EXPECT_FALSE(ctx.ui.bRebuild);
    }
    setStreamChecked(ctx.ui, Family::Video, 8, true);
    setStreamChecked(ctx.ui, Family::Subpicture, 16, true);
    EXPECT_FALSE(ctx.ui.bDemux) << "no such boxes";

    // For a source other than .EVO, Rebuild keeps its state.
    ctx.ui.eEVOfile = "/d/x.VOB";
    ctx.ui.bRebuild = true;
    Resetcbs(ctx.ui);
    EXPECT_TRUE(ctx.ui.bRebuild);
    ctx.ui.bRebuild = false;
    setStreamChecked(ctx.ui, Family::Audio, 3, true);
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_FALSE(ctx.ui.bRebuild);
}

TEST_F(Window, SelectAllAndNoneTickOnlyEnabledBoxes) {
    ctx.ui.eEVOfile = "/d/F.EVO";
    for (size_t k : {0u, 3u}) ctx.ui.cbAudio[k].enabled = true;
    ctx.ui.cbSub[1].enabled = true;
    selectStreams(ctx.ui, Family::Audio, true);
    EXPECT_TRUE(ctx.ui.cbAudio[0].checked && ctx.ui.cbAudio[3].checked);
    EXPECT_FALSE(ctx.ui.cbAudio[1].checked || ctx.ui.cbSub[1].checked);
    EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
    selectStreams(ctx.ui, Family::Subpicture, true);
    selectStreams(ctx.ui, Family::Audio, false);
    EXPECT_FALSE(ctx.ui.cbAudio[0].checked);
    EXPECT_TRUE(ctx.ui.bDemux) << "the subpicture box is still ticked";
    selectStreams(ctx.ui, Family::Subpicture, false);
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
    ctx.control.beginPass(false);
    bCancelClick(ctx);
    EXPECT_TRUE(ctx.control.stopRequested());
    EXPECT_TRUE(host.questions.empty());

    ctx.control.beginPass(true);
    host.answer = false;
    bCancelClick(ctx);
    EXPECT_FALSE(ctx.control.stopRequested());
    host.answer = true;
    bCancelClick(ctx);
    EXPECT_TRUE(ctx.control.stopRequested());
    EXPECT_EQ(host.questions, (std::vector<std::string>(2, "Are you sure to stop demuxing?")));
}

TEST_F(Window, AutoModesExcludeEachOtherAndClearEmptiesTheLog) {
    setAutoMode(ctx.ui, 2);
    EXPECT_EQ(std::make_tuple(ctx.ui.rbNoAuto, ctx.ui.rbAutoDemux, ctx.ui.rbAutoRebuild),
              std::make_tuple(false, false, true));
    setAutoMode(ctx.ui, 1);
    EXPECT_EQ(std::make_tuple(ctx.ui.rbNoAuto, ctx.ui.rbAutoDemux, ctx.ui.rbAutoRebuild),
              std::make_tuple(false, true, false));
    ctx.log("x");
    bClearClick(ctx.ui);
    EXPECT_TRUE(ctx.ui.log.empty());
}

// A job's log lines and status texts reach the window model and then the host.
TEST(WindowEvents, LogAndStatusReachTheHost) {
    RecordingHost host;
    Session ctx(host);
    ctx.log("[b]x[/b]");
    ctx.log("");
    EXPECT_EQ(ctx.ui.log, (std::vector<std::string>{"[b]x[/b]", ""}));
    EXPECT_EQ(host.lines, ctx.ui.log);
    ctx.slog("Reading", 0);
    EXPECT_EQ(ctx.ui.status[0], "Reading");
    EXPECT_EQ(ctx.ui.statusHint, " Select or drop an EVO file to demux") << "panel 0 keeps it";
    ctx.slog("1/2 Mbytes", 1);
    EXPECT_EQ(ctx.ui.status[1], "1/2 Mbytes");
    EXPECT_EQ(ctx.ui.statusHint, "1/2 Mbytes");
    ctx.slog("", 1);
    EXPECT_EQ(ctx.ui.statusHint, "");
    EXPECT_EQ(host.status0, std::vector<std::string>{"Reading"});
    EXPECT_EQ(host.status1, (std::vector<std::string>{"1/2 Mbytes", ""}));
}

TEST(WindowModel, StreamBoxDefaults) {
    WindowModel ui;
    EXPECT_EQ(ui.cbVideo[7].caption, "Video stream");
    EXPECT_EQ(ui.cbAudio[15].caption, "Audio stream");
    EXPECT_EQ(ui.cbSub[0].caption, "Subpicture");
    EXPECT_EQ(ui.cbSub[0].hint, "");
    for (size_t i = 1; i < 16; ++i)
        EXPECT_EQ(ui.cbSub[i].hint, "Check the desired subpicture streams");
    EXPECT_EQ(ui.cbAudio[3].hint, "");
}

} // namespace
} // namespace qf::test
