#pragma once
// A subpicture stream's bytes gathered into whole units by each unit's size field: 2 bytes,
// or a zero one and 4 more for the 8-bit units of HD DVD. The VobSub and PGS writers share
// it, so that both count and leave out the same units.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

class UnitGatherer {
public:
    // An 8-bit RLE unit of HD DVD may pass 64 KiB; none is larger than this.
    static constexpr size_t kLargestUnit = 16 << 20;
    // A header and one display control sequence (2-bit), or with 4-byte offsets (8-bit).
    static constexpr size_t kSmallestUnit = 9, kSmallestEightBitUnit = 17;

    UnitGatherer() { unit_.reserve(0x10000 + 6); }

    // Takes bytes, calling done() each time they make a unit whole (unit() holds it until
    // done returns). A size field that cannot be a unit's counts the unit unfinished and
    // stops taking bytes until the next restart().
    template <class Done> void feed(const uint8_t* p, size_t n, Done&& done) {
        while (n > 0) {
            if (size_ == kUnreadable) return; // wait for the next time stamp
            if (size_ == 0) {
                const size_t field = unit_.size() >= 2 && unit_[0] == 0 && unit_[1] == 0 ? 6 : 2;
                if (unit_.size() < field) {
                    unit_.push_back(*p++);
                    --n;
                    continue;
                }
                const size_t size = field == 2 ? static_cast<size_t>(unit_[0] << 8 | unit_[1])
                                               : static_cast<size_t>(unit_[2]) << 24 |
                                                     unit_[3] << 16 | unit_[4] << 8 | unit_[5];
                if (size < (field == 2 ? kSmallestUnit : kSmallestEightBitUnit) ||
                    size > kLargestUnit) {
                    ++unfinished_;
                    unit_.clear();
                    size_ = kUnreadable;
                    return;
                }
                size_ = size;
            }
            const size_t take = std::min(n, size_ - unit_.size());
            unit_.insert(unit_.end(), p, p + take);
            p += take;
            n -= take;
            if (unit_.size() == size_) {
                done();
                clear();
            }
        }
    }

    // A unit begins (at a time stamp, or the stream's end): one still being gathered is
    // left out, unfinished.
    void restart() {
        if (!unit_.empty() || (size_ != 0 && size_ != kUnreadable)) ++unfinished_;
        clear();
    }
    void countUnfinished() { ++unfinished_; }

    const std::vector<uint8_t>& unit() const { return unit_; }
    int unfinished() const { return unfinished_; }

private:
    static constexpr size_t kUnreadable = SIZE_MAX;
    void clear() {
        unit_.clear();
        size_ = 0;
    }

    std::vector<uint8_t> unit_;
    size_t size_ = 0; // from its size field; 0 while not known yet
    int unfinished_ = 0;
};

} // namespace qf
