#pragma once
// A line-21 caption decoder for the four caption channels CC1-CC4: byte pairs in, cues
// out. Pop-on, roll-up and paint-on captions are kept as the two caption memories of a
// receiver; each cue is one screen as it stood when the screen next changed (end of
// caption, erase, carriage return while rolling up), shown from the previous change or
// from the end of caption that brought it up. Times are whatever clock the caller gives
// each pair.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/captions.h"

namespace qf {

struct CaptionCue {
    int64_t start = 0, end = 0;
    // UTF-8 rows from top to bottom, joined by '\n', italics and underline as <i> and <u>
    std::string text;

    bool operator==(const CaptionCue&) const = default;
};

class Line21Decoder {
public:
    Line21Decoder();

    // One pair of field 1 or 2, its parity bits included, at `time`.
    void feed(uint8_t field, uint8_t b1, uint8_t b2, int64_t time);
    // Ends every screen still shown at `time`.
    void finish(int64_t time);

    // The cues of CC1-CC4 (channel 1-4) so far.
    const std::vector<CaptionCue>& cues(int channel) const;

    static constexpr int kRows = 15, kColumns = 32;

    struct Cell {
        char32_t ch = 0; // 0: nothing written
        bool italic = false, underline = false;
    };
    using Memory = std::array<std::array<Cell, kColumns>, kRows>;

private:
    enum class Mode : uint8_t { PopOn, RollUp, PaintOn, Text };

    struct Channel {
        Mode mode = Mode::PopOn;
        Memory shown{}, hidden{};
        int row = kRows - 1, column = 0;
        int rollRows = 2;
        bool italic = false, underline = false;
        std::optional<int64_t> since; // when the shown screen last changed
        std::vector<CaptionCue> cues;
    };

    struct FieldState {
        int channel = 0;                  // index into channels_ of the data channel last addressed
        std::optional<uint16_t> lastCode; // the control code just acted on, for its repeat
        bool xds = false;                 // field 2 carrying extended data, not captions
    };

    void control(Channel& c, uint8_t c1, uint8_t c2, int64_t time);
    void misc(Channel& c, uint8_t code, int64_t time);
    void preamble(Channel& c, uint8_t c1, uint8_t c2);
    void put(Channel& c, char32_t ch);
    void screenChanged(Channel& c, int64_t time);
    Memory& target(Channel& c) { return c.mode == Mode::PopOn ? c.hidden : c.shown; }

    std::array<Channel, 4> channels_;
    std::array<FieldState, 2> fields_;
};

// Every pair in order, then the screens still shown ended at `end`.
Line21Decoder decodeLine21(std::span<const CaptionPair> pairs, int64_t end);

// A screen's text as a cue holds it: "" for an empty screen.
std::string line21Text(const Line21Decoder::Memory& screen);

} // namespace qf
