#include "jobs/audio_frames.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {

using timeline::Ticks;

// A frame's length in bytes and samples at `rate` Hz; bytes 0 where none starts at p.
struct Header {
    size_t bytes = 0;
    int samples = 0, rate = 0;
    bool dependent = false; // an E-AC-3 dependent substream: part of the frame before it
};

// AC-3 frame sizes in 16-bit words by frame size code, for 48, 44.1 and 32 kHz.
constexpr std::array<std::array<uint16_t, 3>, 38> kAc3Words = {{
    {64, 69, 96},       {64, 70, 96},       {80, 87, 120},      {80, 88, 120},
    {96, 104, 144},     {96, 105, 144},     {112, 121, 168},    {112, 122, 168},
    {128, 139, 192},    {128, 140, 192},    {160, 174, 240},    {160, 175, 240},
    {192, 208, 288},    {192, 209, 288},    {224, 243, 336},    {224, 244, 336},
    {256, 278, 384},    {256, 279, 384},    {320, 348, 480},    {320, 349, 480},
    {384, 417, 576},    {384, 418, 576},    {448, 487, 672},    {448, 488, 672},
    {512, 557, 768},    {512, 558, 768},    {640, 696, 960},    {640, 697, 960},
    {768, 835, 1152},   {768, 836, 1152},   {896, 975, 1344},   {896, 976, 1344},
    {1024, 1114, 1536}, {1024, 1115, 1536}, {1152, 1253, 1728}, {1152, 1254, 1728},
    {1280, 1393, 1920}, {1280, 1394, 1920},
}};

Header ac3(const uint8_t* p, size_t left) {
    if (left < 6 || p[0] != 0x0B || p[1] != 0x77) return {};
    const int bsid = p[5] >> 3;
    constexpr std::array<int, 3> kRates = {48000, 44100, 32000};
    if (bsid <= 10) {
        const int fscod = p[4] >> 6, code = p[4] & 0x3F;
        if (fscod == 3 || code >= 38) return {};
        return {size_t{kAc3Words[static_cast<size_t>(code)][static_cast<size_t>(fscod)]} * 2, 1536,
                kRates[static_cast<size_t>(fscod)]};
    }
    if (bsid > 16) return {};
    const int type = p[2] >> 6;
    const size_t words = ((size_t{p[2]} & 0x07) << 8 | p[3]) + 1;
    const int fscod = p[4] >> 6;
    const int blocks =
        fscod == 3 ? 6 : std::array{1, 2, 3, 6}[static_cast<size_t>((p[4] >> 4) & 3)];
    const int rate = fscod == 3 ? kRates[static_cast<size_t>((p[4] >> 4) & 3) % 3] / 2
                                : kRates[static_cast<size_t>(fscod)];
    if (fscod == 3 && ((p[4] >> 4) & 3) == 3) return {};
    return {words * 2, blocks * 256, rate, type == 1};
}

Header dts(const uint8_t* p, size_t left) {
    if (left < 10 || p[0] != 0x7F || p[1] != 0xFE || p[2] != 0x80 || p[3] != 0x01) return {};
    constexpr std::array<int, 16> kRates = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                            44100, 0,    0,     12000, 24000, 48000, 0,     0};
    const int blocks = ((p[4] & 0x01) << 6 | p[5] >> 2) + 1;
    const size_t bytes = ((size_t{p[5]} & 0x03) << 12 | size_t{p[6]} << 4 | p[7] >> 4) + 1;
    const int rate = kRates[static_cast<size_t>((p[8] >> 2) & 0x0F)];
    if (rate == 0 || bytes < 96) return {};
    return {bytes, blocks * 32, rate};
}

