#include "engine/blockpass.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <sys/mman.h>
#include <thread>

#include "engine/demux.h"
#include "engine/paths.h"
#include "engine/writer.h"

namespace qf {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The time still expected from the pace so far (a second more, so that the text never
// shows 0:00:00 while the pass runs).
Seconds remainingTime(int64_t pos, int64_t size, Clock::time_point started) {
    const Seconds elapsed = Clock::now() - started;
    return elapsed * (static_cast<double>(size) / static_cast<double>(pos)) - elapsed + Seconds(1);
}

// The part of the source that holds `pos`: the whole source when it joins no parts.
size_t partIndex(std::span<const StreamPart> parts, int64_t pos) {
    size_t k = 0;
    while (k + 1 < parts.size() && pos >= parts[k + 1].start) ++k;
    return k;
}
StreamPart partOf(const Stream& src, int64_t pos) {
    const std::span<const StreamPart> parts = src.parts();
    if (parts.empty()) return {0, src.size(), {}};
    return parts[partIndex(parts, pos)];
}

// What the progress line starts with in `part`.
std::string progressPrefix(const BlockPassSettings& settings, const StreamPart& part) {
    if (!settings.partInProgress) return settings.progressPrefix;
    return settings.partVerb + " " +
           (part.path.empty() ? settings.progressPrefix : namePart(part.path)) + " ";
}

// Reads the source on a thread of its own, chunk after chunk into the slots of the
// buffer, while the pass parses and writes the chunk before: reading a cached file costs
// about as much as parsing it. The reads are the ones the pass would make itself, each up
// to the next multiple of the chunk size, so blocks fall where they always did. Only the
// reader touches the source until stop().
class ReadAhead {
public:
    static constexpr size_t kSlots = 2; // one being parsed and written, one being read
    struct Chunk {
        int64_t start = 0; // source position of its first byte
        size_t got = 0;    // 0: the read failed
        size_t at = 0;     // where it is in the buffer
    };

    ReadAhead(Stream& src, int64_t size, uint8_t* buffer)
        : src_(src), size_(size), buffer_(buffer) {
        thread_ = helperThread([this] { run(); });
    }
    ~ReadAhead() { stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Waits for the next chunk; false once the source has been read to its size. A read
    // that failed is thrown here, in the order the chunks come.
    bool next(Chunk& chunk) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return filled_ > given_ || ended_; });
        if (filled_ == given_) return false;
        chunk = chunks_[given_ % kSlots];
        if (chunk.got > 0) {
            ++given_;
            return true;
        }
        if (thrown_) std::rethrow_exception(thrown_);
        throw Error(failure_);
    }
    // The pass and its writer are done with the oldest chunk next() gave: its slot may be
    // filled again. Any thread may call it.
    void release() {
        {
            const std::lock_guard lock(mutex_);
            ++taken_;
        }
        changed_.notify_all();
    }
    // Ends the reader after the read it may be making; the source is the pass's again.
    void stop() {
        if (!thread_.joinable()) return;
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    void run() {
        for (uint64_t k = 0;; ++k) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || k - taken_ < kSlots; });
                if (stopping_) return;
            }
            Chunk chunk;
            chunk.start = src_.position();
            chunk.at = (k % kSlots) * kChunkSize;
            if (chunk.start >= size_) break;
            // Up to the next multiple of the chunk size from the start of the part, so that
            // the event loop's turns fall on chunk ends and a part's blocks fall where they
            // would if it were read alone.
            const auto from = static_cast<uint64_t>(chunk.start - partOf(src_, chunk.start).start);
            const auto want = static_cast<size_t>(kChunkSize - from % kChunkSize);
            std::string failure;
            std::exception_ptr thrown;
            try {
                chunk.got = src_.read(buffer_ + chunk.at, want);
                if (chunk.got == 0) failure = src_.failure("Stream read error");
            } catch (...) {
                chunk.got = 0;
                thrown = std::current_exception();
            }
            {
                const std::lock_guard lock(mutex_);
                chunks_[k % kSlots] = chunk;
                ++filled_;
                if (chunk.got == 0) {
                    failure_ = std::move(failure);
                    thrown_ = thrown;
                    ended_ = true;
                }
            }
            changed_.notify_all();
            if (chunk.got == 0) return;
        }
        {
            const std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

    Stream& src_;
    const int64_t size_;
    uint8_t* const buffer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Chunk, kSlots> chunks_{};
    uint64_t filled_ = 0, given_ = 0, taken_ = 0; // chunks read, parsed, done with
    bool ended_ = false, stopping_ = false;
    std::string failure_;
    std::exception_ptr thrown_;
    std::thread thread_;
};

