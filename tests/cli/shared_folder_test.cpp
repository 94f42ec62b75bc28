// A folder shared with other users, sticky and writable by all as /tmp is: what another
// user put under an output's name before the job is never written into, nor a file
// elsewhere through a second name; outputs are never writable by others; and no
// temporary file is left behind, whether the job ends well or not.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <ostream>

#include <gtest/gtest.h>

#include "cli/cli_process.h"
#include "support/file_limit.h"

namespace qf::test {
namespace {

using Strings = std::vector<std::string>;

// The owner the other user's files get: nobody's, where the system has one.
uid_t otherUser() {
    const passwd* p = ::getpwnam("nobody");
    return p && p->pw_uid != ::geteuid() ? p->pw_uid : ::geteuid() + 1;
}

struct FileState {
    Bytes bytes;
    mode_t mode = 0;
    uid_t owner = 0;
    bool operator==(const FileState&) const = default;
    friend void PrintTo(const FileState& f, std::ostream* os) {
        *os << f.bytes.size() << " bytes, mode " << std::oct << f.mode << std::dec << ", owner "
            << f.owner;
    }
};

FileState stateOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    return {readFile(path), st.st_mode, st.st_uid};
}

class SharedFolderTest : public SampleDiscTest {
protected:
    void SetUp() override {
        SampleDiscTest::SetUp();
        ASSERT_EQ(::chmod(out.c_str(), 01777), 0);
    }
    std::string base() const { return outFile("FEATURE_1_FEATURE_2."); }
    // The video stream, the playlist's chapters and the options file for mkvmerge, which
    // the job writes last. It ends with kLeftOut: the MPEG-2 video, which the playlist
    // names nothing for, is not selected.
    static constexpr int kLeftOut = 3;
    CliResult demux() const {
        return runCli({"demux", part1, "--playlist", playlist, "-o", out, "--select", "v0"});
    }
    // Every file in the folder is an output or what was put there: nothing else is left.
    void expectNoOtherFile() const {
        for (const std::string& name : outputs())
            EXPECT_EQ(name.rfind("FEATURE_1_FEATURE_2.", 0), 0u) << name;
    }
    void clearOut() const {
        for (const std::string& name : outputs()) std::filesystem::remove(outFile(name));
    }
};

TEST_F(SharedFolderTest, APlantedFileIsNeverWrittenIntoNorAFileThroughASecondName) {
    const std::string secret = tmp / "secret.txt"; // the victim's own file, elsewhere
    writeFile(secret, Bytes{'m', 'i', 'n', 'e'});
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    struct Plant {
        const char* what;
        const char* name;
        bool otherUsers; // a file of the other user that anyone may write; else a hard link
        const char* reason;
    };
    const Plant plants[] = {
        {"another user's file at the options file", "mkvmerge.json", true,
         "It belongs to another user"},
        {"another user's file at the stream file", "VC-1.stream.0.vc1", true,
         "It belongs to another user"},
        {"a second name of the victim's file at the chapters", "chapters.txt", false,
         "It has other links"},
        {"a second name of the victim's file at the options file", "mkvmerge.json", false,
         "It has other links"},
    };
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.what);
        const std::string target = base() + p.name;
        if (p.otherUsers) {
            writeFile(target, Bytes{'-', '-', 'a', 't', 't', 'a', 'c', 'h'});
            ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
            if (::chown(target.c_str(), otherUser(), static_cast<gid_t>(-1)) != 0) {
                std::printf("Not run: %s (only root can give a file to another user)\n", p.what);
                clearOut();
                continue;
            }
        } else {
            ASSERT_EQ(::link(secret.c_str(), target.c_str()), 0);
        }
        const FileState planted = stateOf(target), victim = stateOf(secret);
        const CliResult r = demux();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Cannot create file \"" + target + "\". " + p.reason + "\n");
        EXPECT_EQ(stateOf(target), planted);
        EXPECT_EQ(stateOf(secret), victim);
        expectNoOtherFile();
        clearOut();
    }
}

// 0644 less the umask, also where an output replaces a file of the user's that others
// could write.
TEST_F(SharedFolderTest, OutputsAreNeverWritableByOthers) {
    for (const mode_t mask : {022, 0}) {
        SCOPED_TRACE(mask);
        const mode_t old = ::umask(mask);
        for (const bool replacing : {false, true}) {
            if (replacing) {
                for (const std::string& name : outputs())
                    ASSERT_EQ(::chmod(outFile(name).c_str(), 0666), 0);
            }
            const CliResult r = demux();
            EXPECT_EQ(r.status, kLeftOut) << r.err;
            EXPECT_EQ(outputs().size(), 4u);
            for (const std::string& name : outputs())
                EXPECT_EQ(stateOf(outFile(name)).mode & 07777, 0644u) << name;
        }
        ::umask(old);
        expectNoOtherFile();
        clearOut();
    }
}

// A job that fails while it replaces its earlier outputs leaves what it wrote under the
// outputs' names, as one that writes new files does, and nothing else.
TEST_F(SharedFolderTest, AFailedJobLeavesNoTemporaryFile) {
    ASSERT_EQ(demux().status, kLeftOut);
    const Strings before = outputs();
    test::FileSizeLimit limit(1000);
    const CliResult r = demux();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Stream write error: \"" + base() + "VC-1.stream.0.vc1\". File too large.\n");
    EXPECT_EQ(outputs(), before);
    EXPECT_LE(readFile(base() + "VC-1.stream.0.vc1").size(), 1000u);
}

} // namespace
} // namespace qf::test
