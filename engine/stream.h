#pragma once
// Byte streams with 64-bit size and position. Errors are thrown as qf::Error
// carrying the user-facing text.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/uio.h>

namespace qf {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
    virtual int64_t size() const = 0;
    virtual int64_t position() const = 0;
    virtual void seek(int64_t pos) = 0;
    // The text of an error of the last read or write: `what` ("Stream read error"), and,
    // for a file, which one and why.
    virtual std::string failure(std::string_view what) const { return std::string(what); }
};

// A file on disk. Open for reading or create/truncate for writing.
class FileStream final : public Stream {
public:
    enum class Mode {
        Read,      // a regular file only: a FIFO, device or folder is refused at once
        Create,    // created, or emptied once it is locked for this job
        CreateNew, // as Create, but a file of that name must not exist yet
    };
    // Throws Error("Cannot open file \"path\". reason") or Error("Cannot create file ...").
    // An output is locked (flock) for as long as the stream is open; one that another
    // process holds gives "... It is being written by another job" and stays untouched.
    FileStream(const std::string& path, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t read(void* buf, size_t n) override;
    void write(const void* buf, size_t n) override;
    void writeRuns(const iovec* runs, size_t count) override;
    int64_t size() const override;
    int64_t position() const override { return pos_; }
    void seek(int64_t pos) override;
    // "what: "path". reason." with the system's reason for the last failed call.
    std::string failure(std::string_view what) const override;
    const std::string& path() const { return path_; }

private:
    [[noreturn]] void writeFailed(ssize_t result);

    int fd_ = -1;
    int64_t pos_ = 0;
    int lastError_ = 0; // errno of the last failed read or write; 0: the file ended early
    std::string path_;
};

} // namespace qf
