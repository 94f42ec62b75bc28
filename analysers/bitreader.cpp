#include "analysers/bitreader.h"

namespace qf {

void DtsBitReader::BitStart() {
    used = 0;
    window = byteAt(position) << 24 | byteAt(position + 1) << 16 | byteAt(position + 2) << 8 |
             byteAt(position + 3);
    position += 4;
}

void DtsBitReader::BitNext() {
    used -= 8;
    window += byteAt(position);
    ++position;
}

void DtsBitReader::BitSkip(int n) {
    // First finish the partly used low byte, so that every further shift of
    // eight frees a whole byte to refill.
    if (n + used > 8) {
        const int rest = 8 - used;
        window <<= rest;
        n -= rest;
        used = 8;
        BitNext();
    }
    if (n > 8) {
        window <<= 8;
        used = 8;
        BitNext();
        n -= 8;
    }
    window <<= n;
    used += n;
    if (used == 8) BitNext();
}

uint32_t DtsBitReader::BitRead(int n) {
    const uint32_t v = window >> (32 - n);
    BitSkip(n);
    return v;
}

int64_t DtsBitReader::bitsLeft() const {
    const int64_t left =
        8 * (static_cast<int64_t>(end) - static_cast<int64_t>(position)) + 32 - used;
    return left > 0 ? left : 0;
}

uint32_t BitReader::u(int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k) {
        uint32_t bit = 0;
        if (bit_ < 8 * size_)
            bit = (data_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1u;
        else
            overrun_ = true;
        ++bit_;
        v = (v << 1) | bit;
    }
    return v;
}

uint32_t BitReader::ue() {
    int zeros = 0;
    while (u(1) == 0) {
        if (overrun_ || ++zeros > 31) {
            overrun_ = true;
            return 0;
        }
    }
    return zeros == 0 ? 0 : ((1u << zeros) - 1 + u(zeros));
}

int32_t BitReader::se() {
    const uint32_t k = ue();
    const auto magnitude = static_cast<int32_t>((k + 1) / 2);
    return (k & 1) ? magnitude : -magnitude;
}

} // namespace qf
