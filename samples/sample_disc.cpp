#include "samples/sample_disc.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "engine/stream.h"
#include "samples/sample_media.h"

namespace qf {

namespace {

constexpr uint64_t kStartPts = 90000;  // the title starts one second in
constexpr uint64_t kFrameTicks = 3754; // 24000/1001 frames per second
constexpr int kGopLength = 12;
constexpr int kAudioFramesPerPart = 63; // 1536 samples each at 48 kHz: about two seconds
constexpr uint64_t kAudioFrameTicks = 2880;
constexpr int kLpcmUnitsPerPart = 200;
constexpr int kLpcmFramesPerUnit = 480; // 10 ms of 48 kHz
constexpr uint64_t kLpcmUnitTicks = 900;
constexpr int kSubpicturesPerPart = 2;
constexpr uint64_t kSubpictureTicks = 90000;
constexpr uint8_t kMpeg2SliceRows = 30; // 480 lines of 16

// Big-endian bit writer for header fields.
class BitWriter {
public:
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bit((value >> i) & 1U);
    }
    // Completes the last byte: with `stuffingOne` a one bit and then zero bits (the
    // VC-1 trailing bits), otherwise zero bits.
    Bytes finish(bool stuffingOne) {
        if (stuffingOne) bit(1);
        while (used_ != 0) bit(0);
        return std::move(out_);
    }

private:
    void bit(uint32_t b) {
        cur_ = static_cast<uint8_t>((cur_ << 1) | b);
        if (++used_ == 8) {
            out_.push_back(cur_);
            cur_ = 0;
            used_ = 0;
        }
    }
    Bytes out_;
    uint8_t cur_ = 0;
    int used_ = 0;
};

// Stand-in for the VC-1 frames' coded data: never zero (so no start code can form) and
// never 0x0B (so no AC-3 sync word can form).
class Filler {
public:
    explicit Filler(uint32_t seed) : state_(seed) {}
    void append(Bytes& out, size_t total) {
        while (out.size() < total) {
            state_ = state_ * 1664525U + 1013904223U;
            out.push_back(static_cast<uint8_t>(0x10 + (state_ >> 24) % 0xF0));
        }
    }

private:
    uint32_t state_;
};

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

Bytes startCode(uint8_t code) {
    return {0x00, 0x00, 0x01, code};
}

// --- MPEG-2 video: 720x480, 16:9, 23.976 fps, progressive -------------------------------

Bytes mpeg2SequenceHeader() {
    BitWriter w;
    w.put(720, 12);
    w.put(480, 12);
    w.put(3, 4);      // 16:9
    w.put(1, 4);      // 23.976
    w.put(20000, 18); // 8 Mbit/s in units of 400 bit/s
    w.put(1, 1);      // marker
    w.put(112, 10);   // VBV buffer size
    w.put(0, 3);      // not constrained, no quantiser matrices
    Bytes out = startCode(0xB3);
    append(out, w.finish(false));
    // Sequence extension: main profile at main level, progressive, 4:2:0.
    BitWriter x;
    x.put(1, 4);
    x.put(0x48, 8);
    x.put(1, 1);
    x.put(1, 2);
    x.put(0, 16);
    x.put(1, 1);  // marker
    x.put(0, 16); // VBV extension, low delay, frame rate extension
    append(out, startCode(0xB5));
    append(out, x.finish(false));
    return out;
}

Bytes mpeg2Gop(int frame) {
    const int seconds = frame / 24, pictures = frame % 24;
    BitWriter w;
    w.put(0, 1); // no drop frame
    w.put(0, 5);
    w.put(static_cast<uint32_t>(seconds / 60), 6);
    w.put(1, 1);
    w.put(static_cast<uint32_t>(seconds % 60), 6);
    w.put(static_cast<uint32_t>(pictures), 6);
    w.put(1, 1); // closed GOP
    w.put(0, 1);
    Bytes out = startCode(0xB8);
    append(out, w.finish(false));
    return out;
}

Bytes mpeg2Picture(int temporalReference, bool intra) {
    BitWriter w;
    w.put(static_cast<uint32_t>(temporalReference), 10);
    w.put(intra ? 1 : 2, 3);
    w.put(0xFFFF, 16);         // VBV delay
    if (!intra) w.put(0x7, 4); // full_pel_forward_vector 0, forward_f_code 7
    w.put(0, 1);
    Bytes out = startCode(0x00);
    append(out, w.finish(false));
    // Picture coding extension: frame picture, progressive frame.
    BitWriter x;
    x.put(8, 4);
    x.put(intra ? 0xFFFF : 0x11FF, 16);
    x.put(0, 2); // intra DC precision
    x.put(3, 2); // frame picture
    x.put(0, 1);
    x.put(1, 1); // frame_pred_frame_dct
    x.put(0, 5); // no concealment vectors, linear quantiser scale, zigzag, no repeat
    x.put(1, 1); // chroma_420_type
    x.put(1, 1); // progressive_frame
    x.put(0, 1);
    append(out, startCode(0xB5));
    append(out, x.finish(false));
    // A flat grey picture, or the picture before it again: real slices, so that decoders
    // take the stream.
    const auto slice = sample_media::mpeg2SliceBody(intra);
    for (uint8_t row = 1; row <= kMpeg2SliceRows; ++row) {
        append(out, startCode(row));
        out.insert(out.end(), slice.begin(), slice.end());
    }
    return out;
}

// --- VC-1 advanced profile: 1920x1080, 16:9 display, 23.976 fps --------------------------

Bytes vc1SequenceHeader() {
    BitWriter w;
    w.put(3, 2);    // advanced profile
    w.put(3, 3);    // level 3
    w.put(1, 2);    // 4:2:0
    w.put(7, 3);    // FRMRTQ_POSTPROC
    w.put(31, 5);   // BITRTQ_POSTPROC
    w.put(0, 1);    // POSTPROCFLAG
    w.put(959, 12); // MAX_CODED_WIDTH: (1920 - 2) / 2
    w.put(539, 12); // MAX_CODED_HEIGHT: (1080 - 2) / 2
    w.put(1, 1);    // PULLDOWN
    w.put(0, 1);    // INTERLACE
    w.put(0, 1);    // TFCNTRFLAG
    w.put(0, 1);    // FINTERPFLAG
    w.put(1, 1);    // reserved
    w.put(0, 1);    // PSF
    w.put(1, 1);    // DISPLAY_EXT
    w.put(1919, 14);
    w.put(1079, 14);
    w.put(1, 1); // ASPECT_RATIO_FLAG
    w.put(1, 4); // square samples
    w.put(1, 1); // FRAMERATE_FLAG
    w.put(0, 1); // FRAMERATEIND
    w.put(1, 8); // 24000
    w.put(2, 4); // / 1001
    w.put(0, 1); // COLOR_FORMAT_FLAG
    w.put(0, 1); // HRD_PARAM_FLAG
    Bytes out = startCode(0x0F);
    append(out, w.finish(true));
    // Entry point: closed, loop filter, variable-size transform.
    BitWriter e;
    e.put(0, 1); // BROKEN_LINK
    e.put(1, 1); // CLOSED_ENTRY
    e.put(0, 1); // PANSCAN_FLAG
    e.put(1, 1); // REFDIST_FLAG
    e.put(1, 1); // LOOPFILTER
    e.put(0, 1); // FASTUVMC
    e.put(0, 1); // EXTENDED_MV
    e.put(0, 2); // DQUANT
    e.put(1, 1); // VSTRANSFORM
    e.put(0, 1); // OVERLAP
    e.put(0, 2); // QUANTIZER
    e.put(0, 1); // CODED_SIZE_FLAG
    append(out, startCode(0x0E));
    append(out, e.finish(true));
    return out;
}

// A frame start and filler: decoders reject it. Its first bits are a real picture type
// with RPTFRM 0 (the sequence sets PULLDOWN), so that a parser gives every frame one frame
// period and the stream lasts as long as the title.
Bytes vc1Frame(bool intra, Filler& filler) {
    Bytes out = startCode(0x0D);
    out.push_back(intra ? 0xC4 : 0x12); // PTYPE I (110) or P (0), RPTFRM 00
    filler.append(out, out.size() + (intra ? 1799 : 799));
    return out;
}

// --- Audio ---------------------------------------------------------------------------------

// AC-3: 48 kHz, 448 kbit/s, 3/2 with LFE, bsid 8: 1792 bytes per frame of silence.
Bytes ac3Frame() {
    const auto f = sample_media::silentAc3Frame();
    return {f.begin(), f.end()};
}

// E-AC-3: independent stream, 48 kHz, six blocks, 3/2 with LFE, bsid 16: 1536 bytes.
Bytes eac3Frame() {
    const auto f = sample_media::silentEac3Frame();
    return {f.begin(), f.end()};
}

// 16-bit big-endian stereo: 440 Hz on the left, 660 Hz on the right.
Bytes lpcmUnit(int64_t firstFrame) {
    Bytes out;
    out.reserve(kLpcmFramesPerUnit * 4);
    for (int64_t i = firstFrame; i < firstFrame + kLpcmFramesPerUnit; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        for (double hz : {440.0, 660.0}) {
            const auto v =
                static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * std::numbers::pi * hz * t)));
            const auto u = static_cast<uint16_t>(v);
            out.push_back(static_cast<uint8_t>(u >> 8));
            out.push_back(static_cast<uint8_t>(u));
        }
    }
    return out;
}

