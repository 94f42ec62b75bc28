// File streams: error texts, outputs that never write into what somebody else put under
// their names, whole-buffer writes, 64-bit sizes and positions.
#include "engine/stream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "engine/blockpass.h"
#include "jobs/runner.h"
#include "support/file_limit.h"
#include "support/memory_stream.h"
#include "support/ps_builder.h"
#include "support/recording_events.h"

namespace qf::test {
namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(FileStream, ErrorTexts) {
    TempDir dir;
    const std::string missing = dir / "missing.EVO", fifo = dir / "fifo.EVO";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string nowhere = dir / "no/such/folder/out.mpv";
    struct Case {
        std::string path;
        FileStream::Mode mode;
        std::string text;
    };
    const Case cases[] = {
        {missing, FileStream::Mode::Read,
         "Cannot open file \"" + missing + "\". No such file or directory"},
        // Refused at once, without waiting for a writer or reading a device.
        {dir.path, FileStream::Mode::Read,
         "Cannot open file \"" + dir.path + "\". Not a regular file"},
        {fifo, FileStream::Mode::Read, "Cannot open file \"" + fifo + "\". Not a regular file"},
        {"/dev/zero", FileStream::Mode::Read, "Cannot open file \"/dev/zero\". Not a regular file"},
        {nowhere, FileStream::Mode::Create,
         "Cannot create file \"" + nowhere + "\". No such file or directory"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf([&] { FileStream s(c.path, c.mode); }), c.text);
}

// An output is a new file or a regular file that is replaced. Whatever whoever made the
// folder put under the output's name instead is refused and left exactly as it was.
TEST(FileStream, AnOutputIsNeverALinkAnInputOrAnythingButAFile) {
    TempDir dir;
    const std::string victim = dir / "authorized_keys", source = dir / "movie.VOB";
    writeFile(victim, Bytes{'k', 'e', 'y'});
    ::chmod(victim.c_str(), 0444);
    writeFile(source, Bytes(10, 0x77));
    FileId sourceId;
    ASSERT_TRUE(fileIdOf(source, sourceId));
    const std::string link = dir / "to-victim", dangling = dir / "dangling",
                      toSource = dir / "to-source", hard = dir / "hard", fifo = dir / "fifo",
                      folder = dir / "folder";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(::symlink((dir / "created-through-link").c_str(), dangling.c_str()), 0);
    ASSERT_EQ(::symlink(source.c_str(), toSource.c_str()), 0);
    ASSERT_EQ(::link(source.c_str(), hard.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // A second name of a file that is no input, and a file anyone may write that another
    // user put there (only root can give a file away).
    const std::string victimLink = dir / "second-name", planted = dir / "planted";
    ASSERT_EQ(::link(victim.c_str(), victimLink.c_str()), 0);
    writeFile(planted, Bytes{'p'});
    ASSERT_EQ(::chmod(planted.c_str(), 0666), 0);
    std::vector<std::pair<std::string, const char*>> cases = {
        {link, "It is a symbolic link"},        {dangling, "It is a symbolic link"},
        {toSource, "It is a symbolic link"},    {hard, "It is an input of this job"},
        {source, "It is an input of this job"}, {fifo, "Not a regular file"},
        {folder, "Not a regular file"},         {"/dev/null", "Not a regular file"},
        {victimLink, "It has other links"},
    };
    if (::chown(planted.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) == 0)
        cases.push_back({planted, "It belongs to another user"});
    else
        std::printf("Not run: a file of another user (needs root to give one away)\n");
    const std::vector<std::string> made = folderNames(dir.path);
    for (const auto mode : {FileStream::Mode::Create, FileStream::Mode::CreateNew})
        for (const auto& [name, reason] : cases) {
            const std::string& path = name; // a lambda takes no structured binding in C++20
            SCOPED_TRACE(path);
            const bool exists = std::string(reason) != "It is a symbolic link";
            // CreateNew says that a file exists before it says what the file is.
            const std::string why =
                mode == FileStream::Mode::CreateNew && exists ? "File exists" : reason;
            EXPECT_EQ(errorOf([&] { FileStream s(path, mode, {sourceId}); }),
                      "Cannot create file \"" + path + "\". " + why);
        }
    EXPECT_EQ(readFile(victim), (Bytes{'k', 'e', 'y'}));
    struct stat st {};
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(readFile(source), Bytes(10, 0x77));
    EXPECT_NE(::access((dir / "created-through-link").c_str(), F_OK), 0);
    EXPECT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(planted), Bytes{'p'});
    EXPECT_EQ(folderNames(dir.path), made) << "no file was made";
}

// Two jobs never write one output at once, whether it is new or replaces a file.
TEST(FileStream, AnOutputIsLockedWhileItIsWritten) {
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        TempDir dir;
        const std::string path = dir / "out.mpa";
        const Bytes before = replacing ? Bytes(100, 0xEE) : Bytes{};
        if (replacing) writeFile(path, before);
        FileStream first(path, FileStream::Mode::Create);
        first.write("ab", 2);
        for (const auto mode : {FileStream::Mode::Create, FileStream::Mode::CreateNew})
            EXPECT_EQ(errorOf([&] { FileStream s(path, mode); }),
                      "Cannot create file \"" + path + "\". " +
                          (mode == FileStream::Mode::Create ? "It is being written by another job"
                                                            : "File exists"));
        // A new file is written under its name, a replacement beside it until it is done.
        EXPECT_EQ(readFile(path), replacing ? before : (Bytes{'a', 'b'}));
        first.close();
        EXPECT_EQ(readFile(path), (Bytes{'a', 'b'}));
        FileStream again(path, FileStream::Mode::Create); // closed: free again
        EXPECT_EQ(again.size(), 0);
    }
}

TEST(FileStream, AWriteTheSystemRefusesFails) {
    TempDir dir;
    const std::string path = dir / "out.mpa";
    FileStream s(path, FileStream::Mode::Create);
    const Bytes block(4096, 0x55);
    test::FileSizeLimit limit(1000);
    EXPECT_EQ(errorOf([&] { s.write(block.data(), block.size()); }),
              "Stream write error: \"" + path + "\". File too large.");
}

// A replacement is written to a file of its own and takes the name when it is closed, also
// when it is only destroyed (a job that failed keeps what it wrote, as a new file keeps
// it). No other file is left in the folder.
TEST(FileStream, AReplacementTakesTheNameWhenClosed) {
    const Bytes written = {1, 2, 3, 4, 5}, earlier(100, 0xEE);
    for (const bool replacing : {false, true})
        for (const bool closed : {false, true}) {
            SCOPED_TRACE(std::string(replacing ? "replacing" : "new") +
                         (closed ? ", closed" : ", destroyed"));
            TempDir dir;
            const std::string path = dir / "out.mpa";
            if (replacing) writeFile(path, earlier);
            {
                FileStream s(path, FileStream::Mode::Create);
                EXPECT_EQ(s.size(), 0);
                s.write(written.data(), 3);
                s.write(written.data() + 3, 2);
                EXPECT_EQ(s.position(), 5);
                EXPECT_EQ(s.size(), 5);
                if (closed) s.close();
            }
            EXPECT_EQ(readFile(path), written);
            EXPECT_EQ(folderNames(dir.path), (std::vector<std::string>{"out.mpa"}));
        }
    // A rename that fails (a folder was put under the name meanwhile) drops the file.
    TempDir dir;
    const std::string path = dir / "out.mpa";
    writeFile(path, earlier);
    FileStream s(path, FileStream::Mode::Create);
    s.write(written.data(), written.size());
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(errorOf([&] { s.close(); }), "Stream write error: \"" + path + "\". Is a directory.");
    EXPECT_EQ(folderNames(dir.path), (std::vector<std::string>{"out.mpa"}));
}

// Outputs are 0644 less the umask, also where the file they replace was writable by all.
TEST(FileStream, AnOutputIsNeverWritableByOthers) {
    struct Case {
        mode_t umask, earlier, made;
    };
    const Case cases[] = {
        {022, 0, 0644}, {0, 0, 0644}, {022, 0666, 0644}, {0, 0666, 0644}, {077, 0644, 0600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.umask << " " << c.earlier);
        TempDir dir;
        const std::string path = dir / "out.mpa";
        if (c.earlier) {
            writeFile(path, Bytes{'x'});
            ASSERT_EQ(::chmod(path.c_str(), c.earlier), 0);
        }
        const mode_t old = ::umask(c.umask);
        {
            FileStream s(path, FileStream::Mode::Create);
            s.close();
        }
        ::umask(old);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.made);
    }
}

// The folder is opened once: what its name leads to later does not matter to the
// outputs created in it. A folder the user names is never taken through a link.
TEST(OutputFolder, OutputsFollowTheFolderNotItsName) {
    TempDir dir;
    const std::string out = dir / "out", moved = dir / "moved", other = dir / "other";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
    int err = 0;
    const auto folder = OutputFolder::open(out, true, err);
    ASSERT_TRUE(folder);
    ASSERT_EQ(::rename(out.c_str(), moved.c_str()), 0);
    ASSERT_EQ(::symlink(other.c_str(), out.c_str()), 0);
    FileStream s(folder, out + "/late.txt", FileStream::Mode::Create);
    s.close();
    EXPECT_EQ(folderNames(moved), (std::vector<std::string>{"late.txt"}));
    EXPECT_TRUE(folderNames(other).empty());

    for (const std::string& named : {out, out + "/", out + "//"}) {
        EXPECT_FALSE(OutputFolder::open(named, true, err)) << named;
        EXPECT_EQ(err, ELOOP);
    }
    // The folder of a source is where its path leads.
    const auto ofSource = OutputFolder::open(out + "/", false, err);
    ASSERT_TRUE(ofSource);
    EXPECT_EQ(ofSource->path(), out);
}

TEST(FileStream, GatheredRunsLandInOrder) {
    // More runs than one system call takes, of mixed sizes, some empty.
    TempDir dir;
    Bytes expected;
    std::vector<Bytes> parts;
    for (size_t k = 0; k < 3000; ++k) parts.push_back(Bytes(k % 7 == 0 ? 0 : k % 300, uint8_t(k)));
    std::vector<iovec> runs;
    for (auto& part : parts) {
        runs.push_back({part.data(), part.size()});
        expected.insert(expected.end(), part.begin(), part.end());
    }
    {
        FileStream f(dir / "runs", FileStream::Mode::Create);
        f.write("ab", 2);
        f.writeRuns(runs.data(), runs.size());
        EXPECT_EQ(f.position(), static_cast<int64_t>(expected.size() + 2));
    }
    expected.insert(expected.begin(), {'a', 'b'});
    EXPECT_EQ(readFile(dir / "runs"), expected);

    FileStream full(dir / "full", FileStream::Mode::Create);
    test::FileSizeLimit limit(1000);
    try {
        full.writeRuns(runs.data(), runs.size());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), "Stream write error: \"" + dir / "full" + "\". File too large.");
    }
}

