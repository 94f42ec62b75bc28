#pragma once
// Where converted LPCM goes: interleaved samples in channel-mask order, each a signed
// integer of the stream's sample size.
#include <cstddef>
#include <cstdint>

namespace qf {

class PcmSink {
public:
    virtual ~PcmSink() = default;
    virtual void put(const int32_t* samples, size_t frames) = 0;
    // Writes what ends the file and patches its header.
    virtual void finish() = 0;
};

} // namespace qf
