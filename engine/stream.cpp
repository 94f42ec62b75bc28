#include "engine/stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {
std::string reason(int err) {
    std::string r = std::strerror(err);
    return r;
}
} // namespace

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
    if (mode == Mode::Read) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
        if (fd_ < 0) throw Error("Cannot open file \"" + path + "\". " + reason(errno));
    } else {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) throw Error("Cannot create file \"" + path + "\". " + reason(errno));
    }
}

FileStream::~FileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t FileStream::read(void* buf, size_t n) {
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, pos_ + static_cast<int64_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    pos_ += static_cast<int64_t>(done);
    return done;
}

void FileStream::write(const void* buf, size_t n) {
    auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, pos_ + static_cast<int64_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            pos_ += static_cast<int64_t>(done);
            throw Error("Stream write error");
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
            if (r <= 0) throw Error("Stream write error");
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

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace qf
