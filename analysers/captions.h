#pragma once
// Line-21 caption byte pairs carried in video user data: DVD's GOP user data ("CC") and
// ATSC's cc_data ("GA94") in MPEG-2 picture user data or H.264 SEI (registered ITU-T T.35
// user data). The reader follows a video elementary stream run by run and gives every
// pair its field and the presentation time of the picture it goes with.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qf {

// One byte pair as carried, parity bits included.
struct CaptionPair {
    int64_t time = 0;  // 90 kHz ticks, on the clock of the PTS handed in
    uint8_t field = 1; // line 21 of field 1 or of field 2
    uint8_t b1 = 0x80, b2 = 0x80;
};

enum class CaptionCarriage : uint8_t { None, DvdGop, Atsc };

// Which of CC1-CC4 control codes addressed, and how the pairs were carried.
struct CaptionChannels {
    std::array<bool, 4> present{}; // CC1, CC2 (field 1), CC3, CC4 (field 2)
    CaptionCarriage carriage = CaptionCarriage::None;

    bool any() const { return present[0] || present[1] || present[2] || present[3]; }
    bool onField(int field) const {
        return field == 1 ? present[0] || present[1] : present[2] || present[3];
    }
};

// The channel a pair's control code addresses (1-4), if it is one with good parity.
std::optional<int> line21Channel(uint8_t field, uint8_t b1, uint8_t b2);

enum class VideoCoding : uint8_t { Mpeg2, H264 };

class CaptionReader {
public:
    explicit CaptionReader(VideoCoding coding) : coding_(coding) {}

    // The next run of the stream's payload, in order; pts: the PES packet's PTS, which goes
    // with the first picture that starts in the run. Runs may cut anything anywhere.
    void feed(std::span<const uint8_t> run, std::optional<int64_t> pts);
    // Ends the stream: pairs still waiting for a picture get the last time known.
    void finish();

    // The pairs in presentation order (pairs of one picture in their carried order).
    std::vector<CaptionPair> takePairs();
    const CaptionChannels& channels() const { return channels_; }

private:
    void startCode(uint8_t code);
    void unitEnded();
    void userData(std::span<const uint8_t> d);
    void ccData(std::span<const uint8_t> d); // from the flags byte on
    void sei(std::span<const uint8_t> rbsp);
    // picture: which picture of a GOP (or from the current picture on) a DVD pair is for;
    // -1 for an ATSC pair, which goes with the picture its user data follows.
    void add(uint8_t field, uint8_t b1, uint8_t b2, int picture, bool fromGop);
    void pictureStarted(int temporalReference);
    void resolveWaiting();
    int64_t period(int pictures) const;

    struct Waiting {
        CaptionPair pair;
        int picture;
        bool fromGop;
    };

    VideoCoding coding_;
    std::vector<CaptionPair> pairs_;
    std::vector<Waiting> waiting_;
    CaptionChannels channels_;

    uint32_t window_ = 0xFFFFFFFF; // the last four bytes
    int unit_ = -1;                // start code of the unit being collected, -1 for none
    std::vector<uint8_t> bytes_;   // its bytes after the start code, up to a cap
    bool collect_ = false;         // the unit is one the reader reads
    bool truncated_ = false;

    std::optional<int64_t> pendingPts_; // the run's PTS, until a picture takes it
    std::optional<int64_t> unitPts_;    // the PTS of the picture header being collected
    std::optional<int64_t> pictureTime_, gopStart_;
    bool inGop_ = false;                   // between a GOP header and its first picture
    bool afterPicture_ = false;            // a picture (access unit) has begun and has a time
    bool sliceSeen_ = false;               // H.264: the access unit has had a slice
    int rateNum_ = 30000, rateDen_ = 1001; // pictures a second
};

// The channels one run's user data addresses: what a Read reports.
CaptionChannels captionChannels(std::span<const uint8_t> run, VideoCoding coding);

} // namespace qf
