#pragma once
// The one state a running job shares with other threads and signal handlers: why its pass
// should stop, whether the pass writes files (Cancel then asks first), and the gate that
// holds the pass while a question about stopping it is open. A front end owns one and hands
// it to every job it runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qf {

enum class StopReason : uint8_t {
    None,
    Cancel,    // the user (Cancel, a signal, a window closing)
    FastCheck, // a read pass passed the fast-check limit with some of the source left
    Error,     // the job failed
};

// Holds a pass between blocks while a question about stopping it is open.
class PauseGate {
public:
    void hold() {
        const std::lock_guard lock(m_);
        held_ = true;
    }
    void release() {
        {
            const std::lock_guard lock(m_);
            held_ = false;
        }
        cv_.notify_all();
    }
    // Returns how long it held the caller: the time a question was open, which the
    // remaining time leaves out.
    std::chrono::steady_clock::duration wait() {
        std::unique_lock lock(m_);
        if (!held_) return {};
        const auto from = std::chrono::steady_clock::now();
        cv_.wait(lock, [this] { return !held_; });
        return std::chrono::steady_clock::now() - from;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool held_ = false;
};

class RunControl {
public:
    // Asks the running pass to stop at its next block. The first reason given stands until
    // the next pass clears it. Safe from any thread and from a signal handler.
    void requestStop(StopReason why) noexcept {
        StopReason none = StopReason::None;
        reason_.compare_exchange_strong(none, why);
    }
    bool stopRequested() const noexcept { return reason_.load() != StopReason::None; }
    StopReason stopReason() const noexcept { return reason_.load(); }
    // Every pass starts with no stop asked; `writes` says whether it writes files.
    void beginPass(bool writes) noexcept {
        reason_ = StopReason::None;
        writing_ = writes;
    }
    bool writing() const noexcept { return writing_.load(); }

    PauseGate pause;

private:
    static_assert(std::atomic<StopReason>::is_always_lock_free);
    std::atomic<StopReason> reason_ = StopReason::None;
    std::atomic<bool> writing_ = false;
};

} // namespace qf
