#include "engine/pcm_stream.h"

namespace qf {

PcmStream::PcmStream(std::unique_ptr<Stream> file, const LpcmFacts& facts, PcmFormat format)
    : file_(std::move(file)), pcm_(std::make_unique<PcmOut>(facts, format, *file_)) {}

PcmStream::~PcmStream() {
    pcm_.reset(); // before the file it writes to
}

void PcmStream::close() {
    pcm_->finish();
    file_->close();
}

} // namespace qf
