#include "engine/eia608.h"

#include <algorithm>
#include <utility>

#include "engine/eia608_chars.h"

namespace qf {

namespace {

constexpr int kLastColumn = Line21Decoder::kColumns - 1;
constexpr int kBaseRow = Line21Decoder::kRows - 1; // row 15, where rolling up starts

bool oddParity(uint8_t b) {
    int ones = 0;
    for (int i = 0; i < 8; ++i) ones += (b >> i) & 1;
    return ones % 2 == 1;
}

// The row (0-14) of a preamble address code: its first byte with the channel bit cleared,
// and bit 5 of the second byte, which picks the second row of the pair.
int preambleRow(uint8_t c1, uint8_t c2) {
    static constexpr int kRows[8][2] = {{10, -1}, {0, 1}, {2, 3}, {11, 12},
                                        {13, 14}, {4, 5}, {6, 7}, {8, 9}};
    return kRows[c1 & 0x07][(c2 & 0x20) ? 1 : 0];
}

void clear(Line21Decoder::Memory& m) {
    for (auto& row : m) row.fill({});
}

} // namespace

std::string line21Text(const Line21Decoder::Memory& screen) {
    std::string out;
    for (const auto& row : screen) {
        auto shown = [](const Line21Decoder::Cell& cell) {
            return cell.ch != 0 && cell.ch != U' ';
        };
        const auto first = std::find_if(row.begin(), row.end(), shown);
        if (first == row.end()) continue;
        const auto last = std::find_if(row.rbegin(), row.rend(), shown).base();
        if (!out.empty()) out += '\n';
        bool italic = false, underline = false;
        auto close = [&] {
            if (underline) out += "</u>";
            if (italic) out += "</i>";
            italic = underline = false;
        };
        for (auto it = first; it != last; ++it) {
            const bool i = it->ch != 0 && it->italic, u = it->ch != 0 && it->underline;
            if (i != italic || u != underline) {
                close();
                if (i) out += "<i>";
                if (u) out += "<u>";
                italic = i;
                underline = u;
            }
            appendUtf8(out, it->ch ? it->ch : U' ');
        }
        close();
    }
    return out;
}

Line21Decoder::Line21Decoder() {
    fields_[1].channel = 2;
}

const std::vector<CaptionCue>& Line21Decoder::cues(int channel) const {
    return channels_.at(static_cast<size_t>(std::clamp(channel, 1, 4) - 1)).cues;
}

void Line21Decoder::feed(uint8_t field, uint8_t b1, uint8_t b2, int64_t time) {
    if (field != 1 && field != 2) return;
    FieldState& fs = fields_[field - 1u];
    const uint8_t c1 = b1 & 0x7F, c2 = b2 & 0x7F;
    const std::optional<uint16_t> last = std::exchange(fs.lastCode, std::nullopt);
    if (c1 >= 0x10 && c1 <= 0x1F) {
        // A control code goes twice in a row so that one lost pair does not lose it: the
        // repeat is ignored, once. One with a parity error is dropped whole.
        if (!oddParity(b1) || !oddParity(b2) || c2 < 0x20) return;
        const uint16_t code = static_cast<uint16_t>(c1 << 8 | c2);
        if (last == code) return;
        fs.lastCode = code;
        fs.xds = false;
        fs.channel = (field == 2 ? 2 : 0) + ((c1 & 0x08) ? 1 : 0);
        Channel& c = channels_[static_cast<size_t>(fs.channel)];
        if (!c.since) c.since = time;
        control(c, static_cast<uint8_t>(c1 & ~0x08), c2, time);
        return;
    }
    if (c1 >= 0x01 && c1 <= 0x0F) {
        // Extended data service packets share field 2 with CC3 and CC4 until the next
        // caption control code.
        if (field == 2) fs.xds = true;
        return;
    }
    Channel& c = channels_[static_cast<size_t>(fs.channel)];
    if (fs.xds || c.mode == Mode::Text) return;
    for (const uint8_t b : {b1, b2}) {
        const uint8_t ch = b & 0x7F;
        if (ch >= 0x20 && oddParity(b)) put(c, line21Standard(ch));
    }
}

void Line21Decoder::control(Channel& c, uint8_t c1, uint8_t c2, int64_t time) {
    if ((c1 == 0x14 || c1 == 0x15) && c2 <= 0x2F) {
        misc(c, c2, time);
    } else if (c1 == 0x17 && c2 >= 0x21 && c2 <= 0x23) {
        c.column = std::min(c.column + (c2 - 0x20), kLastColumn);
    } else if (c1 == 0x11 && c2 <= 0x2F) {
        // A mid-row code sets colour or italics and underline, and takes a space; any
        // colour ends italics.
        c.italic = c2 >= 0x2E;
        c.underline = (c2 & 1) != 0;
        put(c, U' ');
    } else if (c1 == 0x11 && c2 <= 0x3F) {
        put(c, line21Special(c2));
    } else if ((c1 == 0x12 || c1 == 0x13) && c2 <= 0x3F) {
        // An extended character replaces the standard one sent before it for receivers
        // without the extended set.
        if (c.column > 0) --c.column;
        put(c, line21Extended(c1, c2));
    } else if (c2 >= 0x40) {
        preamble(c, c1, c2);
    }
    // Background attributes and the rest change nothing a text cue shows.
}

void Line21Decoder::misc(Channel& c, uint8_t code, int64_t time) {
    switch (code) {
    case 0x20: // resume caption loading
        c.mode = Mode::PopOn;
        break;
    case 0x21: // backspace
        if (c.column > 0)
            target(c)[static_cast<size_t>(c.row)][static_cast<size_t>(--c.column)] = {};
        break;
    case 0x24: // delete to end of row
        std::fill(target(c)[static_cast<size_t>(c.row)].begin() + c.column,
                  target(c)[static_cast<size_t>(c.row)].end(), Cell{});
        break;
    case 0x25: // roll-up captions, 2, 3 or 4 rows
    case 0x26:
    case 0x27:
        // From pop-on or paint-on, both memories are erased and rolling starts at row 15.
        if (c.mode != Mode::RollUp) {
            screenChanged(c, time);
            clear(c.shown);
            clear(c.hidden);
            c.row = kBaseRow;
            c.column = 0;
            c.mode = Mode::RollUp;
        }
        c.rollRows = code - 0x23;
        // Fewer rows: those above the window go, which changes the screen.
        for (int r = 0; r <= c.row - c.rollRows; ++r) {
            auto& row = c.shown[static_cast<size_t>(r)];
            if (std::any_of(row.begin(), row.end(), [](const Cell& cell) { return cell.ch; })) {
                screenChanged(c, time);
                for (int above = 0; above <= c.row - c.rollRows; ++above)
                    c.shown[static_cast<size_t>(above)].fill({});
                break;
            }
        }
        break;
    case 0x29: // resume direct captioning
        c.mode = Mode::PaintOn;
        break;
    case 0x2A: // text restart, resume text display: the text service, not captions
    case 0x2B:
        c.mode = Mode::Text;
        break;
    case 0x2C: // erase displayed memory
        screenChanged(c, time);
        clear(c.shown);
        break;
    case 0x2D: // carriage return
        if (c.mode == Mode::RollUp) {
            screenChanged(c, time);
            const int top = std::max(c.row - c.rollRows + 1, 0);
            Memory rolled{};
            for (int r = top; r < c.row; ++r)
                rolled[static_cast<size_t>(r)] = c.shown[static_cast<size_t>(r + 1)];
            c.shown = rolled;
            c.column = 0;
        }
        break;
    case 0x2E: // erase non-displayed memory
        clear(c.hidden);
        break;
    case 0x2F: // end of caption: the loaded caption shows
        screenChanged(c, time);
        std::swap(c.shown, c.hidden);
        c.mode = Mode::PopOn;
        break;
    default: // alarms, flash: nothing a cue shows
        break;
    }
}

void Line21Decoder::preamble(Channel& c, uint8_t c1, uint8_t c2) {
    int row = preambleRow(c1, c2);
    if (row < 0) return;
    const uint8_t a = c2 & 0x1F;
    c.underline = (a & 1) != 0;
    c.italic = !(a & 0x10) && (a >> 1) == 7;
    c.column = (a & 0x10) ? ((a >> 1) & 7) * 4 : 0;
    if (c.mode == Mode::RollUp) {
        // The rows rolling up move with their base row.
        row = std::max(row, c.rollRows - 1);
        if (row != c.row) {
            Memory moved{};
            for (int k = 0; k < c.rollRows && row - k >= 0 && c.row - k >= 0; ++k)
                moved[static_cast<size_t>(row - k)] = c.shown[static_cast<size_t>(c.row - k)];
            c.shown = moved;
        }
    }
    c.row = row;
}

void Line21Decoder::put(Channel& c, char32_t ch) {
    if (ch == 0 || c.mode == Mode::Text) return;
    target(c)[static_cast<size_t>(c.row)][static_cast<size_t>(c.column)] = {ch, c.italic,
                                                                            c.underline};
    if (c.column < kLastColumn) ++c.column;
}

void Line21Decoder::screenChanged(Channel& c, int64_t time) {
    std::string text = line21Text(c.shown);
    if (!text.empty() && c.since && time > *c.since)
        c.cues.push_back({*c.since, time, std::move(text)});
    c.since = time;
}

void Line21Decoder::finish(int64_t time) {
    for (Channel& c : channels_) screenChanged(c, time);
}

Line21Decoder decodeLine21(std::span<const CaptionPair> pairs, int64_t end) {
    Line21Decoder d;
    for (const CaptionPair& p : pairs) d.feed(p.field, p.b1, p.b2, p.time);
    d.finish(end);
    return d;
}

} // namespace qf
