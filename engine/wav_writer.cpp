#include "engine/wav_writer.h"

#include <cstring>

#include "engine/stream.h"

namespace qf {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
void put64(uint8_t* p, uint64_t v) {
    put32(p, static_cast<uint32_t>(v));
    put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// KSDATAFORMAT_SUBTYPE_PCM
constexpr uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

WavWriter::WavWriter(Stream& out, int channels, int bits, int32_t rate, uint32_t mask,
                     uint64_t limit)
    : out_(out), channels_(channels), container_(bits > 16 ? 24 : 16), shift_(container_ - bits),
      limit_(limit) {
    start_ = out_.position();
    const uint32_t align = static_cast<uint32_t>(channels_ * container_ / 8);
    uint8_t h[kHeaderBytes] = {};
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVE", 4);
    // Room for ds64 (RIFF size, data size, sample count, an empty table), named JUNK
    // while the file stays below 4 GiB.
    std::memcpy(h + 12, "JUNK", 4);
    put32(h + 16, 28);
    std::memcpy(h + 48, "fmt ", 4);
    put32(h + 52, 40);
    put16(h + 56, 0xFFFE); // WAVE_FORMAT_EXTENSIBLE
    put16(h + 58, static_cast<uint32_t>(channels_));
    put32(h + 60, static_cast<uint32_t>(rate));
    put32(h + 64, static_cast<uint32_t>(rate) * align);
    put16(h + 68, align);
    put16(h + 70, static_cast<uint32_t>(container_));
    put16(h + 72, 22);
    put16(h + 74, static_cast<uint32_t>(bits));
    put32(h + 76, mask);
    std::memcpy(h + 80, kPcmGuid, 16);
    std::memcpy(h + 96, "data", 4);
    out_.write(h, sizeof h);
}

void WavWriter::put(const int32_t* samples, size_t frames) {
    const size_t n = frames * static_cast<size_t>(channels_);
    const size_t width = static_cast<size_t>(container_ / 8);
    if (bytes_.size() < n * width) bytes_.resize(n * width);
    uint8_t* p = bytes_.data();
    for (size_t k = 0; k < n; ++k, p += width) {
        const uint32_t v = static_cast<uint32_t>(samples[k]) << shift_;
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        if (width == 3) p[2] = static_cast<uint8_t>(v >> 16);
    }
    out_.write(bytes_.data(), n * width);
    frames_ += frames;
}

void WavWriter::finish() {
    const uint64_t data = frames_ * static_cast<uint64_t>(channels_ * container_ / 8);
    // A chunk of an odd size is followed by a pad byte.
    if (data % 2 != 0) {
        const uint8_t pad = 0;
        out_.write(&pad, 1);
    }
    const int64_t end = out_.position();
    const uint64_t riff = kHeaderBytes - 8 + data + data % 2;
    if (riff <= limit_) {
        uint8_t size[4];
        put32(size, static_cast<uint32_t>(riff));
        out_.seek(start_ + 4);
        out_.write(size, 4);
        put32(size, static_cast<uint32_t>(data));
        out_.seek(start_ + 100);
        out_.write(size, 4);
    } else {
        uint8_t h[48];
        std::memcpy(h, "RF64", 4);
        put32(h + 4, 0xFFFFFFFF);
        std::memcpy(h + 8, "WAVE", 4);
        std::memcpy(h + 12, "ds64", 4);
        put32(h + 16, 28);
        put64(h + 20, riff);
        put64(h + 28, data);
        put64(h + 36, frames_);
        put32(h + 44, 0);
        out_.seek(start_);
        out_.write(h, 48);
        uint8_t size[4];
        put32(size, 0xFFFFFFFF);
        out_.seek(start_ + 100);
        out_.write(size, 4);
    }
    out_.seek(end);
}

} // namespace qf
