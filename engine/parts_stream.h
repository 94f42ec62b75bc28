#pragma once
// The numbered parts of a title (FEATURE_1.EVO, FEATURE_2.EVO …) read as one stream. A read
// never crosses from one part into the next, so a pass sees where each part begins.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/stream.h"

namespace qf {

class PartsStream final : public Stream {
public:
    using Opener = std::function<std::unique_ptr<Stream>(const std::string& path)>;
    // Opens every part with `open` (their errors are thrown here, before anything is read).
    PartsStream(const std::vector<std::string>& paths, const Opener& open);

    size_t read(void* buf, size_t n) override;
    // A title is only read.
    void write(const void* buf, size_t n) override;
    int64_t size() const override { return size_; }
    int64_t position() const override { return pos_; }
    void seek(int64_t pos) override;
    std::string failure(std::string_view what) const override;
    std::span<const StreamPart> parts() const override { return parts_; }

private:
    // The part holding `pos` (the last one at the end).
    size_t partAt(int64_t pos) const;

    std::vector<std::unique_ptr<Stream>> streams_;
    std::vector<StreamPart> parts_;
    int64_t size_ = 0, pos_ = 0;
    size_t current_ = 0; // the part the last read or seek was in
};

} // namespace qf
