#include "engine/pcm_out.h"

#include <algorithm>
#include <cstring>

#include "engine/flac_writer.h"
#include "engine/stream.h"
#include "engine/wav_writer.h"

namespace qf {

const char* pcmExtension(PcmFormat format) {
    switch (format) {
    case PcmFormat::Flac:
        return "flac";
    case PcmFormat::Wav:
        return "wav";
    case PcmFormat::Raw:
        break;
    }
    return nullptr;
}

PcmOut::PcmOut(const LpcmFacts& facts, PcmFormat format, Stream& out) : unpacker_(facts) {
    const int c = unpacker_.channels();
    if (format == PcmFormat::Flac)
        sink_ = std::make_unique<FlacWriter>(out, c, unpacker_.bits(), unpacker_.rate(),
                                             unpacker_.mask());
    else if (format == PcmFormat::Wav)
        sink_ = std::make_unique<WavWriter>(out, c, unpacker_.bits(), unpacker_.rate(),
                                            unpacker_.mask());
    else
        throw Error("Raw LPCM is written as it is, not converted.");
    samples_.resize(kFrames * static_cast<size_t>(c));
}

PcmOut::~PcmOut() = default;

void PcmOut::write(const void* data, size_t n) {
    const auto* in = static_cast<const uint8_t*>(data);
    const size_t chunk = unpacker_.chunkBytes();
    const size_t step = unpacker_.chunkFrames();
    const size_t c = static_cast<size_t>(unpacker_.channels());
    if (restBytes_ > 0) {
        const size_t k = std::min(n, chunk - restBytes_);
        std::memcpy(rest_.data() + restBytes_, in, k);
        restBytes_ += k;
        in += k;
        n -= k;
        if (restBytes_ < chunk) return;
        unpacker_.unpack(rest_.data(), samples_.data() + filled_ * c);
        restBytes_ = 0;
        if ((filled_ += step) == kFrames) flush();
    }
    for (; n >= chunk; in += chunk, n -= chunk) {
        unpacker_.unpack(in, samples_.data() + filled_ * c);
        if ((filled_ += step) == kFrames) flush();
    }
    std::memcpy(rest_.data(), in, n);
    restBytes_ = n;
}

void PcmOut::flush() {
    if (filled_ == 0) return;
    sink_->put(samples_.data(), filled_);
    frames_ += filled_;
    filled_ = 0;
}

void PcmOut::finish() {
    if (finished_) return;
    finished_ = true;
    flush();
    sink_->finish();
}

} // namespace qf
