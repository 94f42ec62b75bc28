#include "engine/stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {

std::string openError(const std::string& path, const std::string& reason) {
    return "Cannot open file \"" + path + "\". " + reason;
}

std::string createError(const std::string& path, const std::string& reason) {
    return "Cannot create file \"" + path + "\". " + reason;
}

constexpr const char* kNotRegular = "Not a regular file";

// Opening a FIFO or a device may wait for a peer forever; O_NONBLOCK makes the open
// return at once, so that the kind of file can be checked before anything is read.
void blockAgain(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// Why an open failed. A socket cannot be opened at all: say what it is rather than
// "No such device".
std::string openFailure(const std::string& path, int err) {
    struct stat st {};
    if (err == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return kNotRegular;
    return std::strerror(err);
}

int openSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Error(openError(path, openFailure(path, errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(openError(path, kNotRegular));
    }
    blockAgain(fd);
    return fd;
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int createOutput(const std::string& path, bool mustBeNew, const std::vector<FileId>& inputs) {
    // Not truncated on open: a file that another job writes, or that turns out to be an
    // input, must stay as it is. O_NOFOLLOW: a link, dangling or not, is never written
    // through.
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | (mustBeNew ? O_EXCL : 0), 0666);
    if (fd < 0) {
        const int err = errno;
        if (err == ELOOP || (err == EEXIST && isLink(path)))
            throw Error(createError(path, "It is a symbolic link"));
        if (err == EISDIR) throw Error(createError(path, kNotRegular));
        throw Error(createError(path, openFailure(path, err)));
    }
    auto refuse = [&](const std::string& reason) {
        ::close(fd);
        throw Error(createError(path, reason));
    };
    struct stat st {};
    // Outputs are written at positions and replaced whole: only a regular file can be.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) refuse(kNotRegular);
    // By the opened file, not by name: a hard link or another spelling of a source is
    // still the source.
    for (const FileId& in : inputs)
        if (in == FileId{st.st_dev, st.st_ino}) refuse("It is an input of this job");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        refuse(err == EWOULDBLOCK ? "It is being written by another job" : std::strerror(err));
    }
    if (::ftruncate(fd, 0) != 0) refuse(std::strerror(errno));
    blockAgain(fd);
    return fd;
}

} // namespace

bool fileIdOf(const std::string& path, FileId& id) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

FileStream::FileStream(const std::string& path, Mode mode, const std::vector<FileId>& inputs)
    : path_(path) {
    fd_ =
        mode == Mode::Read ? openSource(path) : createOutput(path, mode == Mode::CreateNew, inputs);
}

FileStream::~FileStream() {
    if (fd_ >= 0) ::close(fd_); // also lets go of the lock
}

void FileStream::close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is gone after close() whatever it returns; EINTR is no failure to
    // retry (the file may already be closed).
    if (::close(fd) != 0 && errno != EINTR) {
        lastError_ = errno;
        throw Error(failure("Stream write error"));
    }
}

std::string FileStream::failure(std::string_view what) const {
    const std::string reason =
        lastError_ ? std::strerror(lastError_) : "The file became shorter while it was read";
    return std::string(what) + ": \"" + path_ + "\". " + reason + ".";
}

size_t FileStream::read(void* buf, size_t n) {
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    lastError_ = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, pos_ + static_cast<int64_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) lastError_ = errno;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    pos_ += static_cast<int64_t>(done);
    return done;
}

void FileStream::writeFailed(ssize_t result) {
    // A write that takes nothing without an error can only mean the device is full.
    lastError_ = result < 0 ? errno : ENOSPC;
    throw Error(failure("Stream write error"));
}

void FileStream::write(const void* buf, size_t n) {
    auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, pos_ + static_cast<int64_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            pos_ += static_cast<int64_t>(done);
            writeFailed(r);
        }
        done += static_cast<size_t>(r);
    }
    pos_ += static_cast<int64_t>(done);
}

#ifdef IOV_MAX
constexpr size_t kMaxRuns = IOV_MAX;
#else
constexpr size_t kMaxRuns = 16;
#endif

void FileStream::writeRuns(const iovec* runs, size_t count) {
    // One system call for many runs; a partial write goes on where it stopped.
    iovec local[kMaxRuns];
    while (count > 0) {
        size_t k = count < kMaxRuns ? count : kMaxRuns;
        std::copy(runs, runs + k, local);
        iovec* v = local;
        while (k > 0) {
            ssize_t r = ::pwritev(fd_, v, static_cast<int>(k), pos_);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) writeFailed(r);
            pos_ += r;
            auto done = static_cast<size_t>(r);
            while (k > 0 && done >= v->iov_len) {
                done -= v->iov_len;
                ++v;
                --k;
                --count;
                ++runs;
            }
            if (k > 0) {
                v->iov_base = static_cast<char*>(v->iov_base) + done;
                v->iov_len -= done;
            }
        }
    }
}

int64_t FileStream::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void FileStream::seek(int64_t pos) {
    pos_ = pos < 0 ? 0 : pos;
}

} // namespace qf
