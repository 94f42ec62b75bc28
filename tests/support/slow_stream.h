#pragma once
// A source as a slow or stalled medium gives it: reads of a file that can be held before a
// position until the test lets them go on, or paced to a number of bytes per second.
#include <chrono>
#include <memory>
#include <thread>

#include "engine/run_control.h"
#include "engine/stream.h"

namespace qf::test {

// Held reads wait while the gate is held, as a pass waits for an open question.
using ReadGate = PauseGate;

class SlowStream : public Stream {
public:
    // Reads from `holdAt` on wait while `gate` (when given) is held; every read takes as
    // long as its bytes at `bytesPerSecond` (when > 0).
    SlowStream(std::unique_ptr<Stream> inner, std::shared_ptr<ReadGate> gate, int64_t holdAt,
               double bytesPerSecond = 0)
        : inner_(std::move(inner)), gate_(std::move(gate)), holdAt_(holdAt),
          bytesPerSecond_(bytesPerSecond) {}

    size_t read(void* buf, size_t n) override {
        if (gate_ && inner_->position() >= holdAt_) gate_->wait();
        if (bytesPerSecond_ > 0)
            std::this_thread::sleep_for(
                std::chrono::duration<double>(static_cast<double>(n) / bytesPerSecond_));
        return inner_->read(buf, n);
    }
    void write(const void* buf, size_t n) override { inner_->write(buf, n); }
    int64_t size() const override { return inner_->size(); }
    int64_t position() const override { return inner_->position(); }
    void seek(int64_t pos) override { inner_->seek(pos); }
    std::string failure(std::string_view what) const override { return inner_->failure(what); }

private:
    std::unique_ptr<Stream> inner_;
    std::shared_ptr<ReadGate> gate_;
    int64_t holdAt_;
    double bytesPerSecond_;
};

} // namespace qf::test
