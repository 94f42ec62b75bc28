#pragma once
// Shared pieces of the fuzz targets: a quiet host and an in-memory source.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/markup.h"
#include "engine/stream.h"
#include "jobs/runner.h"
#include "model/session.h"

namespace qf::fuzz {

// Formats every line as a view would, so the markup code is exercised too.
class QuietHost : public Host {
public:
    void logAppended(const std::string& l) override { (void)parseMarkup(l); }
    void statusChanged(int, const std::string&) override {}
    bool askYesNo(const std::string&) override { return true; }
};

class MemorySource : public Stream {
public:
    explicit MemorySource(std::vector<uint8_t> d) : data_(std::move(d)) {}
    size_t read(void* buf, size_t n) override {
        if (pos_ >= static_cast<int64_t>(data_.size())) return 0;
        size_t k = std::min(n, data_.size() - static_cast<size_t>(pos_));
        if (k) std::memcpy(buf, data_.data() + pos_, k);
        pos_ += static_cast<int64_t>(k);
        return k;
    }
    void write(const void*, size_t) override { throw Error("Stream write error"); }
    int64_t size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t position() const override { return pos_; }
    void seek(int64_t p) override { pos_ = p; }

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// Accepts and forgets everything written to it.
class NullSink : public Stream {
public:
    size_t read(void*, size_t) override { return 0; }
    void write(const void*, size_t n) override { written_ += static_cast<int64_t>(n); }
    int64_t size() const override { return written_; }
    int64_t position() const override { return written_; }
    void seek(int64_t) override {}

private:
    int64_t written_ = 0;
};

} // namespace qf::fuzz
