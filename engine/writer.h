#pragma once
// Writes the outputs of a pass on a thread of its own, so that the copy into the page cache
// (most of a demux's time on a disk's file system) runs beside the parsing. The runs a pass
// gathers point into the read buffer and are handed over by pointer, a chunk at a time; the
// few bytes from elsewhere (record headers, changed bytes) are copied, as their tables are
// filled again by the next chunk. Memory is two batches of runs, each grown to what the
// largest chunk needs; nothing is allocated per packet.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/uio.h>

namespace qf {

// A thread for a pass's reader or writer: it starts with the signals from outside blocked,
// so that they reach the pass's own thread.
std::thread helperThread(std::function<void()> body);

class FileStream;

class Writer {
public:
    // `buffer` (n bytes) is the read buffer, whose bytes stay put until `done` is called
    // with the chunk they came in. `done(chunk)` runs on the writer's thread once that
    // chunk's writes have been made, or left out after an error.
    Writer(const uint8_t* buffer, size_t n, std::function<void(uint64_t)> done);
    // Makes what was handed over, then ends the thread; an error is not thrown here.
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The writer whose pass runs on this thread, or null: FileStream::writeRuns hands its
    // runs over to it instead of writing them.
    static Writer* current();
    // Makes this writer the calling thread's current one for as long as it lives.
    struct Scope {
        explicit Scope(Writer& w);
        ~Scope();
        Writer* previous;
    };

    // Runs for `out`'s descriptor at `pos`, in order with everything handed over before.
    void add(FileStream& out, int fd, int64_t pos, const iovec* runs, size_t count);
    // Hands over what was added since the last call, as the writes of chunk `chunk`. Waits
    // while the writer still makes the batch before (there are two).
    void handOver(uint64_t chunk);
    // Waits until the batches of chunks up to `chunk` are made; a write that failed is
    // thrown as that output's "Stream write error".
    void waitFor(uint64_t chunk);
    // Waits until everything handed over is made, and throws as waitFor() does.
    void drain();

private:
    struct Op {
        FileStream* out;
        int fd;
        int64_t pos;
        size_t first, count; // of the batch's runs
    };
    struct Batch {
        std::vector<Op> ops;
        std::vector<iovec> runs;
        std::vector<uint8_t> bytes; // copies of the runs from outside the buffer
        std::vector<size_t> copied; // runs whose base is an offset into `bytes`
        uint64_t chunk = 0;
        bool full = false; // handed over, not made yet
    };

    void run();
    void make(Batch& b);
    void throwFailure(std::unique_lock<std::mutex>& lock);

    const uint8_t* const buffer_;
    const size_t size_;
    std::function<void(uint64_t)> done_;
    Batch batch_[2];
    int filling_ = 0; // the batch add() fills
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t handed_ = 0, made_ = 0; // batches handed over, batches made
    uint64_t madeChunk_ = 0;         // 1 + the last chunk made; 0: none yet
    bool stopping_ = false;
    // The first failure: the output and the system's errno. Later writes are left out.
    FileStream* failed_ = nullptr;
    int failedErr_ = 0;
    std::thread thread_;
};

} // namespace qf
