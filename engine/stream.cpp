#include "engine/stream.h"

#include "engine/writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
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
    // Passes read a source front to back: a file not cached yet is read ahead further.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

constexpr const char* kLink = "It is a symbolic link";
// Less the umask; an output is never left writable by the group or others.
constexpr mode_t kOutputMode = 0644;

// O_PATH: a folder that may be written into need not be readable.
int openFolder(const std::string& path, bool named) {
    return ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (named ? O_NOFOLLOW : 0));
}

// Why an existing file may not be replaced by an output, or null when it may.
const char* replaceRefusal(const struct stat& st, const std::vector<FileId>& inputs) {
    if (S_ISLNK(st.st_mode)) return kLink;
    // Outputs are written at positions and replaced whole: only a regular file can be.
    if (!S_ISREG(st.st_mode)) return kNotRegular;
    // By the file, not by name: a hard link or another spelling of a source is still the
    // source.
    for (const FileId& in : inputs)
        if (in == FileId{st.st_dev, st.st_ino}) return "It is an input of this job";
    // Somebody else's file in a shared folder, or a second name of a file elsewhere: what
    // the job writes must reach neither.
    if (st.st_uid != ::geteuid()) return "It belongs to another user";
    if (st.st_nlink != 1) return "It has other links";
    return nullptr;
}

// A new file of a name nobody can foresee in the folder, for a replacement to be written
// to; its name is put in `name`.
int createTemporary(int dir, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t r = 0;
        if (::getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r))
            r = static_cast<uint64_t>(::getpid()) << 32 ^ static_cast<uint64_t>(::time(nullptr)) ^
                static_cast<uint64_t>(attempt) << 48;
        char buf[40];
        std::snprintf(buf, sizeof buf, ".quillfen-%016llx.part",
                      static_cast<unsigned long long>(r));
        const int fd =
            ::openat(dir, buf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOutputMode);
        if (fd >= 0 || errno != EEXIST) {
            if (fd >= 0) name = buf;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::shared_ptr<const OutputFolder> OutputFolder::open(std::string path, bool named, int& err) {
    if (path.empty()) path = ".";
    // "out/" would lead through a link at "out".
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const int fd = openFolder(path, named);
    if (fd >= 0) return std::shared_ptr<const OutputFolder>(new OutputFolder(fd, std::move(path)));
    err = errno;
    struct stat st {};
    if (named && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) err = ELOOP;
    return nullptr;
}

OutputFolder::~OutputFolder() {
    if (fd_ >= 0) ::close(fd_);
}

bool fileIdOf(const std::string& path, FileId& id) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

FileStream::FileStream(const std::string& path, Mode mode, const std::vector<FileId>& inputs)
    : path_(path) {
    if (mode == Mode::Read) {
        fd_ = openSource(path);
        return;
    }
    const size_t folderEnd = path_.rfind('/') + 1; // 0 without a folder
    int err = 0;
    folder_ = OutputFolder::open(path_.substr(0, folderEnd), false, err);
    if (!folder_) throw Error(createError(path_, std::strerror(err)));
    name_ = path_.substr(folderEnd);
    create(mode == Mode::CreateNew, inputs);
}

FileStream::FileStream(std::shared_ptr<const OutputFolder> folder, const std::string& path,
                       Mode mode, const std::vector<FileId>& inputs)
    : path_(path), folder_(std::move(folder)) {
    if (mode == Mode::Read || !folder_) throw std::logic_error("an output needs a folder");
    name_ = path_.substr(path_.rfind('/') + 1);
    create(mode == Mode::CreateNew, inputs);
}

void FileStream::create(bool mustBeNew, const std::vector<FileId>& inputs) {
    const int dir = folder_->fd();
    // O_EXCL: a new file is made here and now, so nothing planted is opened; an existing
    // one is looked at by itself. A file removed in between is created after all.
    for (int attempt = 0;; ++attempt) {
        fd_ = ::openat(dir, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       kOutputMode);
        if (fd_ >= 0) break;
        const int err = errno;
        if (err != EEXIST)
            throw Error(createError(path_, err == EISDIR ? kNotRegular : std::strerror(err)));
        struct stat st {};
        if (::fstatat(dir, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && attempt < 3) continue;
            throw Error(createError(path_, std::strerror(errno)));
        }
        if (S_ISLNK(st.st_mode)) throw Error(createError(path_, kLink));
        if (mustBeNew) throw Error(createError(path_, std::strerror(EEXIST)));
        if (const char* why = replaceRefusal(st, inputs)) throw Error(createError(path_, why));
        replace(inputs);
        return;
    }
    // Never truncated: a file that is new and empty has nothing for the file system to
    // write back when it is closed.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw Error(createError(path_, err == EWOULDBLOCK ? "It is being written by another job"
                                                          : std::strerror(err)));
    }
}

