// Placing a title's segments on its playback timeline.
#include "engine/timeline.h"

namespace qf::timeline {

Ticks stampDelta(Ticks from, Ticks to) {
    Ticks d = (to - from) % kStampWrap;
    if (d < 0) d += kStampWrap;
    return d >= kStampWrap / 2 ? d - kStampWrap : d;
}

bool isJump(Ticks previous, Ticks next, Ticks frame) {
    const Ticks d = stampDelta(previous, next);
    return d <= 0 || d > 2 * frame;
}

namespace {

std::int64_t roundedMs(Ticks t) {
    const Ticks perMs = kTicksPerSecond / 1000;
    return t >= 0 ? (t + perMs / 2) / perMs : -((-t + perMs / 2) / perMs);
}

// Where the segment's last video frame ends on the title, its still time included.
Ticks endOf(const SegmentPlaced& placed, const SegmentSeen& seen) {
    return placed.titleTime + stampDelta(seen.firstVideoPts, seen.lastVideoPts) +
           seen.lastFrameDuration + seen.stillTime;
}

} // namespace

std::vector<SegmentPlaced> placeSegments(const std::vector<SegmentSeen>& seen) {
    std::vector<SegmentPlaced> placed;
    placed.reserve(seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const SegmentSeen& s = seen[i];
        SegmentPlaced p;
        p.number = static_cast<int>(i) + 1;
        p.anchorPts = s.firstVideoPts;
        p.sourcePosition = s.sourcePosition;
        p.cell = s.cell;
        if (i > 0) {
            const SegmentSeen& prev = seen[i - 1];
            const SegmentPlaced& last = placed.back();
            p.clockRestarts = isJump(prev.lastVideoPts, s.firstVideoPts, prev.lastFrameDuration);
            p.titleTime = p.clockRestarts
                              ? endOf(last, prev)
                              : last.titleTime + stampDelta(prev.firstVideoPts, s.firstVideoPts) +
                                    prev.stillTime;
        }
        for (const StreamStart& st : s.streams) {
            const Ticks offset = stampDelta(s.firstVideoPts, st.firstPts);
            p.streams.push_back({st.stream, offset, roundedMs(offset)});
        }
        placed.push_back(std::move(p));
    }
    return placed;
}

Ticks titleTimeOf(const SegmentPlaced& segment, Ticks pts) {
    return segment.titleTime + stampDelta(segment.anchorPts, pts);
}

} // namespace qf::timeline
