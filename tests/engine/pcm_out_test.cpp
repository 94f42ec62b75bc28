// LPCM converted to FLAC and WAV, judged by ffmpeg: DVD-Video LPCM that ffmpeg encodes into a
// VOB (or that is packed here and read back by ffmpeg's own LPCM decoder, for 20 bits, which
// its encoder does not write) must decode from our files to the samples ffmpeg decodes from
// the VOB. HD DVD and DVD-Audio LPCM, which nothing encodes, are packed here from known
// samples, which our files must give back.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/pcm_out.h"
#include "engine/pcm_stream.h"
#include "engine/stream.h"
#include "engine/wav_writer.h"
#include "support/ffmpeg.h"
#include "support/memory_stream.h"
#include "support/ps_builder.h"

namespace qf {
namespace {

using namespace qf::test;

// The LPCM payload of a program stream as the demux writes it: of every private-stream-1
// packet of sub-stream A0, what follows the 7 bytes from the sub-stream id on.
Bytes lpcmPayload(const Bytes& ps) {
    Bytes out;
    size_t i = 0;
    while (i + 9 <= ps.size()) {
        if (ps[i] != 0 || ps[i + 1] != 0 || ps[i + 2] != 1) {
            ++i;
        } else if (ps[i + 3] == 0xBA) {
            i += 14 + (ps[i + 13] & 7u);
        } else if (ps[i + 3] >= 0xBB) {
            const size_t end = i + 6 + (size_t{ps[i + 4]} << 8 | ps[i + 5]);
            const size_t sub = i + 9 + ps[i + 8];
            if (ps[i + 3] == 0xBD && ps[sub] == 0xA0)
                out.insert(out.end(), ps.begin() + static_cast<ptrdiff_t>(sub + 7),
                           ps.begin() + static_cast<ptrdiff_t>(end));
            i = end;
        } else {
            ++i;
        }
    }
    return out;
}

// Samples as ffmpeg decodes them to signed 32 bits, the sample size's bits at the top.
std::vector<int32_t> decoded(const std::string& path) {
    const std::string raw = commandOutput("ffmpeg -nostdin -v error -i '" + path +
                                          "' -map 0:a:0 -f s32le - 2>/dev/null");
    std::vector<int32_t> s(raw.size() / 4);
    std::memcpy(s.data(), raw.data(), s.size() * 4);
    return s;
}

// Converts the payload in runs of uneven sizes, so that chunks are split between calls.
Bytes converted(const LpcmFacts& facts, PcmFormat format, const Bytes& payload) {
    MemoryStream out;
    PcmOut pcm(facts, format, out);
    static constexpr size_t kRuns[] = {1, 7, 2000, 13, 4096, 3};
    for (size_t at = 0, k = 0; at < payload.size(); ++k) {
        const size_t n = std::min(kRuns[k % std::size(kRuns)], payload.size() - at);
        pcm.write(payload.data() + at, n);
        at += n;
    }
    pcm.finish();
    return out.data;
}

struct Probe {
    std::string channels, rate, layout, bits;
};
Probe probe(const std::string& dir, const std::string& file) {
    const std::string csv =
        ffprobe(dir, "-select_streams a:0 -show_entries "
                     "stream=channels,sample_rate,channel_layout,bits_per_raw_sample "
                     "-of default=nw=1 '" +
                         file + "'");
    Probe p;
    for (size_t at = 0; at < csv.size();) {
        const size_t nl = csv.find('\n', at);
        const std::string line = csv.substr(at, nl - at);
        at = nl == std::string::npos ? csv.size() : nl + 1;
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        (key == "channels"         ? p.channels
         : key == "sample_rate"    ? p.rate
         : key == "channel_layout" ? p.layout
                                   : p.bits) = value;
    }
    return p;
}

class PcmOutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (haveFfmpeg()) dir = std::make_unique<TempDir>();
    }
    static void TearDownTestSuite() { dir.reset(); }
    void SetUp() override {
        if (!dir) GTEST_SKIP() << "ffmpeg is not installed";
    }

