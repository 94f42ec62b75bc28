#pragma once
// WAVE_FORMAT_EXTENSIBLE files, little-endian samples in containers of 16 or 24 bits (20-bit
// samples left-justified in 24). The header leaves room for a ds64 chunk, so a file whose
// data passes 4 GiB becomes RF64 when it is finished.
#include <cstdint>
#include <vector>

#include "engine/pcm_sink.h"

namespace qf {

class Stream;

class WavWriter final : public PcmSink {
public:
    // Writes the header at the stream's position. `limit` is the largest size the RIFF
    // header's 32-bit fields hold.
    WavWriter(Stream& out, int channels, int bits, int32_t rate, uint32_t mask,
              uint64_t limit = 0xFFFFFFFF);
    void put(const int32_t* samples, size_t frames) override;
    void finish() override;

    static constexpr size_t kHeaderBytes = 104;

private:
    Stream& out_;
    int channels_, container_, shift_;
    int64_t start_ = 0;
    uint64_t frames_ = 0, limit_;
    std::vector<uint8_t> bytes_; // one put's worth, grown to the largest
};

} // namespace qf
