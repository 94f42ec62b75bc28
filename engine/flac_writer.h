#pragma once
// FLAC files through libFLAC: lossless, compression level 5, with the MD5 of the samples
// and their count in the STREAMINFO written back once the stream ends.
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <cstdint>
#include <exception>

#include "engine/pcm_sink.h"

namespace qf {

class Stream;

class FlacWriter final : public PcmSink {
public:
    // `mask`: the channels' speakers; one other than FLAC's own for the count is written
    // as a WAVEFORMATEXTENSIBLE_CHANNEL_MASK comment.
    FlacWriter(Stream& out, int channels, int bits, int32_t rate, uint32_t mask);
    // Without finish() (a job that failed) nothing more is written.
    ~FlacWriter() override;
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;

    void put(const int32_t* samples, size_t frames) override;
    void finish() override;

private:
    friend struct FlacCallbacks;
    [[noreturn]] void failed();
    void release();

    Stream& out_;
    FLAC__StreamEncoder* encoder_ = nullptr;
    FLAC__StreamMetadata* comment_ = nullptr;
    std::exception_ptr error_; // what a callback met, thrown once libFLAC returns
    int64_t end_ = 0;          // the end of what was written
    bool open_ = false;
};

} // namespace qf