Header mpa(const uint8_t* p, size_t left) {
    if (left < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return {};
    const int version = (p[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = 4 - ((p[1] >> 1) & 3);
    const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return {};
    constexpr int kKbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    };
    constexpr std::array<int, 3> kRates = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int rate = kRates[static_cast<size_t>(rateIndex)] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitrate = kKbps[mpeg1 ? 0 : 1][layer - 1][bitrateIndex] * 1000;
    if (layer == 1) return {size_t(12 * bitrate / rate + padding) * 4, 384, rate};
    const int samples = layer == 3 && !mpeg1 ? 576 : 1152;
    return {size_t(samples / 8 * bitrate / rate + padding), samples, rate};
}

Header headerAt(Codec codec, const uint8_t* p, size_t left) {
    switch (codec) {
    case Codec::Ac3:
    case Codec::Eac3:
        return ac3(p, left);
    case Codec::Dts:
        return dts(p, left);
    case Codec::MpegAudio:
        return mpa(p, left);
    default:
        return {};
    }
}

} // namespace

bool framesKnown(Codec codec) {
    return codec == Codec::Ac3 || codec == Codec::Eac3 || codec == Codec::Dts ||
           codec == Codec::MpegAudio;
}

// Calls f(offset, duration) for each frame of the bytes `fill` delivers, in order:
// fill(into, max, at) puts up to `max` bytes from offset `at` into `into` and returns how
// many (0 at the end, -1 on an error). At most one chunk and the longest frame are held.
template <class Fill, class F> bool forEachFrame(Codec codec, Fill fill, F f) {
    constexpr size_t kChunk = size_t{1} << 20, kLongest = size_t{1} << 15; // DTS: 16 KiB
    std::vector<uint8_t> buf(kChunk + kLongest);
    uint64_t base = 0; // offset of buf[0]
    size_t have = 0, i = 0;
    bool end = false, any = false;
    for (;;) {
        if (!end && have - i < kLongest) {
            std::copy(buf.begin() + static_cast<std::ptrdiff_t>(i),
                      buf.begin() + static_cast<std::ptrdiff_t>(have), buf.begin());
            base += i, have -= i, i = 0;
            while (have < buf.size()) {
                const long got = fill(buf.data() + have, buf.size() - have, base + have);
                if (got < 0) return false;
                if (got == 0) {
                    end = true;
                    break;
                }
                have += static_cast<size_t>(got);
            }
        }
        if (i >= have) return true;
        const Header h = headerAt(codec, buf.data() + i, have - i);
        if (h.bytes == 0 || h.bytes > have - i) {
            ++i; // no frame starts here: look for the next
            continue;
        }
        if (!h.dependent || !any)
            f(base + i, Ticks{h.samples} * timeline::kTicksPerSecond / h.rate);
        any = true;
        i += h.bytes;
    }
}

// The frames of bytes in memory.
template <class F> void forEachFrame(Codec codec, std::span<const uint8_t> bytes, F f) {
    forEachFrame(
        codec,
        [&](uint8_t* into, size_t max, uint64_t at) -> long {
            if (at >= bytes.size()) return 0;
            const size_t n = std::min<size_t>(max, bytes.size() - static_cast<size_t>(at));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, into);
            return static_cast<long>(n);
        },
        f);
}

// The time a frame following one at `running` starts at when an anchor says `anchor`:
// the anchor, unless it lies before `running` where frames came before it.
Ticks later(Ticks running, Ticks anchor, bool framesBefore) {
    return framesBefore && timeline::stampDelta(running, anchor) < 0 ? running : anchor;
}

// A timestamp file's text from a frame walk (each call walks every frame once).
template <class Walk>
std::string timestampsOf(Walk walk, const std::vector<timeline::AudioAnchor>& anchors,
                         Ticks titleStart) {
    std::string text = "# timestamp format v2\n";
    if (anchors.empty()) return text;
    // The frames before the first anchor lead up to it.
    Ticks t = anchors.front().pts;
    if (anchors.front().byte > 0 && !walk([&](uint64_t at, Ticks d) {
            if (at < anchors.front().byte) t -= d;
        }))
        return {};
    size_t next = 0;
    const bool read = walk([&](uint64_t at, Ticks d) {
        // An anchor earlier than the frames before it end (the segment's audio overlaps the
        // next one's) cannot be followed: timestamps must rise. The frames run on instead.
        for (; next < anchors.size() && anchors[next].byte <= at; ++next)
            t = later(t, anchors[next].pts, next > 0);
        const Ticks us = timeline::stampDelta(titleStart, t) * 100 / 9; // 1/1000 ms
        const Ticks whole = us < 0 ? -us : us;
        char line[32];
        std::snprintf(line, sizeof line, "%s%lld.%03lld\n", us < 0 ? "-" : "",
                      static_cast<long long>(whole / 1000), static_cast<long long>(whole % 1000));
        text += line;
        t += d;
    });
    return read ? text : std::string();
}

