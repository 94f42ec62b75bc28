// Writes a large EVO-like program stream for benchmarks: VC-1 video, MPEG-2 video,
// two AC-3, two E-AC-3, one LPCM and two subpicture streams, interleaved in
// 2048-byte packs. One block of packs is built once and written repeatedly.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "samples/pswriter.h"

using namespace qf;

namespace {

Bytes videoUnit(uint8_t picCode, size_t size, bool sequenceHeader) {
    Bytes u;
    if (sequenceHeader)
        u = {0x00, 0x00, 0x01, 0xB3, 0x78, 0x04, 0x38, 0x35, 0xFF, 0xFF, 0xE0, 0x18};
    Bytes pic = {0x00, 0x00, 0x01, picCode, 0x00, 0x0F, 0xFF, 0xF8};
    u.insert(u.end(), pic.begin(), pic.end());
    uint32_t x = picCode * 7919u + static_cast<uint32_t>(size);
    while (u.size() < size) {
        x = x * 1103515245 + 12345;
        uint8_t b = static_cast<uint8_t>(x >> 16);
        const size_t k = u.size();
        if (b == 0x01 && u[k - 1] == 0 && u[k - 2] == 0) b = 0x02; // no start codes inside
        u.push_back(b);
    }
    return u;
}

Bytes ac3Frame() {
    Bytes f = {0x0B, 0x77, 0x00, 0x00, 0x1C, 0x40, 0x43, 0x00}; // 48 kHz, 448 kbit/s
    f.resize(1792, 0x55);
    return f;
}

Bytes eac3Frame() {
    Bytes f = {0x0B, 0x77, 0x02, 0xFF, 0x3F, 0x86, 0x00, 0x00}; // frame of 1536 bytes
    f.resize(1536, 0x66);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_evo FILE MEGABYTES\n");
        return 2;
    }
    const long long target = std::atoll(argv[2]) * 1048576LL;
    PsMuxer mux;
    auto track = [](uint8_t sid, Bytes sub, std::vector<Bytes> units, uint64_t step) {
        PsMuxer::Track t;
        t.streamId = sid;
        t.subHeader = std::move(sub);
        t.units = std::move(units);
        t.ptsStep = step;
        return t;
    };
    std::vector<Bytes> mpv, vc1, ac3, eac3, lpcm, sp;
    for (int i = 0; i < 240; ++i) mpv.push_back(videoUnit(0x00, 60000, i % 12 == 0));
    for (int i = 0; i < 240; ++i) vc1.push_back(videoUnit(0x0D, 50000, i % 12 == 0));
    for (int i = 0; i < 1200; ++i) ac3.push_back(ac3Frame());
    for (int i = 0; i < 1200; ++i) eac3.push_back(eac3Frame());
    for (int i = 0; i < 600; ++i) lpcm.push_back(Bytes(3840, 0x11));
    for (int i = 0; i < 40; ++i) sp.push_back(Bytes(4000, static_cast<uint8_t>(i)));
    mux.add(track(0xE1, {}, mpv, 3754));
    PsMuxer::Track v = track(0xFD, {}, vc1, 3754);
    v.streamIdExt = 0x55;
    mux.add(v);
    mux.add(track(0xBD, subHeaderAudio(0x80), ac3, 2880));
    mux.add(track(0xBD, subHeaderAudio(0x81), ac3, 2880));
    mux.add(track(0xBD, subHeaderAudio(0xC0), eac3, 2880));
    mux.add(track(0xBD, subHeaderAudio(0xC1), eac3, 2880));
    mux.add(track(0xBD, subHeaderLpcm(0xA2, 0x00, 0x01), lpcm, 1800));
    mux.add(track(0xBD, subHeaderSub(0x20), sp, 90000));
    mux.add(track(0xBD, subHeaderSub(0x21), sp, 90000));
    const Bytes block = mux.build(true, 6, 2);

    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    long long written = 0;
    while (written < target) {
        if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) {
            std::perror("write");
            return 1;
        }
        written += static_cast<long long>(block.size());
    }
    std::fclose(f);
    std::printf("%s: %lld bytes\n", argv[1], written);
    return 0;
}
