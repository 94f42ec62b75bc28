#pragma once
// In-memory streams for tests: a source or output held in a byte vector, which can be
// told to fail its writes or its reads after a number of bytes (as a disk that fills up
// or a medium that cannot be read further) or to claim a larger size than it holds.
#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/stream.h"
#include "samples/pswriter.h"

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
    std::optional<size_t> readsFailAt;   // reads deliver nothing from this position on
    std::string name;                    // a file name for failure(); none: the bare words

    size_t read(void* buf, size_t n) override {
        const size_t end = std::min(data.size(), readsFailAt.value_or(data.size()));
        if (pos >= static_cast<int64_t>(end)) return 0;
        const size_t k = std::min(n, end - static_cast<size_t>(pos));
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
    std::string failure(std::string_view what) const override {
        return name.empty() ? std::string(what)
                            : std::string(what) + ": \"" + name + "\". Input/output error.";
    }

private:
    void put(const void* buf, size_t n) {
        const auto* b = static_cast<const uint8_t*>(buf);
        if (data.size() < static_cast<size_t>(pos) + n) data.resize(static_cast<size_t>(pos) + n);
        std::copy(b, b + n, data.begin() + pos);
        pos += static_cast<int64_t>(n);
    }
};

} // namespace qf::test
