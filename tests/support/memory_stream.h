#pragma once
// In-memory streams for tests: a source or output held in a byte vector, which can be
// told to fail its writes after a number of bytes or to claim a larger size than it holds.
#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/pswriter.h"
#include "engine/stream.h"

namespace qf::test {

class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(Bytes bytes) : data(std::move(bytes)) {}

    Bytes data;
    int64_t pos = 0;
    int writes = 0;                      // write calls that succeeded
    std::optional<size_t> failAfter;     // writes beyond this many bytes in total fail
    std::optional<int64_t> reportedSize; // size() answer instead of data.size()

    size_t read(void* buf, size_t n) override {
        if (pos >= static_cast<int64_t>(data.size())) return 0;
        const size_t k = std::min(n, data.size() - static_cast<size_t>(pos));
        std::memcpy(buf, data.data() + pos, k);
        pos += static_cast<int64_t>(k);
        return k;
    }
    void write(const void* buf, size_t n) override {
        if (failAfter && static_cast<size_t>(pos) + n > *failAfter) {
            // Like a full disk: what fits is written, then the write fails.
            const size_t fits =
                *failAfter > static_cast<size_t>(pos) ? *failAfter - static_cast<size_t>(pos) : 0;
            put(buf, fits);
            throw Error("Stream write error");
        }
        put(buf, n);
        ++writes;
    }
    int64_t size() const override {
        return reportedSize ? *reportedSize : static_cast<int64_t>(data.size());
    }
    int64_t position() const override { return pos; }
    void seek(int64_t p) override { pos = std::max<int64_t>(p, 0); }

private:
    void put(const void* buf, size_t n) {
        const auto* b = static_cast<const uint8_t*>(buf);
        if (data.size() < static_cast<size_t>(pos) + n) data.resize(static_cast<size_t>(pos) + n);
        std::copy(b, b + n, data.begin() + pos);
        pos += static_cast<int64_t>(n);
    }
};

} // namespace qf::test
