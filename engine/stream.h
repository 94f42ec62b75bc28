#pragma once
// Byte streams with 64-bit size and position. Errors are thrown as qf::Error
// carrying the user-facing text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <sys/uio.h>
#include <utility>
#include <vector>

namespace qf {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One of the files a stream joins: where it begins in the stream, its size and path.
struct StreamPart {
    int64_t start = 0, size = 0;
    std::string path;
};

class Stream {
public:
    virtual ~Stream() = default;
    // Reads up to n bytes; returns how many were delivered (0 at the end or on a failure).
    virtual size_t read(void* buf, size_t n) = 0;
    // Writes the whole buffer or throws Error(failure("Stream write error")).
    virtual void write(const void* buf, size_t n) = 0;
    // Writes the runs one after the other, as that many write calls would.
    virtual void writeRuns(const iovec* runs, size_t count) {
        for (size_t k = 0; k < count; ++k) write(runs[k].iov_base, runs[k].iov_len);
    }
    // Ends writing; throws Error(failure("Stream write error")) when what was written
    // could not be kept. A stream that is only destroyed is closed without that check.
    virtual void close() {}
    virtual int64_t size() const = 0;
    virtual int64_t position() const = 0;
    virtual void seek(int64_t pos) = 0;
    // The text of an error of the last read or write: `what` ("Stream read error"), and,
    // for a file, which one and why.
    virtual std::string failure(std::string_view what) const { return std::string(what); }
    // The files the stream joins, in order, when it joins more than one; else none.
    virtual std::span<const StreamPart> parts() const { return {}; }
};

// Writes the runs one after the other at `pos` of the file `fd`, going on where a partial
// write stopped; `written` counts what was taken. Returns 0, or the errno of the failure
// (ENOSPC for a write that took nothing).
int writeRunsAt(int fd, int64_t pos, const iovec* runs, size_t count, int64_t& written);

// Which file a path names, as the system tells it: a link or a second name of a file
// gives the same identity.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};
// The identity of the file at `path` (links followed), or none when it cannot be read.
bool fileIdOf(const std::string& path, FileId& id);

// A folder the outputs of a job are created in, held open while the job writes: a rename
// of the folder, or a link put in its place, cannot send the later outputs elsewhere.
class OutputFolder {
public:
    // The folder at `path` (empty: the current folder), or none with the system's errno in
    // `err`. A folder the user named is taken as itself, never through a symbolic link
    // (err ELOOP); the folder of a source is where the source's path leads.
    static std::shared_ptr<const OutputFolder> open(std::string path, bool named, int& err);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; } // without trailing separators

private:
    OutputFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_ = -1;
    std::string path_;
};

// A file on disk. Open for reading or create/replace for writing.
class FileStream final : public Stream {
public:
    enum class Mode {
        Read,      // a regular file only: a FIFO, device or folder is refused at once
        Create,    // created, or an earlier file of ours replaced
        CreateNew, // as Create, but a file of that name must not exist yet
    };
    // Throws Error("Cannot open file \"path\". reason") or Error("Cannot create file ...").
    // An output is created in `folder` under the last component of `path` (the whole
    // path names it in messages); without a folder, in the folder the path leads to.
    //
    // A new output is created under its name at once (O_EXCL, mode 0644 less the umask)
    // and written there. An existing one is replaced only when it is a regular file of
    // the user who runs the job with no other name: not a symbolic link (whose target
    // whoever made the folder chose), a folder, FIFO or device, nor one of `inputs` under
    // another name, nor a file of another user or one with other links ("It belongs to
    // another user", "It has other links"). It is never written into: the output is
    // written to a new file of a temporary name in the same folder, which close() renames
    // over it. An output is locked (flock: the new file, or the one to be replaced) for
    // as long as the stream is open; one that another process holds gives "... It is
    // being written by another job". Whatever is refused stays untouched.
    FileStream(const std::string& path, Mode mode, const std::vector<FileId>& inputs = {});
    FileStream(std::shared_ptr<const OutputFolder> folder, const std::string& path, Mode mode,
               const std::vector<FileId>& inputs = {});
    // Closes as close() does, without the check: what was written so far (a job that
    // ended with an error) takes the name all the same, as it stays in a new file.
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t read(void* buf, size_t n) override;
    void write(const void* buf, size_t n) override;
    // While a pass runs on this thread with a writer (engine/writer.h), the runs are handed
    // to it and must stay unchanged until it has made them; its failures are thrown as
    // this stream's. A stream takes either runs or write() during a pass, not both.
    void writeRuns(const iovec* runs, size_t count) override;
    int64_t size() const override;
    int64_t position() const override { return pos_; }
    void seek(int64_t pos) override;
    // "what: "path". reason." with the system's reason for the last failed call.
    std::string failure(std::string_view what) const override;
    const std::string& path() const { return path_; }
    // Closes the file and puts a replacement in its place, whatever was written; a late
    // write error (a full disk, a network file system) or a failed rename is thrown as a
    // "Stream write error" naming the file. No temporary file is left behind, also when
    // the rename fails (the earlier file then stays).
    void close() override;
    // Closes without keeping what was written: a new file is removed, a replacement's
    // temporary file too (the earlier file stays). For output another program failed to
    // write or was stopped writing.
    void discard();
    // The descriptor written to (a new file's, or a replacement's temporary file's), for a
    // child process that writes the output; -1 once closed.
    int descriptor() const { return fd_; }

private:
    friend class Writer; // tells this stream's failures

    [[noreturn]] void writeFailed(ssize_t result);
    void create(bool mustBeNew, const std::vector<FileId>& inputs);
    void replace(const std::vector<FileId>& inputs);
    int finish(); // closes and renames; the errno of the first failure, or 0

    int fd_ = -1;
    int64_t pos_ = 0;
    int lastError_ = 0; // errno of the last failed read or write; 0: the file ended early
    std::string path_;
    // An output: its folder and name there; of a replacement, the temporary name it is
    // written under and the file it replaces, held open for the lock.
    std::shared_ptr<const OutputFolder> folder_;
    std::string name_, tempName_;
    int replacedFd_ = -1;
};

} // namespace qf
