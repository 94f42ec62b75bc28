#pragma once
// Byte streams with 64-bit size and position. Errors are thrown as qf::Error
// carrying the user-facing text.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
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
    // Writes the whole buffer or throws Error("Stream write error").
    virtual void write(const void* buf, size_t n) = 0;
    // Writes the runs one after the other, as that many write calls would.
    virtual void writeRuns(const iovec* runs, size_t count) {
        for (size_t k = 0; k < count; ++k) write(runs[k].iov_base, runs[k].iov_len);
    }
    virtual int64_t size() const = 0;
    virtual int64_t position() const = 0;
    virtual void seek(int64_t pos) = 0;
};

// A file on disk. Open for reading or create/truncate for writing.
class FileStream final : public Stream {
public:
    enum class Mode { Read, Create };
    // Throws Error("Cannot open file \"path\". reason") or Error("Cannot create file ...").
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
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    int64_t pos_ = 0;
    std::string path_;
};

// Does a file (not a folder) exist at path?
bool fileExists(const std::string& path);

} // namespace qf