    // Writes both outputs of the payload and checks each against the samples, the channel
    // count, the rate and the layout ffprobe names (FLAC's, where it is FLAC's own for the
    // count, as ffmpeg names that: five and six channels with side speakers).
    static void checkOutputs(const std::string& name, const LpcmFacts& facts, const Bytes& payload,
                             const std::vector<int32_t>& want, int channels, int32_t rate, int bits,
                             const std::string& layout) {
        for (const PcmFormat format : {PcmFormat::Flac, PcmFormat::Wav}) {
            const std::string file = name + "." + pcmExtension(format);
            SCOPED_TRACE(file);
            const Bytes written = converted(facts, format, payload);
            writeFile(*dir / file, written);
            if (format == PcmFormat::Flac) checkStreamInfo(file, written, want, channels, bits);
            EXPECT_TRUE(decodesCleanly(*dir / file));
            const std::vector<int32_t> got = decoded(*dir / file);
            ASSERT_EQ(got.size(), want.size());
            EXPECT_TRUE(got == want);
            const Probe p = probe(dir->path, file);
            EXPECT_EQ(p.channels, std::to_string(channels));
            EXPECT_EQ(p.rate, std::to_string(rate));
            // FLAC keeps the sample size, 20 bits too.
            if (format == PcmFormat::Flac) {
                EXPECT_EQ(p.bits, std::to_string(bits));
            }
            const bool side = format == PcmFormat::Flac && (layout == "5.0" || layout == "5.1");
            EXPECT_EQ(p.layout, side ? layout + "(side)" : layout);
        }
    }

    // The STREAMINFO written back at the end: the sample count, and the MD5 of the samples
    // (little-endian, in whole bytes) as md5sum finds it.
    static void checkStreamInfo(const std::string& file, const Bytes& flac,
                                const std::vector<int32_t>& want, int channels, int bits) {
        ASSERT_GE(flac.size(), 42u);
        ASSERT_EQ(std::string(flac.begin(), flac.begin() + 4), "fLaC");
        uint64_t total = flac[21] & 0x0Fu;
        for (size_t k = 22; k < 26; ++k) total = total << 8 | flac[k];
        EXPECT_EQ(total, want.size() / static_cast<size_t>(channels));
        Bytes plain;
        for (const int32_t v : want)
            for (int b = 0; b < (bits + 7) / 8; ++b)
                plain.push_back(static_cast<uint8_t>((v >> (32 - bits)) >> (8 * b)));
        writeFile(*dir / (file + ".samples"), plain);
        static constexpr char kHex[] = "0123456789abcdef";
        std::string md5;
        for (size_t k = 26; k < 42; ++k) md5 += std::string{kHex[flac[k] >> 4], kHex[flac[k] & 15]};
        EXPECT_EQ(commandOutput("md5sum '" + *dir / (file + ".samples") + "'").substr(0, 32), md5);
    }

    static inline std::unique_ptr<TempDir> dir;
};

// Pseudo-random samples of `bits`, frame after frame.
std::vector<int32_t> knownSamples(size_t frames, int channels, int bits, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int32_t> value(-(1 << (bits - 1)), (1 << (bits - 1)) - 1);
    std::vector<int32_t> s(frames * static_cast<size_t>(channels));
    for (int32_t& v : s) v = value(gen);
    return s;
}

// Packs samples (each of its channel's size) the way the discs lay them out: `n` samples
// of a run, their upper 16 bits big-endian, then their low bits (a byte each for 24, a
// nibble each for 20, the first in the upper half).
void packRun(Bytes& out, const std::vector<int32_t>& s, const std::vector<size_t>& at,
             const std::vector<int>& bits) {
    for (size_t k = 0; k < at.size(); ++k) {
        const uint32_t v = static_cast<uint32_t>(s[at[k]]) << (32 - bits[k]);
        out.push_back(static_cast<uint8_t>(v >> 24));
        out.push_back(static_cast<uint8_t>(v >> 16));
    }
    for (size_t k = 0; k < at.size(); ++k) {
        const uint32_t v = static_cast<uint32_t>(s[at[k]]) << (32 - bits[k]);
        if (bits[k] == 24) out.push_back(static_cast<uint8_t>(v >> 8));
        if (bits[k] == 20 && k % 2 == 0) out.push_back(static_cast<uint8_t>(v >> 8 & 0xF0));
        if (bits[k] == 20 && k % 2 == 1) out.back() |= static_cast<uint8_t>(v >> 12 & 0x0F);
    }
}

// DVD-Video ---------------------------------------------------------------------------

struct VideoCase {
    int bits;
    int32_t rate;
    int channels;
    const char* layout; // as ffprobe names the WAV's
};

class DvdVideoPcm : public PcmOutTest, public ::testing::WithParamInterface<VideoCase> {};

