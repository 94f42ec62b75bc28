#include "jobs/audio_frames.h"

#include <array>
#include <cstdio>

#include <fcntl.h>
#include <sys/mman.h>
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

// Calls f(offset, duration) for each frame of `bytes`, in order.
template <class F> void forEachFrame(Codec codec, std::span<const uint8_t> bytes, F f) {
    size_t i = 0;
    const size_t n = bytes.size();
    bool any = false;
    while (i < n) {
        const Header h = headerAt(codec, bytes.data() + i, n - i);
        if (h.bytes == 0 || h.bytes > n - i) {
            ++i; // no frame starts here: look for the next
            continue;
        }
        if (!h.dependent || !any)
            f(uint64_t{i}, Ticks{h.samples} * timeline::kTicksPerSecond / h.rate);
        any = true;
        i += h.bytes;
    }
}

std::vector<AudioFrame> audioFrames(Codec codec, std::span<const uint8_t> bytes) {
    std::vector<AudioFrame> frames;
    forEachFrame(codec, bytes, [&](uint64_t at, Ticks d) { frames.push_back({at, d}); });
    return frames;
}

std::string frameTimestamps(Codec codec, std::span<const uint8_t> bytes,
                            const std::vector<timeline::AudioAnchor>& anchors, Ticks titleStart) {
    std::string text = "# timestamp format v2\n";
    if (anchors.empty()) return text;
    // The frames before the first anchor lead up to it.
    Ticks t = anchors.front().pts;
    forEachFrame(codec, bytes, [&](uint64_t at, Ticks d) {
        if (at < anchors.front().byte) t -= d;
    });
    size_t next = 0;
    forEachFrame(codec, bytes, [&](uint64_t at, Ticks d) {
        while (next < anchors.size() && anchors[next].byte <= at) t = anchors[next++].pts;
        const Ticks us = timeline::stampDelta(titleStart, t) * 100 / 9; // 1/1000 ms
        const Ticks whole = us < 0 ? -us : us;
        char line[32];
        std::snprintf(line, sizeof line, "%s%lld.%03lld\n", us < 0 ? "-" : "",
                      static_cast<long long>(whole / 1000), static_cast<long long>(whole % 1000));
        text += line;
        t += d;
    });
    return text;
}

std::string fileTimestamps(Codec codec, int dirFd, const std::string& entry,
                           const std::vector<timeline::AudioAnchor>& anchors, Ticks titleStart) {
    const int fd = ::openat(dirFd, entry.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<size_t>(st.st_size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            ::madvise(map, size, MADV_SEQUENTIAL);
            text = frameTimestamps(codec, {static_cast<const uint8_t*>(map), size}, anchors,
                                   titleStart);
            ::munmap(map, size);
        }
    }
    ::close(fd);
    return text;
}

} // namespace qf
