// The Demux job stopped: by a failure (the error text, files closed, nothing else
// touched) or by the user's Cancel.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "demux_titles.h"
#include "job_fixture.h"
#include "jobs/control.h"

namespace qf::test {
namespace {

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
            bench.demux();
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }
    void expectCleanedUp(bool sourceKept = true) {
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(host.running);
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

TEST_F(DemuxFailureTest, LaterOutputUncreatableKeepsTheEarlierFile) {
    request.selection.at(Family::Audio, 0).caption = "taken";
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

    int asked = 0;
    bool answer = false; // "No" leaves the pass running
    host.onPump = [&] {
        requestCancel(ctx.control, [&] {
            ++asked;
            return answer;
        });
    };
    bench.demux();
    EXPECT_EQ(asked, 1) << "asked once: a pass that writes is held while the user decides";
    EXPECT_EQ(countLines("Continue on"), 1);

    answer = true;
    host.lines.clear();
    bench.demux();
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
}

TEST_F(DemuxJobTest, TheRemainingTimeLeavesOutTheTimeAQuestionWasOpen) {
    // Six progress points; a question open for 1.5 s at the first, answered No.
    writeFile(dir / "FEATURE_1.EVO", videoOnly(vc1Units(6 * 2200, 1900)).build());
    readAndChoose(dir / "FEATURE_1.EVO");
    std::thread answer;
    host.onPump = [&] {
        if (answer.joinable()) return;
        ctx.control.pause.hold(); // what a Cancel does while its question is open
        answer = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            ctx.control.pause.release();
        });
    };
    bench.demux();
    answer.join();
    ASSERT_GE(host.status1.size(), 3u);
    // Counted with the question, the second point would say four seconds or more; a
    // loaded machine may make the pass's own pace say up to three.
    for (size_t k = 1; k < host.status1.size(); ++k) {
        const std::string& s = host.status1[k];
        if (s.empty()) continue;
        SCOPED_TRACE(s);
        EXPECT_TRUE(
            s.ends_with("Remaining time: 0:00:00") || s.ends_with("Remaining time: 0:00:01") ||
            s.ends_with("Remaining time: 0:00:02") || s.ends_with("Remaining time: 0:00:03"));
    }
}

TEST_F(DemuxJobTest, ACancelWritesNoHandOverFileAndRemovesOneLeftFromAnEarlierRun) {
    writeFile(dir / "FEATURE_1.EVO", videoOnly(vc1Units(2200, 1900)).build());
    request.output.mkvmergeOptions = true;
    readAndChoose(dir / "FEATURE_1.EVO");
    bench.demux();
    const std::string options = dir / "FEATURE_1.mkvmerge.json";
    ASSERT_TRUE(fileExists(options));
    EXPECT_EQ(countLines("Named by codec for mkvmerge: FEATURE_1.VC-1.stream.0.vc1"), 1);

    host.lines.clear();
    const auto cancel = [&] { requestCancel(ctx.control, [] { return true; }); };
    host.onPump = cancel;
    bench.demux();
    EXPECT_FALSE(fileExists(options));
    EXPECT_EQ(countLines("Removed FEATURE_1.mkvmerge.json of an earlier run"), 1);
    // No options file this time, so nothing is said to be named for one.
    EXPECT_EQ(countLines("Named by codec"), 0);
    EXPECT_EQ(plainLines().end()[-2], "Cancelled: FEATURE_1.VC-1.stream.0.vc1 is incomplete.");

    // One that is not ours alone (a second name) stays.
    host.onPump = nullptr;
    bench.demux();
    ASSERT_EQ(::link(options.c_str(), (dir / "second").c_str()), 0);
    host.onPump = cancel;
    bench.demux();
    EXPECT_TRUE(fileExists(options));
}

} // namespace
} // namespace qf::test
