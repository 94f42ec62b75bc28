// The jobs under faults: a disk that fills up mid-pass, a source that shrinks, is deleted
// or cannot be read, and a source beyond 4 GiB. Each must end with its message, close
// every file it opened and touch no file but its outputs.
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

#include "fault_fixture.h"
#include "support/memory_stream.h"
#include "support/tmpfs_mount.h"

namespace qf::test {
namespace {

// --- disk full --------------------------------------------------------------------------

TEST_F(FaultTest, DiskFullMidDemuxAndMidRebuild) {
    prepare();
    Mount disk(dir / "small", "size=256k");
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    request.workdir = dir / "small";
    const std::string small = dir / "small/FEATURE_1.";
    watch();

    const std::string full = "\". No space left on device.";
    EXPECT_EQ(run(&JobBench::demux), "Stream write error: \"" + small + "VC-1.stream.0.mpv" + full);
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
    for (const char* name : {"VC-1.stream.0.mpv", "DD+.stream.00.mpa", "Subpicture.00.sup"})
        fs::remove(small + name);

    host.lines.clear();
    watch();
    EXPECT_EQ(run(&JobBench::rebuild), "Stream write error: \"" + small + "rebuilt.EVO" + full);
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
        EXPECT_EQ(run(&JobBench::demux), shrunkText());
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
    EXPECT_EQ(run(&JobBench::read), shrunkText());
    EXPECT_TRUE(hasLine("VC-1 video stream 0 found!"));
    EXPECT_FALSE(done());
    expectClosedAndOnly({source});
}

TEST_F(FaultTest, SourceShrinkingDuringARebuildIsAReadError) {
    prepare();
    ctx.openFile = [&](const std::string& p) -> std::unique_ptr<Stream> {
        return std::make_unique<ShrinkingFile>(p, 4 * kMiB, 5 * kMiB);
    };
    EXPECT_EQ(run(&JobBench::rebuild), shrunkText());
    EXPECT_FALSE(done());
    expectClosedAndOnly({source, stem() + "rebuilt.EVO"});
    EXPECT_EQ(readFile(stem() + "rebuilt.EVO"), slice(part1, 0, 5 * kMiB));
}

TEST_F(FaultTest, SourceDeletedWhileReadIsStillReadToItsEnd) {
    prepare();
    host.onPump = [&] {
        if (fileExists(source)) fs::remove(source);
    };
    EXPECT_EQ(run(&JobBench::demux), "");
    EXPECT_TRUE(done());
    EXPECT_FALSE(fileExists(source));
    EXPECT_EQ(video(), payloads(part1, part1.size()));
    EXPECT_EQ(audio(), payloads(part1, part1.size(), 0xC0));
    expectClosedAndOnly(demuxOutputs());

    writeFile(source, part1);
    host.lines.clear();
    watch();
    EXPECT_EQ(run(&JobBench::rebuild), "");
    EXPECT_TRUE(done());
    EXPECT_EQ(readFile(stem() + "rebuilt.EVO"), part1);
    expectClosedAndOnly({stem() + "rebuilt.EVO"});
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
    EXPECT_EQ(run(&JobBench::read), "Cannot open file \"" + path + "\". Permission denied");
    expectClosedAndOnly({});
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
    auto fails = [&](Job job, const std::string& part) {
        SCOPED_TRACE(part);
        failing = part;
        host.lines.clear();
        watch();
        EXPECT_EQ(run(job), "Stream read error: \"" + part + "\". Input/output error.");
        EXPECT_FALSE(done());
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(host.running);
    };
    const std::string part2Path = dir / "FEATURE_2.EVO";
    fails(&JobBench::demux, part2Path);
    // The first part went whole into the outputs before the second failed.
    EXPECT_EQ(video("FEATURE_1_FEATURE_2"),
              concat({payloads(part1, part1.size()), payloads(part2, 5 * kMiB)}));
    for (Job job : {&JobBench::demux, &JobBench::rebuild}) fails(job, source);
    fails(&JobBench::rebuild, part2Path);
    fails(&JobBench::read, part2Path);
    fails(&JobBench::read, source);
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
    request.pass.fastCheck = false;
    watch();
    bench.read();
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
    bench.rebuild();
    EXPECT_EQ(progress("Rebuilding BIG.EVO "), 1);
    EXPECT_EQ(readFile(dir / "BIG.rebuilt.EVO"), title); // the only packs in the file
    const int64_t blocks = (4097 * kMiB + 12345 + 2047) / 2048;
    EXPECT_TRUE(hasLine("Blocks without pack header skipped: " +
                        std::to_string(blocks - static_cast<int64_t>(title.size() / 2048))));
    expectClosedAndOnly({dir / "BIG.rebuilt.EVO"});
}

} // namespace
} // namespace qf::test