// DVD-Video LPCM of 20 bits in a program stream: runs of four samples (two for mono).
Bytes dvdVideo20(const std::vector<int32_t>& s, const VideoCase& c) {
    const size_t run = c.channels == 1 ? 2 : 4;
    Bytes payload;
    for (size_t k = 0; k + run <= s.size(); k += run) {
        std::vector<size_t> at(run);
        for (size_t j = 0; j < run; ++j) at[j] = k + j;
        packRun(payload, s, at, std::vector<int>(run, 20));
    }
    PsMuxer mux;
    PsMuxer::Track t;
    t.streamId = 0xBD;
    const int rateCode = c.rate == 96000 ? 1 : 0;
    t.subHeader =
        subHeaderLpcm(0xA0, static_cast<uint8_t>(1 << 6 | rateCode << 4 | (c.channels - 1)), 0x80);
    const size_t unit = 1800; // whole runs and frames of 1, 2 or 6 channels
    for (size_t at = 0; at < payload.size(); at += unit)
        t.units.emplace_back(payload.begin() + static_cast<ptrdiff_t>(at),
                             payload.begin() +
                                 static_cast<ptrdiff_t>(std::min(at + unit, payload.size())));
    t.ptsStep =
        unit * 2 / 5 / static_cast<size_t>(c.channels) * 90000 / static_cast<size_t>(c.rate);
    t.maxPayload = unit;
    mux.add(std::move(t));
    return mux.build(true, 1, 0);
}

std::string videoName(const VideoCase& c) {
    return "bits" + std::to_string(c.bits) + "_" + std::to_string(c.rate / 1000) + "kHz_" +
           std::to_string(c.channels) + "ch";
}

TEST_P(DvdVideoPcm, DecodesToTheSamplesFfmpegDecodesFromTheVob) {
    const VideoCase& c = GetParam();
    const std::string name = videoName(c);
    const std::string vob = *dir / (name + ".vob");
    if (c.bits == 20) {
        const std::vector<int32_t> known = knownSamples(9600, c.channels, 20, 20);
        writeFile(vob, dvdVideo20(known, c));
        // ffmpeg reads our packing as these samples: the packing is the disc's.
        std::vector<int32_t> want(known.size());
        for (size_t k = 0; k < known.size(); ++k)
            want[k] = static_cast<int32_t>(static_cast<uint32_t>(known[k]) << 12);
        ASSERT_TRUE(decoded(vob) == want);
    } else {
        std::string exprs;
        for (int k = 0; k < c.channels; ++k)
            exprs += (k ? "|" : "") + std::string("random(") + std::to_string(k) + ")*2-1";
        ASSERT_TRUE(ffmpeg(dir->path,
                           "-f lavfi -i 'aevalsrc=exprs=" + exprs + ":s=" + std::to_string(c.rate) +
                               ":d=0.25' -c:a pcm_dvd -sample_fmt " +
                               (c.bits == 16 ? "s16" : "s32") + " -f vob '" + name + ".vob'"));
    }
    const std::vector<int32_t> want = decoded(vob);
    ASSERT_FALSE(want.empty());
    LpcmFacts facts;
    facts.bits = c.bits;
    facts.rate = c.rate;
    facts.channels = c.channels;
    checkOutputs(name, facts, lpcmPayload(readFile(vob)), want, c.channels, c.rate, c.bits,
                 c.layout);
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, DvdVideoPcm,
    ::testing::Values(VideoCase{16, 48000, 1, "mono"}, VideoCase{16, 48000, 2, "stereo"},
                      VideoCase{16, 96000, 6, "5.1"}, VideoCase{24, 48000, 1, "mono"},
                      VideoCase{24, 96000, 2, "stereo"}, VideoCase{24, 48000, 6, "5.1"},
                      VideoCase{24, 96000, 1, "mono"}, VideoCase{20, 48000, 1, "mono"},
                      VideoCase{20, 96000, 2, "stereo"}, VideoCase{20, 48000, 6, "5.1"}),
    [](const ::testing::TestParamInfo<VideoCase>& p) { return videoName(p.param); });

// HD DVD and DVD-Audio ----------------------------------------------------------------

struct DiscCase {
    const char* name;
    LpcmLayout kind;
    uint8_t code;
    int group1;      // channels of the code's group 1
    int bits, bits2; // of group 1 and group 2
    int32_t rate;
    std::vector<size_t> from; // the stream channel of each output channel
    const char* layout;       // as ffprobe names it
};

class DiscPcm : public PcmOutTest, public ::testing::WithParamInterface<DiscCase> {};

