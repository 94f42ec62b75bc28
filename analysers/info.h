#pragma once
// What the analysers decode from the first payload of a stream, before any of it is put
// into words. A payload may hold several headers, and a run cut short holds part of one:
// the streaming analysers keep what they met in the order they met it, and the accessors
// give the first value of a field, or nothing where no header reached it.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace qf {

// The first value f gives for an item of type T among those info.found holds; empty (or
// nullptr) when none gives one.
template <class T, class Info, class F>
auto firstOf(const Info& info, F f) -> decltype(f(std::declval<const T&>())) {
    for (const auto& item : info.found)
        if (const T* t = std::get_if<T>(&item))
            if (auto v = f(*t)) return v;
    return {};
}

// AC-3 / E-AC-3 -----------------------------------------------------------------------

// One sync frame header. bsid 11-16 marks E-AC-3, whose frame size and block count are
// read from the same bytes; AC-3 reads acmod and lfeon from the byte after bsid.
struct Ac3Frame {
    uint32_t bsid = 0, bsmod = 0;
    int32_t samplingRate = 0; // Hz; 0 for the reserved code
    uint32_t bitRate = 0;     // bit/s; 0 for a reserved code
    uint32_t acmod = 0;
    bool lfe = false;
    uint32_t frameBytes = 0, blocks = 0; // E-AC-3
    bool valid = false; // a rate and a bit rate: the stream's values come from this frame

    bool plus() const { return bsid > 10 && bsid <= 16; }
    const char* format() const { return plus() ? "Dolby Digital Plus" : "Dolby Digital"; }
    const char* layout() const;
    int channels() const; // with the LFE channel
};

// The headers met until the first valid one.
struct Ac3Info {
    std::vector<Ac3Frame> frames;
    const Ac3Frame* stream() const; // the valid header, if any
};

// DTS ---------------------------------------------------------------------------------

// A core frame header, each field absent past the last byte read.
struct DtsCore {
    std::optional<uint32_t> samples, blocks, frameBytes; // as the header counts them
    std::optional<uint32_t> amode, sfreq, rate;          // codes
    std::optional<uint32_t> extension;                   // EXT_AUDIO_ID, when flagged
    std::optional<uint32_t> lff;                         // LFE code
    std::optional<uint16_t> crc;
    std::optional<uint32_t> vernum, pcmr;

    const char* layout() const;                  // nullptr while absent
    std::optional<int32_t> samplingRate() const; // Hz
    std::optional<double> bitRate() const;       // bit/s
    std::optional<bool> lfe() const;
    std::optional<int> channels() const; // with the LFE channel
    std::optional<int> bitsPerSample() const;
};

// The extension sync words seen between headers.
enum class DtsSync : uint8_t { ChannelExtension, FrequencyExtension };

struct DtsInfo {
    std::vector<std::variant<DtsCore, DtsSync>> found;
};

// LPCM, MLP, TrueHD -------------------------------------------------------------------

// The channel assignment code of the DVD-Audio / HD DVD LPCM header and the MLP major sync:
// the arrangement's name ("" for a nameless code) and its channels, LFE included.
const char* channelArrangement(uint8_t code);
std::optional<int> channelsArranged(uint8_t code);

// The audio fields of an LPCM private header, by code. DVD-Video packs them into one byte:
// channels is then the count less one. The others give a second channel group (DVD-Audio)
// a word length and rate of its own, in the low nibbles (15: none).
struct LpcmInfo {
    bool dvdVideo = false;
    bool found = false; // false: the header lay in an earlier block
    uint8_t wordLength = 0, rate = 0, channels = 0;
    uint8_t wordLength2 = 15, rate2 = 15;

    std::string layout() const;                  // "L + R", "6 channels"; empty for a nameless code
    std::optional<int32_t> samplingRate() const; // Hz
    std::optional<int> bitsPerSample() const;
    std::optional<int> channelCount() const;
    std::optional<int> group2Bits() const;     // none for DVD-Video or a nameless code
    std::optional<int32_t> group2Rate() const; // Hz
};

struct MlpSync {
    bool trueHd = false; // else standard MLP
};
struct MlpQuantization {
    uint8_t code = 0;

    std::optional<int> bits() const;
};
struct MlpRate {
    uint8_t code = 0;

    std::optional<int32_t> hertz() const;
};
struct MlpLayout { // standard MLP's channel assignment
    uint8_t code = 0;

    const char* name() const { return channelArrangement(code); }
    std::optional<int> channels() const { return channelsArranged(code); }
};
struct TrueHdDecoders { // the 2- and 6-channel presentations
    uint32_t modifier2 = 0, modifier6 = 0, assignment6 = 0;
};
struct TrueHdEightChannels {
    uint32_t modifier = 0, assignment = 0;
};

struct MlpInfo {
    std::vector<std::variant<MlpSync, MlpQuantization, MlpRate, MlpLayout, TrueHdDecoders,
                             TrueHdEightChannels>>
        found;
};

// MPEG audio --------------------------------------------------------------------------

