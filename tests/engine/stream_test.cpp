// File streams: error texts, whole-buffer writes, 64-bit sizes and positions.
#include "engine/stream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "support/file_limit.h"
#include "support/ps_builder.h"

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
    const std::pair<std::string, const char*> cases[] = {
        {link, "It is a symbolic link"},        {dangling, "It is a symbolic link"},
        {toSource, "It is a symbolic link"},    {hard, "It is an input of this job"},
        {source, "It is an input of this job"}, {fifo, "Not a regular file"},
        {folder, "Not a regular file"},         {"/dev/null", "Not a regular file"},
    };
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
}

TEST(FileStream, AnOutputIsLockedWhileItIsWritten) {
    TempDir dir;
    const std::string path = dir / "out.mpa";
    writeFile(path, Bytes(100, 0xEE));
    {
        FileStream first(path, FileStream::Mode::Create);
        first.write("ab", 2);
        EXPECT_EQ(errorOf([&] { FileStream s(path, FileStream::Mode::Create); }),
                  "Cannot create file \"" + path + "\". It is being written by another job");
        EXPECT_EQ(readFile(path), (Bytes{'a', 'b'})); // the second one emptied nothing
    }
    FileStream again(path, FileStream::Mode::Create); // closed: free again
    EXPECT_EQ(again.size(), 0);
    EXPECT_EQ(errorOf([&] { FileStream s(path, FileStream::Mode::CreateNew); }),
              "Cannot create file \"" + path + "\". File exists");
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

TEST(FileStream, CreateTruncatesAndWritesWholeBuffers) {
    TempDir dir;
    const std::string path = dir / "out.mpa";
    writeFile(path, Bytes(100, 0xEE));
    {
        FileStream s(path, FileStream::Mode::Create);
        EXPECT_EQ(s.size(), 0);
        const Bytes a = {1, 2, 3}, b = {4, 5};
        s.write(a.data(), a.size());
        s.write(b.data(), b.size());
        EXPECT_EQ(s.position(), 5);
        EXPECT_EQ(s.size(), 5);
    }
    EXPECT_EQ(readFile(path), (Bytes{1, 2, 3, 4, 5}));
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