// LPCM private header: 16-bit samples, 48 kHz, channel assignment 1 (L + R).
Bytes lpcmSubHeader() {
    return {0xA2, 0x01, 0x00, 0x00, 0x80, 0x01, 0x80};
}

// --- Subpicture: a 2-bit run-length unit showing a 64x16 box -------------------------------

Bytes subpictureUnit() {
    constexpr size_t kLines = 16, kPxdStart = 4;
    auto put16 = [](Bytes& b, size_t at, size_t v) {
        b[at] = static_cast<uint8_t>(v >> 8);
        b[at + 1] = static_cast<uint8_t>(v);
    };
    Bytes out(kPxdStart, 0); // unit size and control offset, set below
    // Every line is one "fill to the end of the line" code in colour 2; the top field's
    // lines come first, then the bottom field's.
    for (size_t line = 0; line < kLines; ++line) out.insert(out.end(), {0x00, 0x02});
    const size_t bottom = kPxdStart + kLines; // half the lines, two bytes each
    const size_t dcsq1 = out.size();
    // First control sequence: show at once with palette, contrast, area and field offsets.
    out.insert(out.end(), {0x00, 0x00, 0x00, 0x00, 0x01, 0x03, 0x32, 0x10, 0x04, 0xFF, 0xF0});
    const uint32_t x1 = 100, x2 = 163, y1 = 400, y2 = 415;
    out.insert(out.end(),
               {0x05, static_cast<uint8_t>(x1 >> 4),
                static_cast<uint8_t>(((x1 & 0xF) << 4) | (x2 >> 8)), static_cast<uint8_t>(x2),
                static_cast<uint8_t>(y1 >> 4), static_cast<uint8_t>(((y1 & 0xF) << 4) | (y2 >> 8)),
                static_cast<uint8_t>(y2)});
    out.insert(out.end(), {0x06, 0x00, static_cast<uint8_t>(kPxdStart), 0x00,
                           static_cast<uint8_t>(bottom), 0xFF});
    // Second control sequence: hide after 43 * 1024 ticks, just under half a second, so
    // that the last unit (3.5 s into the title) ends with the title; it is the last one.
    const size_t dcsq2 = out.size();
    out.insert(out.end(), {0x00, 0x2B, 0x00, 0x00, 0x02, 0xFF});
    put16(out, 0, out.size());
    put16(out, 2, dcsq1);
    put16(out, dcsq1 + 2, dcsq2);
    put16(out, dcsq2 + 2, dcsq2);
    return out;
}

