#include "engine/stream.h"

#include <cerrno>
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