void FileStream::replace(const std::vector<FileId>& inputs) {
    const int dir = folder_->fd();
    auto refuse = [&](const std::string& reason) {
        if (replacedFd_ >= 0) ::close(replacedFd_);
        replacedFd_ = -1;
        throw Error(createError(path_, reason));
    };
    // Opened only to hold the lock, never written. O_NONBLOCK: what was put under the name
    // in the meantime may be a FIFO, and its kind is looked at again once it is open.
    replacedFd_ = ::openat(dir, name_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (replacedFd_ < 0) {
        const int err = errno;
        refuse(err == ELOOP ? kLink : err == EISDIR ? kNotRegular : std::strerror(err));
    }
    struct stat st {};
    if (::fstat(replacedFd_, &st) != 0) refuse(std::strerror(errno));
    if (const char* why = replaceRefusal(st, inputs)) refuse(why);
    if (::flock(replacedFd_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        refuse(err == EWOULDBLOCK ? "It is being written by another job" : std::strerror(err));
    }
    fd_ = createTemporary(dir, tempName_);
    if (fd_ < 0) refuse(std::strerror(errno));
}

int FileStream::finish() {
    int err = 0;
    if (fd_ >= 0) {
        // The descriptor is gone after close() whatever it returns; EINTR is no failure to
        // retry (the file may already be closed).
        if (::close(fd_) != 0 && errno != EINTR) err = errno;
        fd_ = -1; // a new file's lock goes with it
    }
    if (!tempName_.empty()) {
        // In one step: the name holds the earlier file or the new one, never a mix.
        const int dir = folder_->fd();
        if (::renameat(dir, tempName_.c_str(), dir, name_.c_str()) != 0) {
            if (!err) err = errno;
            ::unlinkat(dir, tempName_.c_str(), 0);
        }
        tempName_.clear();
    }
    if (replacedFd_ >= 0) ::close(replacedFd_); // with the lock, once the name is taken
    replacedFd_ = -1;
    return err;
}

void FileStream::discard() {
    if (fd_ < 0) return;
    const int dir = folder_->fd();
    struct stat own {
    }, named{};
    const bool known = ::fstat(fd_, &own) == 0;
    if (!tempName_.empty()) {
        ::unlinkat(dir, tempName_.c_str(), 0);
        tempName_.clear();
    } else if (known && ::fstatat(dir, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
               named.st_dev == own.st_dev && named.st_ino == own.st_ino) {
        // Only while the name still holds the file this stream created.
        ::unlinkat(dir, name_.c_str(), 0);
    }
    ::close(fd_);
    fd_ = -1;
    if (replacedFd_ >= 0) ::close(replacedFd_);
    replacedFd_ = -1;
}

FileStream::~FileStream() {
    finish();
}

void FileStream::close() {
    if (fd_ < 0) return;
    if (const int err = finish()) {
        lastError_ = err;
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

int writeRunsAt(int fd, int64_t pos, const iovec* runs, size_t count, int64_t& written) {
    // One system call for many runs; a partial write goes on where it stopped.
    iovec local[kMaxRuns];
    written = 0;
    while (count > 0) {
        size_t k = count < kMaxRuns ? count : kMaxRuns;
        std::copy(runs, runs + k, local);
        iovec* v = local;
        while (k > 0) {
            const ssize_t r = ::pwritev(fd, v, static_cast<int>(k), pos + written);
            if (r < 0 && errno == EINTR) continue;
            // A write that takes nothing without an error can only mean the device is full.
            if (r <= 0) return r < 0 ? errno : ENOSPC;
            written += r;
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
    return 0;
}

void FileStream::writeRuns(const iovec* runs, size_t count) {
    if (Writer* w = Writer::current()) {
        w->add(*this, fd_, pos_, runs, count);
        for (size_t k = 0; k < count; ++k) pos_ += static_cast<int64_t>(runs[k].iov_len);
        return;
    }
    int64_t written = 0;
    const int err = writeRunsAt(fd_, pos_, runs, count, written);
    pos_ += written;
    if (err) {
        lastError_ = err;
        throw Error(failure("Stream write error"));
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