struct MpaHeader {
    uint32_t version = 0, layer = 0, mode = 0; // codes
    int32_t samplingRate = 0;                  // Hz
    uint32_t kbits = 0;                        // 0: free format

    std::string format() const; // "MPEG-1 Layer II"
    const char* modeName() const;
};

struct MpaInfo {
    std::optional<MpaHeader> header; // the first valid one
};

// MPEG-2 / MPEG-1 video ---------------------------------------------------------------

struct Mpeg2SequenceFound {
    int picturesBefore = 0; // pictures with coding extensions before the first header
};
struct Mpeg2Size {
    uint32_t width = 0, height = 0;
};
struct Mpeg2AspectRate {
    uint8_t aspect = 0, rate = 0; // aspect_ratio_information, frame_rate_code
};
struct Mpeg2BitRate {
    uint32_t value = 0; // in 400 bit/s

    // The largest value stands for a variable rate, which has no number.
    bool variable() const { return value == 0x3FFFF; }
};
struct Mpeg2IllegalPicture {
    int codingType = 0;
};
struct Mpeg2FirstPts {
    uint32_t pts = 0;
};
struct Mpeg2Progressive {
    bool progressive = false;
};

struct Mpeg2Info {
    std::vector<std::variant<Mpeg2SequenceFound, Mpeg2Size, Mpeg2AspectRate, Mpeg2BitRate,
                             Mpeg2IllegalPicture, Mpeg2FirstPts, Mpeg2Progressive>>
        found;

    std::optional<uint32_t> width() const, height() const;
    std::optional<double> frameRate() const;
    const char* aspect() const;            // "16:9"; nullptr for none, forbidden and reserved codes
    std::optional<double> bitRate() const; // bit/s; none for a variable rate
};
const char* mpeg2Aspect(uint8_t code); // nullptr for the forbidden and reserved codes
double mpeg2FrameRate(uint8_t code);   // 0 for the forbidden and reserved codes

// H.264 -------------------------------------------------------------------------------

struct H264FramesBeforeI {
    int accessUnits = 0;
};
struct H264Profile {
    uint8_t idc = 0;
};
struct H264Level {
    uint8_t idc = 0;
    bool constraintSet3 = false; // with idc 11: level 1b

    std::string name() const;
};
struct H264Size {
    uint64_t width = 0, height = 0;
};
struct H264FrameRate {
    double fps = 0;
};

// Every sequence parameter set of the payload adds its profile, level, size and rate.
struct H264Info {
    std::vector<std::variant<H264FramesBeforeI, H264Profile, H264Level, H264Size, H264FrameRate>>
        found;

    std::optional<uint32_t> width() const, height() const;
    std::optional<double> frameRate() const;
};
const char* h264ProfileName(uint8_t idc); // "Main Profile"

// VC-1 --------------------------------------------------------------------------------

struct Vc1SequenceFound {};
struct Vc1FramesBefore {
    int frames = 0;
};
struct Vc1ProfileLevel {
    uint8_t byte = 0; // PROFILE, LEVEL, COLORDIFF_FORMAT

    bool advanced() const { return (byte >> 6) == 3; }
    int level() const { return (byte & 0x38) >> 3; }
    std::string levelName() const;
};
struct Vc1Size {
    uint32_t width = 0, height = 0; // pixels
};
struct Vc1Scan {
    bool pulldown = false, interlace = false;
};
struct Vc1DisplayWidth {
    uint32_t pixels = 0;
};
struct Vc1DisplayHeight {
    uint32_t pixels = 0;
};
struct Vc1Aspect {
    uint8_t code = 0;
};
struct Vc1FrameRateInd { // in 1/32 fps steps
    uint32_t exp = 0;

    double fps() const { return (exp + 1) / 32.0; }
};
struct Vc1FrameRateCodes {
    uint32_t nr = 0, dr = 0;

    int numerator() const;
    int denominator() const;
    double fps() const; // 0 without both values
};
struct Vc1FirstPts {
    int64_t pts = 0;
};

struct Vc1Info {
    std::vector<std::variant<Vc1SequenceFound, Vc1FramesBefore, Vc1ProfileLevel, Vc1Size, Vc1Scan,
                             Vc1DisplayWidth, Vc1DisplayHeight, Vc1Aspect, Vc1FrameRateInd,
                             Vc1FrameRateCodes, Vc1FirstPts>>
        found;

    std::optional<uint32_t> width() const, height() const;
    std::optional<double> frameRate() const;
};
const char* vc1SampleAspect(uint8_t code); // "12:11"; nullptr for unspecified, reserved, explicit

// Subpictures -------------------------------------------------------------------------

struct SubpictureInfo {
    bool eightBit = false; // 8-bit RLE, else 2-bit
};

// What one first run showed, whichever kind it was.
using StreamInfo = std::variant<std::monostate, Ac3Info, DtsInfo, LpcmInfo, MlpInfo, MpaInfo,
                                Mpeg2Info, H264Info, Vc1Info, SubpictureInfo>;

} // namespace qf
