#pragma once
// An output that converts the LPCM written to it: the demux writes the stream's payload as
// to any file, and the file it owns receives FLAC or WAV.
#include <memory>

#include "engine/pcm_out.h"
#include "engine/stream.h"

namespace qf {

class PcmStream final : public Stream {
public:
    // Writes the file's header at once; throws Error as PcmOut does.
    PcmStream(std::unique_ptr<Stream> file, const LpcmFacts& facts, PcmFormat format);
    // Without close() (a job that failed) the file is closed as it is.
    ~PcmStream() override;

    size_t read(void*, size_t) override { return 0; }
    void write(const void* buf, size_t n) override {
        pcm_->write(buf, n);
        taken_ += static_cast<int64_t>(n);
    }
    // Position and size are of the payload taken, as for an output written unconverted.
    int64_t size() const override { return taken_; }
    int64_t position() const override { return taken_; }
    void seek(int64_t) override {}
    std::string failure(std::string_view what) const override { return file_->failure(what); }
    // Finishes the conversion, then closes the file.
    void close() override;

    const PcmOut& converter() const { return *pcm_; }

private:
    std::unique_ptr<Stream> file_;
    std::unique_ptr<PcmOut> pcm_;
    int64_t taken_ = 0;
};

} // namespace qf
