#pragma once
// What a stream analyser works with: the bytes of the block being parsed, the name
// tables, and a report that takes its lines and the values a script can read.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qf {

// Look-up tables the analysers name coded values with; filled at every pass start.
struct NameTables {
    std::array<int32_t, 23> AC3RateTable{};
    std::array<std::string, 32> ChannelNames, MLPChannelNames;
    std::array<std::string, 16> WordLengthNames, RateNames;

    void fill();
};

// Keys of the values an analyser reports besides its lines.
namespace key {
inline constexpr std::string_view Format = "format";   // codec variant, as the log names it
inline constexpr std::string_view Profile = "profile"; // video profile
inline constexpr std::string_view Level = "level";     // video level, as the log shows it
inline constexpr std::string_view Width = "width";     // pixels
inline constexpr std::string_view Height = "height";   // pixels
inline constexpr std::string_view Aspect = "aspect";   // display aspect ratio, "16:9"
inline constexpr std::string_view SampleAspect = "sample_aspect";   // of a sample, "12:11"
inline constexpr std::string_view FrameRate = "frame_rate";         // frames per second
inline constexpr std::string_view SamplingRate = "sampling_rate";   // Hz
inline constexpr std::string_view BitRate = "bit_rate";             // bit/s
inline constexpr std::string_view Channels = "channels";            // how many
inline constexpr std::string_view ChannelLayout = "channel_layout"; // as the log names it
inline constexpr std::string_view Lfe = "lfe";                      // 1 with an LFE channel
inline constexpr std::string_view BitsPerSample = "bits_per_sample";
} // namespace key

class Report {
public:
    virtual ~Report() = default;
    // The bytes read into the buffer for the current block; the positions handed to an
    // analyser index this span. Bytes past a payload run belong to other packets.
    virtual std::span<const uint8_t> block() const = 0;
    virtual const NameTables& tables() const = 0;
    virtual char decimalSeparator() const = 0;
    // A report line: marked-up text beginning with three blanks.
    virtual void log(std::string_view line) = 0;
    // A value of the stream under one of the keys above; ignored unless someone keeps it.
    virtual void value(std::string_view name, double v) {
        (void)name;
        (void)v;
    }
    virtual void value(std::string_view name, std::string_view text) {
        (void)name;
        (void)text;
    }
};

// The part of the block an analyser may read for a run at p of n bytes: never past the
// bytes read, whatever the caller claims.
inline std::span<const uint8_t> runBytes(const Report& r, size_t p, size_t n) {
    const std::span<const uint8_t> b = r.block();
    if (p >= b.size()) return {};
    return b.subspan(p, n < b.size() - p ? n : b.size() - p);
}

} // namespace qf
