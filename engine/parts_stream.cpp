#include "engine/parts_stream.h"

#include <algorithm>

namespace qf {

PartsStream::PartsStream(const std::vector<std::string>& paths, const Opener& open) {
    for (const std::string& path : paths) {
        streams_.push_back(open(path));
        const int64_t n = std::max<int64_t>(0, streams_.back()->size());
        parts_.push_back({size_, n, path});
        size_ += n;
    }
}

size_t PartsStream::partAt(int64_t pos) const {
    size_t k = 0;
    while (k + 1 < parts_.size() && pos >= parts_[k].start + parts_[k].size) ++k;
    return k;
}

size_t PartsStream::read(void* buf, size_t n) {
    if (parts_.empty() || pos_ >= size_) return 0;
    const size_t k = partAt(pos_);
    const StreamPart& part = parts_[k];
    Stream& s = *streams_[k];
    if (k != current_ || s.position() != pos_ - part.start) s.seek(pos_ - part.start);
    current_ = k;
    const auto left = static_cast<size_t>(part.start + part.size - pos_);
    const size_t got = s.read(buf, std::min(n, left));
    pos_ += static_cast<int64_t>(got);
    return got;
}

void PartsStream::write(const void*, size_t) {
    throw Error(failure("Stream write error"));
}

void PartsStream::seek(int64_t pos) {
    pos_ = std::clamp<int64_t>(pos, 0, size_);
    if (parts_.empty()) return;
    current_ = partAt(pos_);
    streams_[current_]->seek(pos_ - parts_[current_].start);
}

std::string PartsStream::failure(std::string_view what) const {
    return streams_.empty() ? std::string(what) : streams_[current_]->failure(what);
}

} // namespace qf