// A pass's writes are made on a writer thread of their own: what each block gave reaches
// the file whole and in order, also the bytes from a table the next block fills again; a
// stop leaves the file with what the blocks parsed gave; a write error ends the pass with
// the file's error text before the next progress line, where it came without that thread.
TEST(FileStream, APassWritesOnAThreadOfItsOwn) {
    // Each block's bytes after a header from a table that each chunk fills again.
    class Copier final : public BlockHandler {
    public:
        Copier(JobRunner& c, Stream& o) : ctx(c), out(o) {}
        void parseBlock(std::span<const uint8_t> b) override {
            auto& header = headers[blocks++ % 16];
            header.fill(static_cast<uint8_t>(blocks));
            runs.push_back({header.data(), header.size()});
            runs.push_back({const_cast<uint8_t*>(b.data()), b.size()});
            if (blocks == cancelAt) ctx.control.requestStop(StopReason::Cancel);
        }
        void writeChunk() override {
            out.writeRuns(runs.data(), runs.size());
            runs.clear();
        }
        JobRunner& ctx;
        Stream& out;
        size_t blocks = 0, cancelAt = 0;
        std::array<std::array<uint8_t, 6>, 16> headers{};
        std::vector<iovec> runs;
    };
    const size_t size = 3 * kChunkSize + 1000;
    Bytes source(size);
    for (size_t k = 0; k < size; ++k) source[k] = static_cast<uint8_t>(k * 13 + k / 5003);
    struct Case {
        const char* name;
        size_t cancelAt;
        rlim_t limit;
        size_t blocks; // parsed, and written unless the write failed
        size_t left;   // where the source is left, in blocks
        size_t progressLines;
        bool fails;
    };
    const Case cases[] = {
        {"whole", 0, RLIM_INFINITY, 49, 49, 3, false},
        {"stopped mid-chunk", 21, RLIM_INFINITY, 21, 21, 1, false},
        // The second chunk's writes fail while the third is parsed: the error comes before
        // the third's progress line, as it did when the pass wrote itself.
        {"disk full", 0, kChunkSize + kChunkSize / 2, 47, 48, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "out.mpv";
        RecordingEvents host;
        JobRunner ctx(host);
        ctx.io.SourceStream = std::make_unique<MemoryStream>(source);
        std::string error;
        Bytes expected;
        {
            FileStream out(path, FileStream::Mode::Create);
            Copier copier(ctx, out);
            copier.cancelAt = c.cancelAt;
            test::FileSizeLimit limit(c.limit);
            try {
                BlockPassSettings how;
                how.writes = true;
                runBlocks(ctx, how, copier);
                out.close();
            } catch (const Error& e) {
                error = e.what();
            }
            EXPECT_EQ(copier.blocks, c.blocks);
            for (size_t k = 0; k < copier.blocks; ++k) {
                expected.insert(expected.end(), 6, static_cast<uint8_t>(k + 1));
                const auto from = source.begin() + static_cast<std::ptrdiff_t>(k * kBlockSize);
                expected.insert(expected.end(), from,
                                from + static_cast<std::ptrdiff_t>(
                                           std::min(kBlockSize, size - k * kBlockSize)));
            }
        }
        EXPECT_EQ(host.status1.size(), c.progressLines);
        EXPECT_EQ(ctx.io.SourceStream->position(),
                  static_cast<int64_t>(std::min(size, c.left * kBlockSize)));
        const Bytes written = readFile(path);
        if (c.fails) {
            EXPECT_EQ(error, "Stream write error: \"" + path + "\". File too large.");
            EXPECT_EQ(written.size(), c.limit);
            expected.resize(std::min(expected.size(), written.size()));
        } else {
            EXPECT_EQ(error, "");
        }
        EXPECT_TRUE(written == expected);
    }
}

TEST(FileStream, ReadsUpToTheEnd) {
    TempDir dir;
    const std::string path = dir / "in.EVO";
    writeFile(path, {10, 11, 12, 13, 14});
    FileStream s(path, FileStream::Mode::Read);
    uint8_t buf[8] = {};
    EXPECT_EQ(s.read(buf, 3), 3u);
    EXPECT_EQ(s.read(buf, 8), 2u);
    EXPECT_EQ(buf[0], 13);
    EXPECT_EQ(s.position(), 5);
    EXPECT_EQ(s.read(buf, 8), 0u);
    s.seek(-4);
    EXPECT_EQ(s.position(), 0);
    s.seek(4);
    EXPECT_EQ(s.read(buf, 8), 1u);
    EXPECT_EQ(buf[0], 14);
}

TEST(FileStream, SizesAndPositionsBeyond4GiB) {
    TempDir dir;
    const std::string path = dir / "huge.EVO";
    constexpr int64_t kSize = 5LL << 30;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const uint8_t mark[2] = {0xAB, 0xCD};
    ASSERT_EQ(::pwrite(fd, mark, 2, kSize - 2), 2); // sparse: no disk space used
    ::close(fd);

    FileStream s(path, FileStream::Mode::Read);
    EXPECT_EQ(s.size(), kSize);
    s.seek(kSize - 3);
    uint8_t buf[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(s.read(buf, 4), 3u);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0xAB);
    EXPECT_EQ(buf[2], 0xCD);
    EXPECT_EQ(s.position(), kSize);
}

} // namespace
} // namespace qf::test
