// quillfen-cli from scripts and among hostile files: each failing run ends at once with
// its status and message and changes no file; a file another job writes is left alone;
// playlists of any shape stay within their bounds.
#include <sys/file.h>

#include <cstdint>

#include "cli/cli_process.h"
#include "engine/sanitized.h"

namespace qf::test {
namespace {

using Strings = std::vector<std::string>;

// Pseudo-random bytes, the same on every run; `noNul` leaves out the zero byte.
std::string noise(size_t size, bool noNul) {
    std::string s(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(noNul ? x % 255 + 1 : x & 0xFF);
    }
    return s;
}

void writeText(const std::string& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

class ExitStatusTest : public SampleDiscTest {};

TEST_F(ExitStatusTest, FailingRunsEndAtOnceWithTheirMessageAndWriteNothing) {
    const std::string fifo = tmp / "fifo.EVO", folder = tmp / "folder.EVO",
                      empty = tmp / "empty.VOB", one = tmp / "one.VOB", random = tmp / "random.VOB",
                      title = tmp / "title", plain = tmp / "plain", fifoXpl = tmp / "fifo.XPL",
                      binaryXpl = tmp / "binary.XPL", hugeXpl = tmp / "huge.XPL";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(fifoXpl.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    writeText(empty, "");
    writeText(one, "\x01");
    writeText(random, noise(5 << 20, false));
    writeText(plain, "a file");
    writeText(binaryXpl, noise(1 << 20, false));
    writeText(hugeXpl, "<Playlist>");
    ASSERT_EQ(truncate(hugeXpl.c_str(), (16 << 20) + 1), 0);
    // The second part of a title is a FIFO.
    ASSERT_EQ(mkdir(title.c_str(), 0700), 0);
    writeFile(title + "/FEATURE_1.EVO", readFile(part1));
    ASSERT_EQ(mkfifo((title + "/FEATURE_2.EVO").c_str(), 0600), 0);
    // An output that is there already, for --no-overwrite.
    const std::string existing = outFile("FEATURE_1_FEATURE_2.DD.stream.00.ac3");
    writeText(existing, "kept");
    // An output folder named through a link, whose target whoever made the link chose.
    const std::string linked = tmp / "linked";
    ASSERT_EQ(symlink(out.c_str(), linked.c_str()), 0);

    auto notRegular = [](const std::string& p) {
        return "Cannot open file \"" + p + "\". Not a regular file\n";
    };
    auto noStream = [](const std::string& p) { return "No stream found in " + p + "\n"; };
    auto notAPlaylist = [](const std::string& p) {
        return "File \"" + p + "\" is not a playlist\n";
    };
    struct Case {
        Strings args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"read", fifo}, 1, notRegular(fifo)},
        {{"demux", fifo, "-o", out}, 1, notRegular(fifo)},
        {{"read", folder}, 1, notRegular(folder)},
        {{"read", "/dev/zero"}, 1, notRegular("/dev/zero")},
        {{"read", title + "/FEATURE_1.EVO"}, 1, notRegular(title + "/FEATURE_2.EVO")},
        {{"demux", title + "/FEATURE_1.EVO", "-o", out}, 1, notRegular(title + "/FEATURE_2.EVO")},
        {{"read", empty}, 1, noStream(empty)},
        {{"read", one}, 1, noStream(one)},
        {{"read", random}, 1, noStream(random)},
        {{"demux", empty, "-o", out}, 1, noStream(empty)},
        {{"demux", random, "-o", out}, 1, noStream(random)},
        {{"demux", part1, "-o", tmp / "nowhere"},
         1,
         "Cannot write to folder \"" + tmp / "nowhere" + "\". No such file or directory\n"},
        {{"rebuild", part1, "-o", plain},
         1,
         "Cannot write to folder \"" + plain + "\". Not a directory\n"},
        {{"demux", part1, "-o", linked},
         1,
         "Cannot write to folder \"" + linked + "\". It is a symbolic link\n"},
        {{"rebuild", part1, "-o", linked + "/"},
         1,
         "Cannot write to folder \"" + linked + "\". It is a symbolic link\n"},
        {{"demux", part1, "-o", out, "-n"},
         1,
         "Cannot create file \"" + existing + "\". File exists\n"},
        {{"demux", part1, "-o", out, "--select", "x"}, 2, ""},
        {{"xpl", fifoXpl}, 1, notRegular(fifoXpl)},
        {{"demux", part1, "--playlist", fifoXpl, "-o", out}, 1, notRegular(fifoXpl)},
        {{"xpl", binaryXpl}, 1, notAPlaylist(binaryXpl)},
        {{"xpl", hugeXpl}, 1, notAPlaylist(hugeXpl)},
    };
    const Snapshot before = snapshot(tmp.path);
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, c.status);
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_FALSE(r.timedOut); // a FIFO or a lock waited for would hang
        EXPECT_TRUE(touched(before, snapshot(tmp.path)).empty());
    }
}