// --- Tracks --------------------------------------------------------------------------------

struct StreamPlan {
    std::vector<Bytes> units;
    uint64_t ptsStart = 0, ptsStep = 0;
};

StreamPlan plan(SampleStream stream, int part) {
    const int p = part == 2 ? 1 : 0;
    StreamPlan sp;
    switch (stream) {
    case SampleStream::VC1:
    case SampleStream::MPEG2: {
        const bool vc1 = stream == SampleStream::VC1;
        Filler filler(0x1000U + static_cast<uint32_t>(p));
        for (int f = 0; f < kSampleFramesPerPart; ++f) {
            const int frame = p * kSampleFramesPerPart + f;
            const bool intra = frame % kGopLength == 0;
            Bytes unit;
            if (vc1) {
                if (intra) unit = vc1SequenceHeader();
                append(unit, vc1Frame(intra, filler));
            } else {
                if (intra) {
                    unit = mpeg2SequenceHeader();
                    append(unit, mpeg2Gop(frame));
                }
                append(unit, mpeg2Picture(frame % kGopLength, intra));
            }
            sp.units.push_back(std::move(unit));
        }
        sp.ptsStep = kFrameTicks;
        sp.ptsStart = kStartPts + kFrameTicks * static_cast<uint64_t>(p * kSampleFramesPerPart);
        break;
    }
    case SampleStream::AC3:
    case SampleStream::EAC3: {
        const bool eac3 = stream == SampleStream::EAC3;
        for (int f = 0; f < kAudioFramesPerPart; ++f)
            sp.units.push_back(eac3 ? eac3Frame() : ac3Frame());
        sp.ptsStep = kAudioFrameTicks;
        sp.ptsStart = kStartPts + kAudioFrameTicks * static_cast<uint64_t>(p * kAudioFramesPerPart);
        break;
    }
    case SampleStream::LPCM:
        for (int u = 0; u < kLpcmUnitsPerPart; ++u)
            sp.units.push_back(
                lpcmUnit(static_cast<int64_t>(p * kLpcmUnitsPerPart + u) * kLpcmFramesPerUnit));
        sp.ptsStep = kLpcmUnitTicks;
        sp.ptsStart = kStartPts + kLpcmUnitTicks * static_cast<uint64_t>(p * kLpcmUnitsPerPart);
        break;
    case SampleStream::Subpicture:
        for (int u = 0; u < kSubpicturesPerPart; ++u) sp.units.push_back(subpictureUnit());
        sp.ptsStep = kSubpictureTicks;
        sp.ptsStart = kStartPts + kSubpictureTicks / 2 +
                      kSubpictureTicks * static_cast<uint64_t>(p * kSubpicturesPerPart);
        break;
    }
    return sp;
}

