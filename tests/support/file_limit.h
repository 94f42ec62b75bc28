#pragma once
// Lets this process, and the processes it starts, write files of at most `bytes`: a write
// past that fails with EFBIG ("File too large"), as one to a full disk fails with ENOSPC,
// so the write-error paths are reached on any file system.
#include <csignal>
#include <sys/resource.h>

namespace qf::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN); // an error, not the end of the process
        rlimit now = old_;
        now.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &now);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace qf::test