// The read buffer in pages of 2 MiB where the system has them: copying a chunk in and out
// then takes a few entries of the address cache rather than a thousand. Its pages are given
// back first, so that they come again as large ones when the reader fills them.
void useHugePages(uint8_t* p, size_t n) {
    constexpr uintptr_t kHuge = 2 * 1024 * 1024;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
    if (to <= from) return;
    auto* at = reinterpret_cast<void*>(from);
    if (::madvise(at, to - from, MADV_HUGEPAGE) == 0) ::madvise(at, to - from, MADV_DONTNEED);
}

} // namespace

void runBlocks(PassEnv& env, const BlockPassSettings& settings, BlockHandler& handler) {
    env.events.passRunning(true);
    env.control.beginPass(settings.writes);
    struct Restore {
        PassEnv& c;
        ~Restore() {
            c.events.passRunning(false);
            c.io.BlockAt = 0;
        }
    } restore{env};

    const Clock::time_point started = Clock::now();
    Clock::duration paused{};
    Stream& src = *env.io.SourceStream;
    const int64_t size = src.size();
    const std::span<const StreamPart> parts = src.parts();
    if (src.position() >= size || env.control.stopRequested()) return;
    if (env.io.ReadBuffer.size() < ReadAhead::kSlots * kChunkSize) {
        std::vector<uint8_t>().swap(env.io.ReadBuffer); // gone before the larger one is made
        env.io.ReadBuffer.resize(ReadAhead::kSlots * kChunkSize);
        useHugePages(env.io.ReadBuffer.data(), env.io.ReadBuffer.size());
    }

    // Where the source is left: after the last block parsed (the reader may be ahead).
    int64_t leaveAt = src.position();
    StreamPart part = partOf(src, leaveAt);
    std::string prefix = progressPrefix(settings, part);
    env.io.PartStart = part.start;
    ReadAhead ahead(src, size, env.io.ReadBuffer.data());
    struct Leave {
        ReadAhead& ahead;
        Stream& src;
        const int64_t& at;
        ~Leave() {
            ahead.stop();
            try {
                if (src.position() != at) src.seek(at);
            } catch (...) { // the pass's own error, if any, is the one to tell
            }
        }
    } leave{ahead, src, leaveAt};

    // The writes of a chunk are made on the writer's thread while the next one is parsed;
    // its slot is read into again only once they are made. A write error of a chunk is
    // thrown before the next progress line, where it came when the pass wrote itself.
    // A pass that writes nothing releases its chunks itself.
    std::optional<Writer> writer;
    std::optional<Writer::Scope> writing;
    if (settings.writes) {
        writer.emplace(env.io.ReadBuffer.data(), env.io.ReadBuffer.size(),
                       [&ahead](uint64_t) { ahead.release(); });
        writing.emplace(*writer);
    }
    uint64_t chunks = 0;
    ReadAhead::Chunk chunk;
    while (!env.control.stopRequested() && ahead.next(chunk)) {
        const size_t got = chunk.got;
        leaveAt = chunk.start + static_cast<int64_t>(got);
        // A chunk never spans two parts: the next part begins with one.
        if (chunk.start >= part.start + part.size && !parts.empty()) {
            if (writer && chunks > 0) writer->waitFor(chunks - 1); // its errors come first
            part = partOf(src, chunk.start);
            const size_t index = partIndex(parts, chunk.start);
            prefix = progressPrefix(settings, part);
            env.io.PartStart = part.start;
            env.tell(PartStarted{index, part.path, settings.partVerb});
            handler.partStarted();
        }
        for (size_t at = 0; at < got; at += kBlockSize) {
            const size_t len = std::min(kBlockSize, got - at);
            const int64_t pos = chunk.start + static_cast<int64_t>(at + len);
            const int64_t inPart = pos - part.start; // a part is paced as if read alone
            env.io.BlockAt = chunk.at + at;
            env.io.BlockLen = len;
            env.io.BlockEnd = pos;
            if (inPart % kPumpInterval == 0) {
                if (writer && chunks > 0) writer->waitFor(chunks - 1);
                env.tell(Progress{pos, size, remainingTime(pos, size, started + paused), prefix});
                env.events.processEvents();
            }
            // Only a block that leaves some of the part unread stops the pass: a part read
            // to its end has been checked whole.
            if (settings.stopPast > 0 && inPart > settings.stopPast && inPart < part.size)
                env.control.requestStop(StopReason::FastCheck);
            if (inPart % kRepaintInterval == 0) env.events.repaint();
            paused += env.control.pause.wait(); // while the user is asked whether to stop
            handler.parseBlock({env.io.ReadBuffer.data() + chunk.at + at, len});
            // A stop is seen between blocks: the source is left where the last one ended.
            if (env.control.stopRequested() && at + len < got) {
                leaveAt = pos;
                break;
            }
        }
        handler.writeChunk();
        if (writer)
            writer->handOver(chunks++);
        else
            ahead.release();
    }
    if (writer) writer->drain();
}

} // namespace qf
