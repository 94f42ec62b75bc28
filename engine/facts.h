#pragma once
// What a Read job learned of each stream beyond its log lines: what its analyser decoded.
#include <cstdint>
#include <optional>
#include <vector>

#include "analysers/captions.h"
#include "analysers/info.h"
#include "engine/pes.h"

namespace qf {

struct StreamFacts {
    int32_t entry = -1; // catalogue entry of the stream; -1 while none was described
    Stamp firstPts = 0; // 33 bits
    // What the first run showed, once per part of the title, in order: a two-part title
    // describes its streams twice. A field keeps the first value found.
    std::vector<StreamInfo> found;
    // MPEG-2 and H.264 video: the line-21 caption channels its first packets address.
    CaptionChannels captions;

    // The first frame rate, or picture size, any part showed.
    std::optional<double> frameRate() const {
        return first([](const auto& i) { return rateOf(i); });
    }
    std::optional<uint32_t> width() const {
        return first([](const auto& i) { return widthOf(i); });
    }
    std::optional<uint32_t> height() const {
        return first([](const auto& i) { return heightOf(i); });
    }

private:
    template <class Info> static std::optional<double> rateOf(const Info& i) {
        if constexpr (requires { i.frameRate(); })
            return i.frameRate();
        else
            return std::nullopt;
    }
    template <class Info> static std::optional<uint32_t> widthOf(const Info& i) {
        if constexpr (requires { i.width(); })
            return i.width();
        else
            return std::nullopt;
    }
    template <class Info> static std::optional<uint32_t> heightOf(const Info& i) {
        if constexpr (requires { i.height(); })
            return i.height();
        else
            return std::nullopt;
    }
    template <class F> auto first(F f) const -> decltype(f(std::monostate{})) {
        for (const StreamInfo& info : found)
            if (auto v = std::visit(f, info)) return v;
        return std::nullopt;
    }
};

} // namespace qf
