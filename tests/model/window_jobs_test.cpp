// What the window shows around its jobs: the buttons after each, the captions it shows,
// and the output folders it refuses before anything is read.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "jobs/demux_titles.h"
#include "model/session.h"
#include "model/window.h"
#include "support/recording_host.h"
#include "support/tmpfs_mount.h"

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
    std::string run(void (*click)(Session&)) {
        try {
            click(ctx);
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(WindowJobs, AReadOffersDemuxAndEachJobOffersRebuildWhateverTheExtension) {
    for (const std::string name : {"FEATURE_1.EVO", "VTS_01_1.VOB"}) {
        SCOPED_TRACE(name);
        writeFile(dir / name, sourceBytes);
        read(dir / name);
        EXPECT_TRUE(ctx.ui.bDemux);
        for (auto click : {bDemuxClick, bRebuildClick}) {
            click(ctx);
            EXPECT_TRUE(ctx.ui.bDemux);
            EXPECT_TRUE(ctx.ui.bRebuild);
            EXPECT_FALSE(ctx.ui.bCancel);
        }
    }
}

TEST_F(WindowJobs, ACaptionMadeSafeForItsFileIsShownUnchanged) {
    read(source);
    ctx.ui.cbAudio[0].caption = "DD+.stream.00.Director/Commentary";
    bDemuxClick(ctx);
    EXPECT_TRUE(fileExists(dir / "FEATURE_1.DD+.stream.00.Director_Commentary.mpa"));
    EXPECT_EQ(ctx.ui.cbAudio[0].caption, "DD+.stream.00.Director/Commentary");
}

TEST_F(WindowJobs, AFailedDemuxOrRebuildLeavesTheBoxesTickedToTryAgain) {
    read(source);
    std::filesystem::remove(source);
    for (auto click : {bDemuxClick, bRebuildClick}) {
        EXPECT_EQ(run(click), "Cannot open file \"" + source + "\". No such file or directory");
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(ctx.ui.bCancel);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_TRUE(ctx.ui.bRebuild);
    }
}

TEST_F(WindowJobs, AMissingOutputFolderIsRefusedBeforeTheSourceIsRead) {
    read(source);
    ctx.ui.eWorkdir = dir / "nowhere";
    for (auto click : {bDemuxClick, bRebuildClick}) {
        EXPECT_EQ(run(click),
                  "Cannot write to folder \"" + dir / "nowhere" + "\". No such file or directory");
        EXPECT_TRUE(host.lines.empty());
        EXPECT_FALSE(ctx.ui.bCancel);
        EXPECT_TRUE(ctx.ui.bDemux);
        EXPECT_TRUE(ctx.ui.bRebuild);
    }
    EXPECT_EQ(readFile(source), sourceBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

// The folder the user named is checked before anything is read, and as itself, not where
// a link leads; the window stays ready for another folder.
TEST_F(WindowJobs, AnOutputFolderThatTakesNoFileIsRefusedBeforeAnyJob) {
    read(source);
    writeFile(dir / "plain", {1, 2, 3});
    struct Case {
        std::string folder, reason;
    };
    std::vector<Case> cases = {{dir / "plain", "Not a directory"}};
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
    cases.push_back({dir / "linked", "It is a symbolic link"});

    Mount readOnly(dir / "ro", "size=64k", MS_RDONLY);
    if (readOnly.mounted()) cases.push_back({dir / "ro", "Read-only file system"});
    // Root writes into any folder whatever its mode; the case counts for other users only.
    std::filesystem::create_directory(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0500);
    if (::access((dir / "locked").c_str(), W_OK) != 0)
        cases.push_back({dir / "locked", "Permission denied"});
    if (cases.size() < 4) std::cout << "[ note     ] " << cases.size() << " of 4 folders tested\n";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ctx.ui.eWorkdir = c.folder;
        host.lines.clear();
        const Snapshot before = snapshot(dir.path);
        const std::string refused = "Cannot write to folder \"" + c.folder + "\". " + c.reason;
        EXPECT_EQ(run(bDemuxClick), refused);
        EXPECT_TRUE(host.lines.empty());
        EXPECT_EQ(run(bRebuildClick), refused);
        EXPECT_TRUE(host.lines.empty());
        EXPECT_TRUE(touched(before, snapshot(dir.path)).empty());
        EXPECT_FALSE(ctx.busy || ctx.ui.bCancel);
        EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
    }
    ::chmod((dir / "locked").c_str(), 0700);
}

TEST_F(WindowJobs, AFailedReadLeavesReadEvoOnToTryAgain) {
    const std::string path = dir / "FEATURE_2.EVO";
    ctx.openFile = [](const std::string& p) -> std::unique_ptr<Stream> {
        throw Error("Cannot open file \"" + p + "\". " + std::strerror(EACCES));
    };
    writeFile(path, sourceBytes);
    ctx.ui.eEVOfile = path;
    EVOadj(ctx.ui);
    EXPECT_EQ(run(bCheckClick), "Cannot open file \"" + path + "\". Permission denied");
    EXPECT_TRUE(ctx.ui.bCheck);
    EXPECT_FALSE(ctx.busy || ctx.ui.bCancel);
}

} // namespace
} // namespace qf::test
