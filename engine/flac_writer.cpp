#include "engine/flac_writer.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/pcm_layout.h"
#include "engine/stream.h"

namespace qf {

// libFLAC's callbacks onto the Stream. An exception must not pass through libFLAC: it is
// kept and thrown once libFLAC returns.
struct FlacCallbacks {
    static FlacWriter& of(void* client) { return *static_cast<FlacWriter*>(client); }

    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*, const FLAC__byte buf[],
                                                size_t n, uint32_t, uint32_t, void* client) {
        FlacWriter& w = of(client);
        if (!w.open_ || w.error_) return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        try {
            w.out_.write(buf, n);
            w.end_ = std::max(w.end_, w.out_.position());
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (...) {
            w.error_ = std::current_exception();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 pos,
                                              void* client) {
        FlacWriter& w = of(client);
        if (!w.open_ || w.error_) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        try {
            w.out_.seek(static_cast<int64_t>(pos));
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        } catch (...) {
            w.error_ = std::current_exception();
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }
    }
    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* pos,
                                              void* client) {
        *pos = static_cast<FLAC__uint64>(of(client).out_.position());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

FlacWriter::FlacWriter(Stream& out, int channels, int bits, int32_t rate, uint32_t mask)
    : out_(out) {
    encoder_ = FLAC__stream_encoder_new();
    if (encoder_ == nullptr) throw Error("Cannot encode FLAC: out of memory.");
    FLAC__stream_encoder_set_verify(encoder_, false);
    FLAC__stream_encoder_set_compression_level(encoder_, 5);
    FLAC__stream_encoder_set_channels(encoder_, static_cast<uint32_t>(channels));
    FLAC__stream_encoder_set_bits_per_sample(encoder_, static_cast<uint32_t>(bits));
    FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(rate));
    if (mask != flacDefaultMask(channels)) {
        char value[16];
        std::snprintf(value, sizeof value, "0x%04X", mask);
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        comment_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        if (comment_ == nullptr ||
            !FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(
                &entry, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK", value) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(comment_, entry, false)) {
            release();
            throw Error("Cannot encode FLAC: out of memory.");
        }
        FLAC__stream_encoder_set_metadata(encoder_, &comment_, 1);
    }
    open_ = true;
    const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
        encoder_, FlacCallbacks::write, FlacCallbacks::seek, FlacCallbacks::tell, nullptr, this);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        open_ = false;
        const std::exception_ptr error = error_;
        const std::string why = FLAC__StreamEncoderInitStatusString[status];
        release();
        if (error) std::rethrow_exception(error);
        throw Error("Cannot encode FLAC: " + why + ".");
    }
}

FlacWriter::~FlacWriter() {
    release();
}

void FlacWriter::release() {
    // Deleting an encoder that was not finished finishes it: with the stream closed to
    // it, that writes nothing.
    open_ = false;
    if (encoder_ != nullptr) FLAC__stream_encoder_delete(encoder_);
    encoder_ = nullptr;
    if (comment_ != nullptr) FLAC__metadata_object_delete(comment_);
    comment_ = nullptr;
}

void FlacWriter::failed() {
    open_ = false;
    if (error_) std::rethrow_exception(error_);
    throw Error(std::string("Cannot encode FLAC: ") +
                FLAC__stream_encoder_get_resolved_state_string(encoder_) + ".");
}

void FlacWriter::put(const int32_t* samples, size_t frames) {
    if (!open_) return;
    if (!FLAC__stream_encoder_process_interleaved(encoder_, samples, static_cast<uint32_t>(frames)))
        failed();
}

void FlacWriter::finish() {
    if (!open_) return;
    // Writes the last frame, then goes back to the STREAMINFO for the MD5 and sample count.
    if (!FLAC__stream_encoder_finish(encoder_)) failed();
    open_ = false;
    out_.seek(end_);
}

} // namespace qf