// Two frames at a time: 16-bit samples frame after frame; else group 2's samples of both
// frames as one run, then group 1's.
Bytes discPayload(const std::vector<int32_t>& s, size_t frames, const DiscCase& c) {
    const size_t n = c.from.size(), g1 = static_cast<size_t>(c.group1);
    auto run = [&](Bytes& out, size_t f, size_t first, size_t end, int bits) {
        std::vector<size_t> at;
        for (size_t fr = f; fr < f + 2; ++fr)
            for (size_t ch = first; ch < end; ++ch) at.push_back(fr * n + ch);
        packRun(out, s, at, std::vector<int>(at.size(), bits));
    };
    Bytes out;
    for (size_t f = 0; f + 2 <= frames; f += 2) {
        if (c.bits == 16 && c.bits2 == 16) {
            run(out, f, 0, n, 16);
        } else {
            run(out, f, g1, n, c.bits2);
            run(out, f, 0, g1, c.bits);
        }
    }
    return out;
}

TEST_P(DiscPcm, DecodesToTheKnownSamplesInWavOrder) {
    const DiscCase& c = GetParam();
    const size_t frames = 4800, n = c.from.size();
    std::vector<int32_t> known = knownSamples(frames, static_cast<int>(n), 24, c.code);
    std::vector<int> bits(n);
    for (size_t ch = 0; ch < n; ++ch)
        bits[ch] = ch < static_cast<size_t>(c.group1) ? c.bits : c.bits2;
    for (size_t k = 0; k < known.size(); ++k) known[k] >>= 24 - bits[k % n];
    std::vector<int32_t> want(known.size());
    for (size_t f = 0; f < frames; ++f)
        for (size_t j = 0; j < n; ++j)
            want[f * n + j] = static_cast<int32_t>(static_cast<uint32_t>(known[f * n + c.from[j]])
                                                   << (32 - bits[c.from[j]]));
    LpcmFacts facts;
    facts.layout = c.kind;
    facts.assignment = c.code;
    facts.bits = c.bits;
    facts.rate = c.rate;
    if (c.kind == LpcmLayout::DvdAudio) {
        facts.bits2 = c.bits2;
        facts.rate2 = c.rate;
    }
    checkOutputs(c.name, facts, discPayload(known, frames, c), want, static_cast<int>(n), c.rate,
                 std::max(c.bits, c.bits2), c.layout);
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, DiscPcm,
    ::testing::Values(
        DiscCase{"hddvd_1", LpcmLayout::HdDvd, 1, 2, 24, 24, 96000, {0, 1}, "stereo"},
        DiscCase{"hddvd_12", LpcmLayout::HdDvd, 12, 6, 16, 16, 48000, {0, 1, 2, 3, 4, 5}, "5.1"},
        DiscCase{"hddvd_20", LpcmLayout::HdDvd, 20, 6, 20, 20, 48000, {0, 1, 4, 5, 2, 3}, "5.1"},
        DiscCase{"dvda_0", LpcmLayout::DvdAudio, 0, 1, 16, 16, 48000, {0}, "mono"},
        DiscCase{"dvda_1", LpcmLayout::DvdAudio, 1, 2, 16, 16, 44100, {0, 1}, "stereo"},
        DiscCase{"dvda_2", LpcmLayout::DvdAudio, 2, 2, 24, 16, 96000, {0, 1, 2}, "3.0(back)"},
        DiscCase{"dvda_12", LpcmLayout::DvdAudio, 12, 2, 16, 16, 48000, {0, 1, 2, 3, 4, 5}, "5.1"},
        DiscCase{"dvda_17", LpcmLayout::DvdAudio, 17, 3, 24, 20, 96000, {0, 1, 2, 3, 4, 5}, "5.1"},
        DiscCase{"dvda_18",
                 LpcmLayout::DvdAudio,
                 18,
                 4,
                 20,
                 16,
                 88200,
                 {0, 1, 4, 2, 3},
                 "5 channels (FL+FR+LFE+BL+BR)"},
        DiscCase{"dvda_20", LpcmLayout::DvdAudio, 20, 4, 24, 24, 48000, {0, 1, 4, 5, 2, 3}, "5.1"}),
    [](const ::testing::TestParamInfo<DiscCase>& p) { return std::string(p.param.name); });