std::vector<AudioFrame> audioFrames(Codec codec, std::span<const uint8_t> bytes) {
    std::vector<AudioFrame> frames;
    forEachFrame(codec, bytes, [&](uint64_t at, Ticks d) { frames.push_back({at, d}); });
    return frames;
}

std::string frameTimestamps(Codec codec, std::span<const uint8_t> bytes,
                            const std::vector<timeline::AudioAnchor>& anchors, Ticks titleStart) {
    return timestampsOf(
        [&](auto f) {
            forEachFrame(codec, bytes, f);
            return true;
        },
        anchors, titleStart);
}

std::string fileTimestamps(Codec codec, int dirFd, const std::string& entry,
                           const std::vector<timeline::AudioAnchor>& anchors, Ticks titleStart) {
    const int fd = ::openat(dirFd, entry.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const auto fill = [fd](uint8_t* into, size_t max, uint64_t at) -> long {
            for (;;) {
                const ssize_t got = ::pread(fd, into, max, static_cast<off_t>(at));
                if (got >= 0 || errno != EINTR) return static_cast<long>(got);
            }
        };
        text =
            timestampsOf([&](auto f) { return forEachFrame(codec, fill, f); }, anchors, titleStart);
    }
    ::close(fd);
    return text;
}

std::string flacTimestamps(int dirFd, const std::string& entry,
                           const std::vector<timeline::AudioAnchor>& anchors, Ticks titleStart,
                           size_t chunkBytes, size_t chunkFrames) {
    if (anchors.empty() || chunkBytes == 0) return {};
    const int fd = ::openat(dirFd, entry.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    // "fLaC", then the STREAMINFO block: its header, the block sizes, frame sizes, and the
    // rate, channels, sample size and total samples in 8 bytes.
    uint8_t h[26] = {};
    const bool read = ::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
    ::close(fd);
    if (!read || h[0] != 'f' || h[1] != 'L' || h[2] != 'a' || h[3] != 'C' || (h[4] & 0x7F) != 0)
        return {};
    const uint64_t block = uint64_t{h[8]} << 8 | h[9];
    const uint64_t fixedBlock = uint64_t{h[10]} << 8 | h[11];
    const uint64_t rate = uint64_t{h[18]} << 12 | uint64_t{h[19]} << 4 | h[20] >> 4;
    uint64_t total = h[21] & 0x0F;
    for (int k = 22; k < 26; ++k) total = total << 8 | h[k];
    if (block == 0 || block != fixedBlock || rate == 0 || total == 0) return {};

    const auto sampleOf = [&](uint64_t byte) { return byte / chunkBytes * chunkFrames; };
    std::string text = "# timestamp format v2\n";
    text.reserve(text.size() + (total / block + 1) * 12);
    size_t next = 0;
    Ticks anchorTime = anchors.front().pts;
    uint64_t anchorSample = sampleOf(anchors.front().byte);
    for (uint64_t s = 0; s < total; s += block) {
        const auto timeOf = [&](uint64_t sample) {
            return anchorTime + (static_cast<Ticks>(sample) - static_cast<Ticks>(anchorSample)) *
                                    timeline::kTicksPerSecond / static_cast<Ticks>(rate);
        };
        while (next < anchors.size() && sampleOf(anchors[next].byte) <= s) {
            // As above: an overlapping segment's frames run on from the ones before.
            const Ticks running = timeOf(s);
            anchorTime = later(running, anchors[next].pts, next > 0);
            anchorSample = s;
            ++next;
        }
        const Ticks t = timeOf(s);
        const Ticks us = timeline::stampDelta(titleStart, t) * 100 / 9;
        const Ticks whole = us < 0 ? -us : us;
        char line[32];
        std::snprintf(line, sizeof line, "%s%lld.%03lld\n", us < 0 ? "-" : "",
                      static_cast<long long>(whole / 1000), static_cast<long long>(whole % 1000));
        text += line;
    }
    return text;
}

} // namespace qf
