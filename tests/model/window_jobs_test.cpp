// What the window shows around a Demux: its buttons after each job, the captions it
// shows, and the output folder it refuses before anything is read.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/demux_titles.h"
#include "model/session.h"
#include "model/window.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

class WindowJobs : public ::testing::Test {
protected:
    WindowJobs() {
        streamFilesOnly(ctx.ui.outputChoices);
        source = dir / "FEATURE_1.EVO";
        sourceBytes = fullTitle().build();
        writeFile(source, sourceBytes);
    }
    RecordingHost host;
    Session ctx{host};
    TempDir dir;
    std::string source;
    Bytes sourceBytes;

    void read(const std::string& path) {
        ctx.ui.eEVOfile = path;
        EVOadj(ctx.ui);
        bCheckClick(ctx);
        host.lines.clear();
    }
    std::string demuxError() {
        try {
            bDemuxClick(ctx);
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(WindowJobs, AReadOffersDemuxAndADemuxOffersRebuildWhateverTheExtension) {
    for (const std::string name : {"FEATURE_1.EVO", "VTS_01_1.VOB"}) {
        SCOPED_TRACE(name);
        writeFile(dir / name, sourceBytes);
        read(dir / name);
        EXPECT_TRUE(ctx.ui.bDemux);
        bDemuxClick(ctx);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_TRUE(ctx.ui.bRebuild);
        EXPECT_FALSE(ctx.ui.bCancel);
    }
}

TEST_F(WindowJobs, ACaptionMadeSafeForItsFileIsShownUnchanged) {
    read(source);
    ctx.ui.cbAudio[0].caption = "DD+.stream.00.Director/Commentary";
    bDemuxClick(ctx);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.DD+.stream.00.Director_Commentary.mpa"));
    EXPECT_EQ(ctx.ui.cbAudio[0].caption, "DD+.stream.00.Director/Commentary");
}

TEST_F(WindowJobs, AFailedDemuxLeavesTheBoxesTickedToTryAgain) {
    read(source);
    std::filesystem::remove(source);
    EXPECT_EQ(demuxError(), "Cannot open file \"" + source + "\". No such file or directory");
    EXPECT_FALSE(ctx.busy);
    EXPECT_FALSE(ctx.ui.bCancel);
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_TRUE(ctx.ui.bRebuild);
}

TEST_F(WindowJobs, AMissingOutputFolderIsRefusedBeforeTheSourceIsRead) {
    read(source);
    ctx.ui.eWorkdir = dir / "nowhere";
    EXPECT_EQ(demuxError(),
              "Cannot write to folder \"" + dir / "nowhere" + "\". No such file or directory");
    EXPECT_TRUE(host.lines.empty());
    EXPECT_FALSE(ctx.ui.bCancel);
    EXPECT_TRUE(ctx.ui.bDemux);
    EXPECT_TRUE(ctx.ui.bRebuild);
    EXPECT_EQ(readFile(source), sourceBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

} // namespace
} // namespace qf::test
