#pragma once
// Converts an LPCM stream, as the demux gathers it, into a file the next tool reads: FLAC
// or WAV, the samples in the channel order those expect. The bytes come in runs of any
// size; a run that ends inside a chunk of samples leaves its rest for the next.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/pcm_layout.h"

namespace qf {

class PcmSink;
class Stream;

// Raw: the payload as it is, unconverted.
enum class PcmFormat : uint8_t { Raw, Flac, Wav };

// The output's extension: "flac", "wav"; nullptr for Raw (the codec's own).
const char* pcmExtension(PcmFormat format);

class PcmOut {
public:
    // Writes the file's header at once. Throws Error for facts it cannot convert, or for
    // the Raw format.
    PcmOut(const LpcmFacts& facts, PcmFormat format, Stream& out);
    ~PcmOut();
    PcmOut(const PcmOut&) = delete;
    PcmOut& operator=(const PcmOut&) = delete;

    void write(const void* data, size_t n);
    // Converts what is left, writes the trailer and patches the header. Bytes short of a
    // whole chunk at the end are left out. Write errors are thrown as the Stream's.
    void finish();

    int channels() const { return unpacker_.channels(); }
    int bits() const { return unpacker_.bits(); }
    int32_t rate() const { return unpacker_.rate(); }
    uint64_t frames() const { return frames_; }

private:
    void flush();

    static constexpr size_t kFrames = 4096; // per hand-over to the sink

    LpcmUnpacker unpacker_;
    std::unique_ptr<PcmSink> sink_;
    std::array<uint8_t, LpcmUnpacker::kMaxChunkBytes> rest_{};
    size_t restBytes_ = 0;
    std::vector<int32_t> samples_; // kFrames of them, allocated once
    size_t filled_ = 0;            // frames in samples_
    uint64_t frames_ = 0;
    bool finished_ = false;
};

} // namespace qf