PsMuxer::Track track(SampleStream stream, int part) {
    StreamPlan sp = plan(stream, part);
    PsMuxer::Track t;
    t.units = std::move(sp.units);
    t.ptsStart = sp.ptsStart;
    t.ptsStep = sp.ptsStep;
    switch (stream) {
    case SampleStream::VC1:
        t.streamId = 0xFD;
        t.streamIdExt = 0x55;
        t.withDts = true;
        break;
    case SampleStream::MPEG2:
        t.streamId = 0xE1;
        t.withDts = true;
        break;
    case SampleStream::AC3:
        t.streamId = 0xBD;
        t.subHeader = subHeaderAudio(0x80);
        break;
    case SampleStream::EAC3:
        t.streamId = 0xBD;
        t.subHeader = subHeaderAudio(0xC1);
        break;
    case SampleStream::LPCM:
        t.streamId = 0xBD;
        t.subHeader = lpcmSubHeader();
        break;
    case SampleStream::Subpicture:
        t.streamId = 0xBD;
        t.subHeader = subHeaderSub(0x20);
        break;
    }
    return t;
}

constexpr SampleStream kAllStreams[] = {SampleStream::VC1,  SampleStream::MPEG2,
                                        SampleStream::AC3,  SampleStream::EAC3,
                                        SampleStream::LPCM, SampleStream::Subpicture};

