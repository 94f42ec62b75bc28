#include "engine/writer.h"

#include <csignal>
#include <pthread.h>

#include "engine/stream.h"

namespace qf {

std::thread helperThread(std::function<void()> body) {
    // Signals from outside (a Ctrl+C that cancels) stay with the pass's thread: the helper
    // starts with them blocked. Those of a fault are its own.
    sigset_t all, old;
    sigfillset(&all);
    for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT})
        sigdelset(&all, fault);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    std::thread thread;
    try {
        thread = std::thread(std::move(body));
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return thread;
}

namespace {

thread_local Writer* tCurrent = nullptr;
constexpr uint64_t kNoChunk = UINT64_MAX; // what a pass left unfinished: nothing to tell

} // namespace

Writer* Writer::current() {
    return tCurrent;
}

Writer::Scope::Scope(Writer& w) : previous(tCurrent) {
    tCurrent = &w;
}

Writer::Scope::~Scope() {
    tCurrent = previous;
}

Writer::Writer(const uint8_t* buffer, size_t n, std::function<void(uint64_t)> done)
    : buffer_(buffer), size_(n), done_(std::move(done)) {
    // Room for a chunk of a demux of many streams at once; more grows once and stays.
    for (Batch& b : batch_) {
        b.ops.reserve(256);
        b.runs.reserve(8192);
        b.bytes.reserve(16384);
        b.copied.reserve(1024);
    }
    thread_ = helperThread([this] { run(); });
}

Writer::~Writer() {
    std::unique_lock lock(mutex_);
    // Runs added after the last hand-over (a pass that ended with an error) are made too,
    // as they would have been without a writer of their own.
    Batch& rest = batch_[filling_];
    if (!rest.ops.empty()) {
        changed_.wait(lock, [&] { return !rest.full; });
        for (const size_t k : rest.copied)
            rest.runs[k].iov_base =
                rest.bytes.data() + reinterpret_cast<uintptr_t>(rest.runs[k].iov_base);
        rest.chunk = kNoChunk;
        rest.full = true;
        ++handed_;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return made_ == handed_; });
    stopping_ = true;
    changed_.notify_all();
    lock.unlock();
    thread_.join();
}

void Writer::add(FileStream& out, int fd, int64_t pos, const iovec* runs, size_t count) {
    Batch& b = batch_[filling_];
    b.ops.push_back({&out, fd, pos, b.runs.size(), count});
    for (size_t k = 0; k < count; ++k) {
        const auto* p = static_cast<const uint8_t*>(runs[k].iov_base);
        if (p >= buffer_ && p < buffer_ + size_) {
            b.runs.push_back(runs[k]);
            continue;
        }
        // The offset stands in for the base until the batch is handed over: the copies
        // may move while the batch grows.
        b.copied.push_back(b.runs.size());
        b.runs.push_back(
            {reinterpret_cast<void*>(static_cast<uintptr_t>(b.bytes.size())), runs[k].iov_len});
        b.bytes.insert(b.bytes.end(), p, p + runs[k].iov_len);
    }
}

void Writer::handOver(uint64_t chunk) {
    std::unique_lock lock(mutex_);
    Batch& b = batch_[filling_];
    for (const size_t k : b.copied)
        b.runs[k].iov_base = b.bytes.data() + reinterpret_cast<uintptr_t>(b.runs[k].iov_base);
    b.chunk = chunk;
    b.full = true;
    ++handed_;
    changed_.notify_all();
    filling_ ^= 1;
    Batch& next = batch_[filling_];
    changed_.wait(lock, [&] { return !next.full; });
    next.ops.clear();
    next.runs.clear();
    next.bytes.clear();
    next.copied.clear();
}

void Writer::throwFailure(std::unique_lock<std::mutex>& lock) {
    if (!failed_) return;
    FileStream* out = failed_;
    const int err = failedErr_;
    lock.unlock();
    out->lastError_ = err;
    throw Error(out->failure("Stream write error"));
}

void Writer::waitFor(uint64_t chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return madeChunk_ > chunk || failed_; });
    throwFailure(lock);
}

void Writer::drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return made_ == handed_; });
    throwFailure(lock);
}

void Writer::make(Batch& b) {
    for (const Op& op : b.ops) {
        int64_t written = 0;
        const int err = writeRunsAt(op.fd, op.pos, b.runs.data() + op.first, op.count, written);
        if (!err) continue;
        const std::lock_guard lock(mutex_);
        failed_ = op.out;
        failedErr_ = err;
        return;
    }
}

void Writer::run() {
    for (;;) {
        Batch* b = nullptr;
        bool failed = false;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || batch_[made_ % 2].full; });
            if (!batch_[made_ % 2].full) return;
            b = &batch_[made_ % 2];
            failed = failed_ != nullptr;
        }
        // After a failure nothing more is written, as a pass stops at its first error.
        if (!failed) make(*b);
        if (b->chunk != kNoChunk) done_(b->chunk);
        {
            const std::lock_guard lock(mutex_);
            b->full = false;
            ++made_;
            if (b->chunk != kNoChunk) madeChunk_ = b->chunk + 1;
        }
        changed_.notify_all();
    }
}

} // namespace qf