// Past what RIFF's 32-bit sizes hold (here made small) the file becomes RF64, with the
// sizes in its ds64 chunk.
TEST_F(PcmOutTest, WavPastTheRiffLimitIsRf64) {
    const std::vector<int32_t> known = knownSamples(1001, 1, 24, 64);
    MemoryStream out;
    WavWriter wav(out, 1, 24, 48000, speaker::FC, 2000);
    wav.put(known.data(), known.size());
    wav.finish();
    ASSERT_EQ(out.data.size(), WavWriter::kHeaderBytes + 3003 + 1); // odd: a pad byte
    EXPECT_EQ(std::string(out.data.begin(), out.data.begin() + 4), "RF64");
    EXPECT_EQ(std::string(out.data.begin() + 12, out.data.begin() + 16), "ds64");
    writeFile(*dir / "rf64.wav", out.data);
    std::vector<int32_t> want(known.size());
    for (size_t k = 0; k < known.size(); ++k)
        want[k] = static_cast<int32_t>(static_cast<uint32_t>(known[k]) << 8);
    EXPECT_TRUE(decodesCleanly(*dir / "rf64.wav"));
    EXPECT_TRUE(decoded(*dir / "rf64.wav") == want);
}

// What cannot be converted, and a full disk, are errors with the user's words.
struct Refusal {
    LpcmFacts facts;
    const char* error; // nullptr: converted
};

class PcmRefusal : public ::testing::TestWithParam<Refusal> {};

constexpr const char* kUnknown =
    "Cannot convert the LPCM stream: its sample size, sampling rate or channels are unknown.";

TEST_P(PcmRefusal, SaysWhyItCannotConvert) {
    MemoryStream out;
    try {
        PcmOut pcm(GetParam().facts, PcmFormat::Wav, out);
        EXPECT_EQ(GetParam().error, nullptr);
    } catch (const Error& e) {
        ASSERT_NE(GetParam().error, nullptr);
        EXPECT_EQ(std::string(e.what()), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Facts, PcmRefusal,
    ::testing::Values(Refusal{{LpcmLayout::DvdVideo, 28, 48000, 2}, kUnknown},
                      Refusal{{LpcmLayout::DvdVideo, 16, 0, 2}, kUnknown},
                      Refusal{{LpcmLayout::DvdVideo, 16, 48000, 9}, kUnknown},
                      Refusal{{LpcmLayout::HdDvd, 24, 96000, 0, 21}, kUnknown},
                      Refusal{{LpcmLayout::DvdAudio, 24, 96000, 0, 12, 18}, kUnknown},
                      Refusal{
                          {LpcmLayout::DvdAudio, 24, 96000, 0, 12, 16, 48000},
                          "Cannot convert the LPCM stream: its two channel groups have different "
                          "sampling rates."},
                      // One group: group 2's rate names nothing.
                      Refusal{{LpcmLayout::DvdAudio, 24, 96000, 0, 1, 16, 48000}, nullptr},
                      Refusal{{LpcmLayout::DvdVideo, 20, 44100, 8}, nullptr}));

TEST(PcmOutWriteError, IsTheStreamsWriteError) {
    Bytes payload(200000);
    std::mt19937 gen(7);
    for (uint8_t& b : payload) b = static_cast<uint8_t>(gen());
    for (const PcmFormat format : {PcmFormat::Flac, PcmFormat::Wav}) {
        MemoryStream out;
        out.name = "out.file";
        out.failAfter = 50000;
        std::string error;
        try {
            PcmOut pcm(LpcmFacts{}, format, out);
            pcm.write(payload.data(), payload.size());
            pcm.finish();
        } catch (const Error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, "Stream write error") << pcmExtension(format);
    }
}

// As an output of the demux: what it takes is converted, and closing finishes the file.
TEST(PcmStreamTest, WritesWhatPcmOutWrites) {
    Bytes payload(30000);
    std::mt19937 gen(9);
    for (uint8_t& b : payload) b = static_cast<uint8_t>(gen());
    LpcmFacts facts;
    facts.bits = 24;
    for (const PcmFormat format : {PcmFormat::Flac, PcmFormat::Wav}) {
        auto file = std::make_unique<MemoryStream>();
        MemoryStream* written = file.get();
        PcmStream out(std::move(file), facts, format);
        out.write(payload.data(), 1001);
        out.write(payload.data() + 1001, payload.size() - 1001);
        EXPECT_EQ(out.position(), static_cast<int64_t>(payload.size()));
        out.close();
        EXPECT_TRUE(written->data == converted(facts, format, payload)) << pcmExtension(format);
        EXPECT_EQ(out.converter().frames(), payload.size() / 6);
    }
}

} // namespace
} // namespace qf
