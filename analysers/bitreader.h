#pragma once
// Bit readers of the analysers.
//
// DtsBitReader: most-significant-bit-first reader over raw bytes of the block, used by the
// DTS analyser. The 32-bit window doubles as the analyser's sync-word shift
// register, so scanning and bit reading continue from one shared state.
//
// The reader never touches bytes at or past `end`: a refill beyond it shifts in
// zeros, and bitsLeft() tells whether a field still lies inside the real data.
#include <cstddef>
#include <cstdint>

namespace qf {

struct DtsBitReader {
    const uint8_t* data = nullptr; // the buffer; only [0, end) is ever read
    size_t end = 0;
    size_t position = 0; // next byte to take (may run past end)
    uint32_t window = 0; // the next unread bits are its most significant bits
    int used = 0;        // bits shifted out since the last refill, 0-7 between calls

    DtsBitReader(const uint8_t* d, size_t e, size_t pos) : data(d), end(e), position(pos) {}

    // Loads the four bytes at position into the window.
    void BitStart();
    // Refills the low eight bits (they must be free: used >= 8).
    void BitNext();
    // Consumes n bits, 1 <= n <= 16.
    void BitSkip(int n);
    // Returns and consumes the next n bits, 1 <= n <= 16.
    uint32_t BitRead(int n);

    // Unread bits of real data still ahead (window plus bytes not yet taken).
    int64_t bitsLeft() const;

private:
    uint32_t byteAt(size_t i) const { return i < end ? data[i] : 0u; }
};

// Most-significant-bit-first reader over a byte range, with the Exp-Golomb codes of
// H.264. Reading past the end yields zeros and marks the reader as overrun, so a caller
// reads a run of fields and then asks once whether they were all there.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next n bits, 0 <= n <= 32.
    uint32_t u(int n);
    bool flag() { return u(1) != 0; }
    // ue(v) and se(v); a code longer than 32 bits overruns.
    uint32_t ue();
    int32_t se();

    bool overrun() const { return overrun_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t bit_ = 0;
    bool overrun_ = false;
};

} // namespace qf
