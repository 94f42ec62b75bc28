// What the window makes of a Read: a captioned, ticked box per stream and the others
// emptied, its page, status and buttons, the auto modes that follow it, and a Read that
// failed or was cancelled.
#include <gtest/gtest.h>

#include "jobs/read_titles.h"
#include "model/session.h"
#include "model/window.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

class WindowRead : public ::testing::Test {
protected:
    WindowRead() { streamFilesOnly(ctx.ui.outputChoices); }
    RecordingHost host;
    Session ctx{host};
    TempDir dir;

    void choose(const std::string& path) {
        ctx.ui.eEVOfile = path;
        EVOadj(ctx.ui);
    }
    int countLines(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : host.lines) n += plainText(l).rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(WindowRead, TicksOneCaptionedBoxPerStreamAndEmptiesTheOthers) {
    writeFile(dir / "FEATURE_1.EVO", richTitle());
    choose(dir / "FEATURE_1.EVO");
    ctx.ui.page = 5;
    bCheckClick(ctx);

    EXPECT_EQ(ctx.ui.BaseName, "FEATURE_1");
    EXPECT_EQ(ctx.ui.status[0], "Ready");
    EXPECT_EQ(ctx.ui.status[1], "");
    EXPECT_EQ(ctx.ui.page, 0);
    auto expectBox = [](const CheckBox& b, bool on, const std::string& caption) {
        EXPECT_EQ(b.enabled, on) << caption;
        EXPECT_EQ(b.checked, on) << caption;
        EXPECT_EQ(b.caption, caption);
    };
    expectBox(ctx.ui.cbVideo[0], true, "VC-1.stream.0");
    expectBox(ctx.ui.cbVideo[1], false, "No video stream");
    expectBox(ctx.ui.cbAudio[0], true, "DD+.stream.00");
    expectBox(ctx.ui.cbAudio[1], true, "DD+.stream.01");
    expectBox(ctx.ui.cbAudio[2], true, "MLP.stream.02");
    expectBox(ctx.ui.cbAudio[3], false, "No audio stream");
    expectBox(ctx.ui.cbSub[0], true, "Subpicture.00");
    expectBox(ctx.ui.cbSub[1], false, "No subpicture");
    EXPECT_TRUE(ctx.ui.bCheck);
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_TRUE(ctx.ui.bRebuild);
    EXPECT_FALSE(ctx.ui.bCancel);
}

TEST_F(WindowRead, ContinueUncheckedLeavesTheBoxesOfLaterPartsEmpty) {
    writeFile(dir / "FEATURE_1.EVO", titleWith(4, {0xC0}, false));
    writeFile(dir / "FEATURE_2.EVO", titleWith(3, {0xC1}, false));
    choose(dir / "FEATURE_1.EVO");
    ctx.ui.cbContinue = false;
    bCheckClick(ctx);
    EXPECT_EQ(ctx.ui.BaseName, "FEATURE_1");
    EXPECT_TRUE(ctx.ui.cbAudio[0].enabled);
    EXPECT_FALSE(ctx.ui.cbAudio[1].enabled);
}

TEST_F(WindowRead, AMissingSourceRestoresTheButtons) {
    choose(dir / "MISSING.EVO");
    EXPECT_THROW(bCheckClick(ctx), Error);
    EXPECT_TRUE(ctx.ui.bCheck); // the user can retry at once
    EXPECT_FALSE(ctx.ui.bDemux);
    EXPECT_FALSE(ctx.ui.bRebuild);
    EXPECT_FALSE(ctx.ui.bCancel);
    EXPECT_EQ(ctx.ui.cbVideo[0].caption, "No video stream");
}

TEST_F(WindowRead, TheAutoModesRunTheirJobAfterTheRead) {
    writeFile(dir / "FEATURE_1.EVO", titleWith(2, {0xC0}, false));
    choose(dir / "FEATURE_1.EVO");
    setAutoMode(ctx.ui, 1);
    bCheckClick(ctx);
    EXPECT_EQ(countLines("Opening file"), 2);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.DD+.stream.00.mpa"));

    setAutoMode(ctx.ui, 2);
    bCheckClick(ctx);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.rebuilt.EVO"));
}

TEST_F(WindowRead, ACancelledReadAsksNothingKeepsItsBoxesAndStartsNoOtherJob) {
    writeFile(dir / "FEATURE_1.EVO", bigTitle());
    choose(dir / "FEATURE_1.EVO");
    setAutoMode(ctx.ui, 1);
    host.onPump = [&] {
        bCancelClick(ctx);
        bRebuildClick(ctx); // a button pressed mid-pass must not start a second job
    };
    bCheckClick(ctx);
    EXPECT_TRUE(host.questions.empty()); // a read pass stops without asking
    EXPECT_EQ(countLines("Opening file"), 1);
    EXPECT_TRUE(ctx.ui.cbVideo[0].checked);
    EXPECT_FALSE(fileExists(dir / "FEATURE_1.rebuilt.EVO"));
    EXPECT_FALSE(ctx.ui.bCancel);
}

} // namespace
} // namespace qf::test