// Subpictures in slots 16-31 have no box, but a read that finds them found streams; a
// demux has nothing it could write.
TEST_F(ExitStatusTest, OnlyUnselectableSubpicturesAreStillStreamsFound) {
    PsMuxer m;
    PsMuxer::Track t;
    t.streamId = 0xBD;
    t.subHeader = subHeaderSub(0x38);
    t.units = {Bytes(700, 0x31), Bytes(700, 0x32)};
    m.add(std::move(t));
    const std::string source = tmp / "subs.VOB";
    writeFile(source, m.build());
    const CliResult read = runCli({"read", source});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(read.out.find("Subpicture stream 24 found!"), std::string::npos) << read.out;
    const CliResult demux = runCli({"demux", source, "-o", out});
    EXPECT_EQ(demux.status, 1);
    EXPECT_EQ(demux.err, "No stream found in " + source + "\n");
}

// A process that holds the lock of a file, as another job writing it would.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
            if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(fd, "held", 4) != 4) _exit(1);
            (void)!write(ready[1], "x", 1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char c = 0;
        ok_ = read(ready[0], &c, 1) == 1;
        close(ready[0]);
    }
    ~LockHolder() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool ok() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
};

TEST_F(ExitStatusTest, AnOutputAnotherJobWritesIsLeftAlone) {
    const std::pair<std::string, std::string> jobs[] = {
        {"demux", outFile("FEATURE_1_FEATURE_2.VC-1.stream.0.vc1")},
        {"rebuild", outFile("FEATURE_1_FEATURE_2.rebuilt.EVO")},
    };
    for (const auto& [command, first] : jobs) {
        SCOPED_TRACE(command);
        {
            LockHolder other(first);
            ASSERT_TRUE(other.ok());
            const Snapshot before = snapshot(tmp.path);
            const CliResult r = runCli({command, part1, "-o", out});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err,
                      "Cannot create file \"" + first + "\". It is being written by another job\n");
            EXPECT_FALSE(r.timedOut); // no wait for the other job
            EXPECT_TRUE(touched(before, snapshot(tmp.path)).empty());
            EXPECT_EQ(readFile(first), (Bytes{'h', 'e', 'l', 'd'}));
        }
        // Once the other job has closed it, the file is written as usual.
        EXPECT_EQ(runCli({command, part1, "-o", out}).status, 0);
        EXPECT_GT(readFile(first).size(), 4u);
    }
}

// Playlists of any shape: refused, or listed within four times their size, and never
// more than 64 MB of memory.
TEST_F(ExitStatusTest, PlaylistsStayWithinTheirBounds) {
    struct Case {
        const char* name;
        std::string (*text)();
        int status;
    };
    const Case cases[] = {
        {"nested",
         [] {
             std::string s;
             while (s.size() < (15 << 20)) s += "<a>";
             return s;
         },
         1},
        {"binary", [] { return noise((16 << 20) - 1, true); }, 0},
        {"chapters",
         [] {
             const std::string value(200, 'v');
             std::string s = "<Title displayName=\"FEATURE_1\">";
             while (s.size() < (16 << 20) - 1000)
                 s += "<CHAPTER titleTimeBegin=\"" + value + "\" displayName=\"" + value + "\">";
             return s + "</Title>";
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tmp / (std::string(c.name) + ".XPL");
        writeText(path, c.text()); // and gone again: the child starts as small as this process
        const auto size = std::filesystem::file_size(path);
        const CliResult r = runCli({"xpl", path, "--source", "FEATURE_1.EVO"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_LE(r.out.size(), 4 * size);
        if (!kSanitized) {
            EXPECT_LT(r.peakKiB, 64000 * 1000 / 1024);
        }
    }
}

} // namespace
} // namespace qf::test