void makeFolder(const std::string& path, bool linkAllowed) {
    if (::mkdir(path.c_str(), 0777) == 0) return;
    const int err = errno;
    struct stat st {};
    if (err != EEXIST || ::lstat(path.c_str(), &st) != 0)
        throw Error("Cannot create folder \"" + path + "\". " + std::strerror(err));
    // A folder of the disc that is a link would carry the files to where its maker chose.
    if (S_ISLNK(st.st_mode) && !linkAllowed)
        throw Error("Cannot create folder \"" + path + "\". It is a symbolic link");
}

void writeWhole(const std::string& path, const void* data, size_t size, bool replace) {
    FileStream out(path, replace ? FileStream::Mode::Create : FileStream::Mode::CreateNew);
    out.write(data, size);
    out.close();
}

} // namespace

Bytes sampleStreamData(SampleStream stream, int part) {
    Bytes out;
    for (const Bytes& u : plan(stream, part).units) append(out, u);
    return out;
}

Bytes sampleTitlePart(int part) {
    PsMuxer mux;
    for (SampleStream s : kAllStreams) mux.add(track(s, part));
    // The system header counts three audio and two video streams.
    return mux.build(true, 3, 2);
}

std::string samplePlaylist() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Quillfen Sample Disc">
  <Configuration>
    <StreamingBuffer size="0"/>
    <Aperture size="1920x1080"/>
  </Configuration>
  <MediaAttributeList>
    <VideoAttributeItem index="1" codec="VC-1"/>
    <AudioAttributeItem index="1" codec="AC-3" channels="6"/>
    <AudioAttributeItem index="2" codec="DD+" channels="6"/>
    <AudioAttributeItem index="3" codec="LPCM" channels="2"/>
    <SubpictureAttributeItem index="1" codec="2bitRLE"/>
  </MediaAttributeList>
  <TitleSet>
    <Title id="Feature" displayName="Sample Feature" titleNumber="1" titleDuration="00:00:04:00">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeBegin="00:00:00:00" titleTimeEnd="00:00:02:00" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="English"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="Commentary"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
      </PrimaryAudioVideoClip>
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" titleTimeBegin="00:00:02:00" titleTimeEnd="00:00:04:00" dataSource="Disc"/>
      <ChapterList>
        <Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>
        <Chapter titleTimeBegin="00:00:02:00" displayName="Second part"/>
      </ChapterList>
    </Title>
  </TitleSet>
</Playlist>
)";
}

std::vector<std::string> writeSampleDisc(const std::string& dir, bool replace) {
    std::string root = dir;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const std::string video = root + "/HVDVD_TS", playlist = root + "/ADV_OBJ";
    const std::string parts[2] = {video + "/FEATURE_1.EVO", video + "/FEATURE_2.EVO"};
    const std::string xpl = playlist + "/VPLST000.XPL";
    // Nothing is changed when one of the files is there already and may not be replaced.
    if (!replace)
        for (const std::string& path : {parts[0], parts[1], xpl}) {
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0)
                throw Error("Cannot create file \"" + path + "\". It exists; --force replaces it");
        }
    makeFolder(root, true);
    makeFolder(video, false);
    makeFolder(playlist, false);
    std::vector<std::string> written;
    for (int part = 1; part <= 2; ++part) {
        const std::string& path = parts[part - 1];
        const Bytes data = sampleTitlePart(part);
        writeWhole(path, data.data(), data.size(), replace);
        written.push_back(path);
    }
    const std::string text = samplePlaylist();
    writeWhole(xpl, text.data(), text.size(), replace);
    written.push_back(xpl);
    return written;
}

} // namespace qf
