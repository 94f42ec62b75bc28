#pragma once
// The title's playback clock. A title's cells may come from several program streams, each
// with a clock of its own that starts again near zero; this places every segment of the
// title on one timeline from what a pass observes, so that every output can follow it.
// Times are 90 kHz ticks; time stamps are 33-bit and may wrap within a title.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qf::timeline {

using Ticks = std::int64_t;
constexpr Ticks kTicksPerSecond = 90000;
constexpr Ticks kStampWrap = Ticks{1} << 33; // the time stamps' range

// `to - from` of two 33-bit time stamps, the short way round the wrap.
Ticks stampDelta(Ticks from, Ticks to);

// Does the clock jump between two time stamps of a stream that should follow each other
// one frame apart? Up to one frame late is no jump (a dropped frame); one that does not
// advance is.
bool isJump(Ticks previous, Ticks next, Ticks frame);

// The first time stamp a stream itself carries within a segment.
struct StreamStart {
    int stream = 0;
    Ticks firstPts = 0;
};

// Where an audio stream's output meets a segment: the bytes written before it, and the
// time stamp, on the first segment's clock, of the segment's first stamped packet.
struct AudioAnchor {
    std::uint64_t byte = 0;
    Ticks pts = 0;
};

// What a pass sees of one segment, in playback order.
struct SegmentSeen {
    std::int64_t sourcePosition = 0; // byte offset of the segment's first pack
    int cell = 0;                    // its first cell (1-based, 0 when not from a disc)
    bool partBoundary = false;       // starts a new file or title part
    Ticks firstVideoPts = 0;
    Ticks lastVideoPts = 0; // of the frame displayed last
    Ticks lastFrameDuration = 0;
    Ticks stillTime = 0; // how long the cell's last picture is held (IFO cell playback)
    std::vector<StreamStart> streams;
};

struct StreamOffset {
    int stream = 0;
    Ticks offset = 0;          // the stream's first time stamp less the video's
    std::int64_t offsetMs = 0; // rounded to the nearest millisecond
};

// Where one segment plays on the title.
struct SegmentPlaced {
    int number = 1;             // 1-based
    Ticks titleTime = 0;        // of its first video frame
    Ticks anchorPts = 0;        // the segment's own time stamp at titleTime
    bool clockRestarts = false; // the time stamps do not continue the previous segment's
    std::int64_t sourcePosition = 0;
    int cell = 0;
    std::vector<StreamOffset> streams;
    // The pictures counted in it, and the fields they are shown for (0: not counted).
    std::int64_t frames = 0, fields = 0;
};

// Each segment's place: the first starts at 0; after a jump a segment starts right after the
// previous one's last video frame ends plus its still time; a segment whose time stamps
// continue keeps the clock (moved by a still time only). Streams keep their own offsets to
// the video, so a small overlap or gap at a jump stays as the disc has it.
std::vector<SegmentPlaced> placeSegments(const std::vector<SegmentSeen>& seen);

// The title time of a time stamp of the segment.
Ticks titleTimeOf(const SegmentPlaced& segment, Ticks pts);

// "H:MM:SS.mmm", rounded to the millisecond.
std::string formatTitleTime(Ticks t);

// The log line of a segment, e.g. "Segment 2 at 0:08:00.000 (cell 4): clock restarts;
// DD.stream.01 starts 120 ms after the video". Streams without a name are left out.
std::string segmentLine(const SegmentPlaced& segment, const std::map<int, std::string>& names);

} // namespace qf::timeline
