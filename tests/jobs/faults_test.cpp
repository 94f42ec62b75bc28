// The jobs under faults: a disk that fills up mid-pass, a source that shrinks or is
// deleted while read, output folders that cannot take files, a source beyond 4 GiB, and
// cancels at several points. Each must end with its message, close every file it opened
// and touch no file but its outputs.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "window_job_fixture.h"
#include "support/memory_stream.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kMiB = 1 << 20;

int openFds() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// A tmpfs mounted on a fresh folder for the life of the object; needs the right to mount.
class Mount {
public:
    Mount(const std::string& dir, const char* options, unsigned long flags = 0) : path_(dir) {
        fs::create_directories(dir);
        mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
    }
    ~Mount() {
        if (mounted_ && ::umount2(path_.c_str(), 0) != 0) ::umount2(path_.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

// What a demux pass writes for the packs in ps[0, end) of one stream: the VC-1 payloads,
// or those of one E-AC-3 sub-stream behind its 4-byte sub-stream header.
constexpr int kVC1 = -1;
Bytes payloads(const Bytes& ps, size_t end, int stream = kVC1) {
    Bytes out;
    for (size_t at = 0; at + kPackSize <= std::min(end, ps.size()); at += kPackSize) {
        const uint8_t* p = ps.data() + at;
        const uint8_t* data = p + 23 + p[22];
        if (stream == kVC1 ? p[17] != 0xFD : p[17] != 0xBD || data[0] != stream) continue;
        const size_t length = static_cast<size_t>(p[18]) << 8 | p[19];
        out.insert(out.end(), data + (stream == kVC1 ? 0 : 4), p + 20 + length);
    }
    return out;
}

bool isPrefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

Bytes slice(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(std::min(to, b.size())));
}

// A title of about `mib` MiB (a few packs for 0): VC-1 (0x55), E-AC-3 (0xC0) and a
// subpicture stream (0x20).
// Its navigation packs give one video and one audio stream, as a Read job ticks them, so
// a Rebuild of all its streams is the title itself.
Bytes makeTitle(int mib) {
    PsMuxer m;
    m.add(vc1Track(vc1Units(std::max(1, mib * 520), 1900)));
    m.add(
        audioTrack(repeatUnit(sample("eac3_51.eac3"), std::max(1, mib * 2)), subHeaderAudio(0xC0)));
    m.add(subTrack(0x20, subUnits(std::max(1, mib))));
    return m.build();
}

class FaultTest : public WindowJobTest {
protected:
    static inline Bytes part1, part2; // three message pumps and one
    static void SetUpTestSuite() {
        if (!part1.empty()) return;
        part1 = makeTitle(12);
        part2 = makeTitle(5);
    }

    std::string source;
    Snapshot before;
    int fdsBefore = 0;

    // Writes the title, reads it (every stream ticked) and starts watching the folder.
    void prepare(bool secondPart = false) {
        source = dir / "FEATURE_1.EVO";
        writeFile(source, part1);
        if (secondPart) writeFile(dir / "FEATURE_2.EVO", part2);
        choose(source);
        bCheckClick(ctx);
        ASSERT_TRUE(ctx.ui.cbVideo[0].checked && ctx.ui.cbAudio[0].checked &&
                    ctx.ui.cbSub[0].checked);
        host.lines.clear();
        watch();
    }
    void watch() {
        before = snapshot(dir.path);
        fdsBefore = openFds();
    }
    std::string run(void (*job)(Session&)) {
        try {
            job(ctx);
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }
    // Every file closed, the job finished, and only the given outputs written.
    void expectClosedAndOnly(const std::set<std::string>& outputs) {
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(ctx.ui.bCancel);
        EXPECT_EQ(openFds(), fdsBefore);
        EXPECT_EQ(touched(before, snapshot(dir.path)), outputs);
    }
    std::string stem(const std::string& base = "FEATURE_1") const { return dir / (base + "."); }
    // The error of a source that became shorter than it was when opened.
    std::string shrunkText() const {
        return "Stream read error: \"" + source + "\". The file became shorter while it was read.";
    }
    std::set<std::string> demuxOutputs(const std::string& base = "FEATURE_1") const {
        return {stem(base) + "VC-1.stream.0.mpv", stem(base) + "DD+.stream.00.mpa",
                stem(base) + "Subpicture.00.sup"};
    }
    Bytes video(const std::string& base = "FEATURE_1") const {
        return readFile(stem(base) + "VC-1.stream.0.mpv");
    }
    Bytes audio(const std::string& base = "FEATURE_1") const {
        return readFile(stem(base) + "DD+.stream.00.mpa");
    }
    bool done() const { return countLines("Done.") == 1; }
};

// --- disk full --------------------------------------------------------------------------

TEST_F(FaultTest, DiskFullMidDemuxAndMidRebuild) {
    prepare();
    Mount disk(dir / "small", "size=256k");
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    ctx.ui.eWorkdir = dir / "small";
    const std::string small = dir / "small/FEATURE_1.";
    watch();

    const std::string full = "\". No space left on device.";
    EXPECT_EQ(run(bDemuxClick), "Stream write error: \"" + small + "VC-1.stream.0.mpv" + full);
    EXPECT_EQ(countLines("Creating"), 3);
    EXPECT_FALSE(done());
    expectClosedAndOnly(
        {small + "VC-1.stream.0.mpv", small + "DD+.stream.00.mpa", small + "Subpicture.00.sup"});
    // What fitted is there, in order, and the disk is full.
    const Bytes v = readFile(small + "VC-1.stream.0.mpv");
    const Bytes a = readFile(small + "DD+.stream.00.mpa");
    EXPECT_GT(v.size() + a.size(), 160u * 1024);
    EXPECT_TRUE(isPrefix(v, payloads(part1, part1.size())));
    EXPECT_TRUE(isPrefix(a, payloads(part1, part1.size(), 0xC0)));
    EXPECT_TRUE(ctx.ui.bDemux); // the user can retry elsewhere
    for (const char* name : {"VC-1.stream.0.mpv", "DD+.stream.00.mpa", "Subpicture.00.sup"})
        fs::remove(small + name);

    host.lines.clear();
    watch();
    EXPECT_EQ(run(bRebuildClick), "Stream write error: \"" + small + "rebuilt.EVO" + full);
    EXPECT_FALSE(done());
    expectClosedAndOnly({small + "rebuilt.EVO"});
    const Bytes r = readFile(small + "rebuilt.EVO");
    EXPECT_GT(r.size(), 200u * 1024);
    EXPECT_TRUE(isPrefix(r, part1));
    EXPECT_EQ(readFile(source), part1);
}

// --- the source changes while it is read --------------------------------------------------

// The source file, cut short by someone else once `after` bytes of it have been read: the
// cut falls between two reads, wherever the pass is in its parsing then.
class ShrinkingFile final : public Stream {
public:
    ShrinkingFile(const std::string& path, int64_t after, int64_t to)
        : file_(path, FileStream::Mode::Read), after_(after), to_(to) {}
    size_t read(void* buf, size_t n) override {
        if (!cut_ && file_.position() >= after_) cut_ = ::truncate(file_.path().c_str(), to_) == 0;
        return file_.read(buf, n);
    }
    void write(const void* buf, size_t n) override { file_.write(buf, n); }
    int64_t size() const override { return file_.size(); }
    int64_t position() const override { return file_.position(); }
    void seek(int64_t pos) override { file_.seek(pos); }
    std::string failure(std::string_view what) const override { return file_.failure(what); }

private:
    FileStream file_;
    int64_t after_, to_;
    bool cut_ = false;
};

TEST_F(FaultTest, SourceShrinkingDuringADemuxIsAReadError) {
    prepare();
    for (const int64_t newSize : {5 * kMiB, 2 * kMiB}) { // ahead of and behind the position
        SCOPED_TRACE(newSize);
        host.lines.clear();
        writeFile(source, part1);
        watch();
        ctx.openFile = [&](const std::string& p) -> std::unique_ptr<Stream> {
            return std::make_unique<ShrinkingFile>(p, 4 * kMiB, newSize);
        };
        host.pumps = 0;
        EXPECT_EQ(run(bDemuxClick), shrunkText());
        EXPECT_FALSE(done());
        EXPECT_EQ(host.pumps, 1);
        const size_t end = static_cast<size_t>(std::max(newSize, 4 * kMiB));
        EXPECT_EQ(video(), payloads(part1, end));
        std::set<std::string> written = demuxOutputs();
        written.insert(source);
        expectClosedAndOnly(written);
    }
}

// A Read job whose source becomes empty after its first chunk, in which it announced
// streams already.
TEST_F(FaultTest, SourceShrinkingDuringAReadIsAReadError) {
    source = dir / "FEATURE_1.EVO";
    writeFile(source, part1);
    choose(source);
    watch();
    ctx.openFile = [&](const std::string& p) -> std::unique_ptr<Stream> {
        return std::make_unique<ShrinkingFile>(p, 4 * kMiB, 0);
    };
    EXPECT_EQ(run(bCheckClick), shrunkText());
    EXPECT_TRUE(hasLine("VC-1 video stream 0 found!"));
    EXPECT_FALSE(done());
    expectClosedAndOnly({source});
}

TEST_F(FaultTest, SourceShrinkingDuringARebuildIsAReadError) {
    prepare();
    ctx.openFile = [&](const std::string& p) -> std::unique_ptr<Stream> {
        return std::make_unique<ShrinkingFile>(p, 4 * kMiB, 5 * kMiB);
    };
    EXPECT_EQ(run(bRebuildClick), shrunkText());
    EXPECT_FALSE(done());
    expectClosedAndOnly({source, stem() + "rebuilt.EVO"});
    EXPECT_EQ(readFile(stem() + "rebuilt.EVO"), slice(part1, 0, 5 * kMiB));
    EXPECT_TRUE(ctx.ui.bRebuild);
}

TEST_F(FaultTest, SourceDeletedWhileReadIsStillReadToItsEnd) {
    prepare();
    host.onPump = [&] {
        if (fileExists(source)) fs::remove(source);
    };
    EXPECT_EQ(run(bDemuxClick), "");
    EXPECT_TRUE(done());
    EXPECT_FALSE(fileExists(source));
    EXPECT_EQ(video(), payloads(part1, part1.size()));
    EXPECT_EQ(audio(), payloads(part1, part1.size(), 0xC0));
    expectClosedAndOnly(demuxOutputs());

    writeFile(source, part1);
    host.lines.clear();
    watch();
    EXPECT_EQ(run(bRebuildClick), "");
    EXPECT_TRUE(done());
    EXPECT_EQ(readFile(stem() + "rebuilt.EVO"), part1);
    expectClosedAndOnly({stem() + "rebuilt.EVO"});
}

// --- output folders that take no file ----------------------------------------------------

TEST_F(FaultTest, OutputFolderThatTakesNoFile) {
    prepare();
    writeFile(dir / "plain", {1, 2, 3});
    struct Case {
        std::string folder, reason;
    };
    std::vector<Case> cases = {{dir / "plain", "Not a directory"}};
    // The folder the user named is taken as itself, not where a link leads.
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "linked");
    cases.push_back({dir / "linked", "It is a symbolic link"});

    Mount readOnly(dir / "ro", "size=64k", MS_RDONLY);
    if (readOnly.mounted()) cases.push_back({dir / "ro", "Read-only file system"});
    // Root writes into any folder whatever its mode; the case counts for other users only.
    fs::create_directory(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0500);
    if (::access((dir / "locked").c_str(), W_OK) != 0)
        cases.push_back({dir / "locked", "Permission denied"});
    if (cases.size() < 4) std::cout << "[ note     ] " << cases.size() << " of 4 folders tested\n";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ctx.ui.eWorkdir = c.folder;
        host.lines.clear();
        watch();
        // The folder is the first thing checked: the source is not even opened.
        const std::string refused = "Cannot write to folder \"" + c.folder + "\". " + c.reason;
        EXPECT_EQ(run(bDemuxClick), refused);
        EXPECT_TRUE(host.lines.empty());
        expectClosedAndOnly({});
        EXPECT_EQ(run(bRebuildClick), refused);
        expectClosedAndOnly({});
        EXPECT_TRUE(ctx.ui.bDemux && ctx.ui.bRebuild);
    }
    ::chmod((dir / "locked").c_str(), 0700);
}

// A source the system refuses to open: with the file's mode where the tests run as
// another user than root, with a stream double in its place where root reads anything.
TEST_F(FaultTest, UnreadableSource) {
    const std::string path = dir / "FEATURE_1.EVO";
    writeFile(path, part2);
    ::chmod(path.c_str(), 0200);
    if (::access(path.c_str(), R_OK) == 0) {
        ctx.openFile = [](const std::string& p) -> std::unique_ptr<Stream> {
            throw Error("Cannot open file \"" + p + "\". " + std::strerror(EACCES));
        };
    }
    choose(path);
    watch();
    EXPECT_EQ(run(bCheckClick), "Cannot open file \"" + path + "\". Permission denied");
    expectClosedAndOnly({});
    EXPECT_TRUE(ctx.ui.bCheck); // the user can try again
}

// A medium that cannot be read past 5 MiB, for each job that reads it; the second part
// of a title likewise.
TEST_F(FaultTest, ReadsThatFailEndEveryJobWithTheirReason) {
    prepare(true);
    std::string failing;
    ctx.openFile = [&](const std::string& p) -> std::unique_ptr<Stream> {
        auto s = std::make_unique<MemoryStream>(readFile(p));
        s->name = p;
        if (p == failing) s->readsFailAt = 5 * kMiB;
        return s;
    };
    auto fails = [&](void (*job)(Session&), const std::string& part) {
        SCOPED_TRACE(part);
        failing = part;
        host.lines.clear();
        watch();
        EXPECT_EQ(run(job), "Stream read error: \"" + part + "\". Input/output error.");
        EXPECT_FALSE(done());
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(ctx.ui.bCancel);
    };
    const std::string part2Path = dir / "FEATURE_2.EVO";
    fails(bDemuxClick, part2Path);
    // The first part went whole into the outputs before the second failed.
    EXPECT_EQ(video("FEATURE_1_FEATURE_2"),
              concat({payloads(part1, part1.size()), payloads(part2, 5 * kMiB)}));
    for (auto job : {bDemuxClick, bRebuildClick}) fails(job, source);
    fails(bRebuildClick, part2Path);
    fails(bCheckClick, part2Path);
    fails(bCheckClick, source);
}

// --- a source beyond 4 GiB ------------------------------------------------------------------

// A sparse file of 4097 MiB: padding packets of 65,535 bytes (quick to pass over) up to
// 4 GiB, then a small title, then zeros.
TEST_F(FaultTest, SourceBeyond4GiB) {
    const std::string big = dir / "BIG.EVO";
    const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    constexpr int64_t kStep = 6 + 0xFFFF, kTitleAt = 4096 * kMiB;
    const uint8_t head[9] = {0x00, 0x00, 0x01, 0xBE, 0xFF, 0xFF, 0x81, 0x00, 0x00};
    int64_t at = 0;
    for (; at + kStep <= kTitleAt; at += kStep)
        ASSERT_EQ(::pwrite(fd, head, sizeof head, at), static_cast<ssize_t>(sizeof head));
    const Bytes title = makeTitle(0);
    ASSERT_EQ(::pwrite(fd, title.data(), title.size(), kTitleAt),
              static_cast<ssize_t>(title.size()));
    ASSERT_EQ(::ftruncate(fd, 4097 * kMiB + 12345), 0);
    ::close(fd);

    choose(big);
    ctx.ui.cbFastCheck = false;
    watch();
    bCheckClick(ctx);
    EXPECT_TRUE(hasLine("File size: 4097 Mbytes."));
    EXPECT_TRUE(hasLine("VC-1 video stream 0 found!"));
    EXPECT_TRUE(hasLine("Dolby Digital Plus audio stream 0 found!"));
    EXPECT_TRUE(hasLine("1 frames (0:00:00 s) count in video stream 0."));
    auto progress = [&](const std::string& prefix) {
        return std::count_if(host.status1.begin(), host.status1.end(), [&](const std::string& s) {
            return s.rfind(prefix + "4096/4097 Mbytes, Remaining time: ", 0) == 0;
        });
    };
    EXPECT_EQ(progress(""), 1);
    expectClosedAndOnly({});

    watch();
    bRebuildClick(ctx);
    EXPECT_EQ(progress("Rebuilding BIG.EVO "), 1);
    EXPECT_EQ(readFile(dir / "BIG.rebuilt.EVO"), title); // the only packs in the file
    const int64_t blocks = (4097 * kMiB + 12345 + 2047) / 2048;
    EXPECT_TRUE(hasLine("Blocks without pack header skipped: " +
                        std::to_string(blocks - static_cast<int64_t>(title.size() / 2048))));
    expectClosedAndOnly({dir / "BIG.rebuilt.EVO"});
}

// --- cancel -------------------------------------------------------------------------------

// Where the Cancel click comes: at the n-th message pump of the first or second part.
struct CancelPoint {
    const char* name;
    int part, pump;
};
const CancelPoint kCancelPoints[] = {{"first pump", 1, 1}, {"mid-file", 1, 2}, {"part 2", 2, 1}};

class CancelTest : public FaultTest, public ::testing::WithParamInterface<CancelPoint> {
protected:
    int64_t stopAt = 0; // source position of the block whose pump cancelled
    void SetUp() override {
        prepare(true);
        const CancelPoint& p = GetParam();
        host.answer = true;
        host.onPump = [this, p] {
            const int part = ctx.io.PartStart > 0 ? 2 : 1;
            if (part == p.part && ++pumpsInPart == p.pump && !ctx.control.stopRequested()) {
                // Within the part; the source is the reader's while the pass runs.
                stopAt = ctx.io.BlockEnd - ctx.io.PartStart;
                bCancelClick(ctx);
            }
        };
    }
    int pumpsInPart = 0;
    // Part 1 in full when the cancel came in part 2, then the part read up to the pump.
    Bytes expected(int stream) const {
        const auto end = static_cast<size_t>(stopAt);
        if (GetParam().part == 1) return payloads(part1, end, stream);
        Bytes b = payloads(part1, part1.size(), stream);
        const Bytes second = payloads(part2, end, stream);
        b.insert(b.end(), second.begin(), second.end());
        return b;
    }
    void expectStoppedCleanly(const std::set<std::string>& outputs) {
        EXPECT_TRUE(ctx.control.stopRequested());
        EXPECT_EQ(stopAt, GetParam().pump * 4 * kMiB);
        EXPECT_EQ(countLines("Continue on"), GetParam().part - 1);
        const Lines lines = plainLines(); // no frame count lines after a cancel
        EXPECT_EQ(lines.back(), "");
        const std::string& last = lines[lines.size() - 2];
        // A writing job names what it cut off (their count and folder when more than
        // three); a read has no file to name. No "Done.".
        if (outputs.empty()) {
            EXPECT_EQ(last, "Cancelled.");
        } else if (outputs.size() > 3) {
            EXPECT_EQ(last, "Cancelled: " + std::to_string(outputs.size()) + " files in \"" +
                                dir.path + "\" are incomplete.");
        } else {
            EXPECT_TRUE(last.starts_with("Cancelled: ") && last.ends_with(" incomplete.")) << last;
        }
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Done."), 0);
        expectClosedAndOnly(outputs);
    }
};

TEST_P(CancelTest, Demux) {
    const std::string base = "FEATURE_1_FEATURE_2";
    EXPECT_EQ(run(bDemuxClick), "");
    EXPECT_EQ(host.questions, (Lines{"Are you sure to stop demuxing?"}));
    EXPECT_EQ(video(base), expected(kVC1));
    EXPECT_EQ(audio(base), expected(0xC0));
    expectStoppedCleanly(demuxOutputs(base));
}

TEST_P(CancelTest, Rebuild) {
    EXPECT_EQ(run(bRebuildClick), "");
    Bytes want = slice(part1, 0, GetParam().part == 1 ? static_cast<size_t>(stopAt) : SIZE_MAX);
    if (GetParam().part == 2) {
        const Bytes rest = slice(part2, 0, static_cast<size_t>(stopAt));
        want.insert(want.end(), rest.begin(), rest.end());
    }
    EXPECT_EQ(readFile(stem("FEATURE_1_FEATURE_2") + "rebuilt.EVO"), want);
    expectStoppedCleanly({stem("FEATURE_1_FEATURE_2") + "rebuilt.EVO"});
}

TEST_P(CancelTest, Read) {
    setAutoMode(ctx.ui, 1);
    EXPECT_EQ(run(bCheckClick), "");
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(ctx.cat.FrameCount[0], 0);
    EXPECT_TRUE(ctx.ui.cbVideo[0].checked && ctx.ui.cbAudio[0].checked);
    EXPECT_EQ(countLines("Opening file"), 1); // no Demux after a cancel
    expectStoppedCleanly({});
}

INSTANTIATE_TEST_SUITE_P(Points, CancelTest, ::testing::ValuesIn(kCancelPoints), [](const auto& p) {
    std::string n = p.param.name;
    for (char& c : n)
        if (c == ' ' || c == '-') c = '_';
    return n;
});

} // namespace
} // namespace qf::test
