#include "engine/title_clock.h"

namespace qf {

using timeline::Ticks;

namespace {
// A pack clock that goes back, or on by more than this, starts a new segment: a program
// stream gives a clock reference at least every 0.7 s.
constexpr Ticks kClockLeap = timeline::kTicksPerSecond;
// A video time stamp of the title's picture this far from the last one starts a new
// segment also where the pack clocks run on: reordering moves stamps by a few frames only.
constexpr Ticks kStampLeap = 2 * timeline::kTicksPerSecond;
constexpr Ticks kDefaultFrame = 3600; // 25 fps, until a frame length is known
// A damaged or hostile source could jump at every pack: past this many segments the clock
// is taken to run on, which bounds the memory and the placing work.
constexpr size_t kMaxSegments = 4096;
constexpr int kReorderStamps = 64;
} // namespace

TitleClock::TitleClock(std::vector<CellMark> cells) : cells_(std::move(cells)) {
    startSegment(0, false);
}

void TitleClock::startSegment(int64_t position, bool partBoundary) {
    if (!seen_.empty()) seen_.back().stillTime += still_;
    still_ = 0;
    // A segment in which no stream carried a stamp yet (a part's first packs, a run of
    // padding) is no segment of its own: the jump after it begins the same one.
    if (!seen_.empty() && !open_.anySeen) {
        seen_.back().partBoundary = seen_.back().partBoundary || partBoundary;
        open_.packSeen = false;
        return;
    }
    if (seen_.size() >= kMaxSegments) return;
    timeline::SegmentSeen s;
    s.sourcePosition = position;
    s.partBoundary = partBoundary;
    s.cell = cell_;
    seen_.push_back(std::move(s));
    counted_.push_back(countedNow());
    open_ = {};
    ++version_;
}

void TitleClock::partStarted(int64_t position) {
    cellAt(position);
    startSegment(position, true);
}

// Moves on to the cell `position` lies in; a still cell left behind ends its segment.
void TitleClock::cellAt(int64_t position) {
    while (nextCell_ < cells_.size() && position >= cells_[nextCell_].start) {
        cell_ = cells_[nextCell_].number;
        // The cell's picture is held before the next one plays: the segment ends here.
        if (still_ > 0) startSegment(cells_[nextCell_].start, false);
        if (!open_.anySeen) seen_.back().cell = cell_;
        still_ = cells_[nextCell_].still;
        ++nextCell_;
    }
}

void TitleClock::pack(int64_t position, Stamp scr) {
    cellAt(position);
    if (open_.packSeen) {
        const Ticks d =
            timeline::stampDelta(static_cast<Ticks>(open_.lastScr), static_cast<Ticks>(scr));
        if (d < 0 || d > kClockLeap) startSegment(position, false);
    }
    open_.packSeen = true;
    open_.lastScr = scr;
}

void TitleClock::stamp(int64_t position, Family family, int slot, Stamp pts) {
    const auto t = static_cast<Ticks>(pts);
    if (family == Family::Video && slot == 0) {
        if (open_.videoSeen) {
            const Ticks d = timeline::stampDelta(static_cast<Ticks>(lastVideo_), t);
            if (d < -kStampLeap || d > kStampLeap) {
                startSegment(position, false);
            } else if (d != 0) {
                const Ticks step = d < 0 ? -d : d;
                if (minVideoStep_ == 0 || step < minVideoStep_) minVideoStep_ = step;
            }
        }
        timeline::SegmentSeen& s = seen_.back();
        if (!open_.videoSeen) {
            s.firstVideoPts = s.lastVideoPts = t;
            open_.videoSeen = true;
            ++version_;
        } else {
            // Reordering puts a segment's earliest picture among its first few stamps; later
            // ones do not move its start (nor make the placing work again).
            if (open_.videoStamps < kReorderStamps &&
                timeline::stampDelta(s.firstVideoPts, t) < 0) {
                s.firstVideoPts = t;
                ++version_;
            }
            if (timeline::stampDelta(s.lastVideoPts, t) > 0) s.lastVideoPts = t;
        }
        ++open_.videoStamps;
        lastVideo_ = pts;
        if (cell_ > 0 && (cellPictures_.empty() || cellPictures_.back().first != cell_))
            cellPictures_.push_back({cell_, onFirstClock(pts)});
    } else if (family == Family::Audio && slot >= 0 && slot < kAudioSlots &&
               !open_.audioSeen[static_cast<size_t>(slot)]) {
        open_.audioSeen[static_cast<size_t>(slot)] = true;
        seen_.back().streams.push_back({slot, t});
    }
    if (!open_.anySeen) {
        open_.anySeen = true;
        open_.firstAny = pts;
        ++version_;
    }
}

std::vector<timeline::SegmentSeen> TitleClock::withDurations() const {
    const Ticks frame = frame_ > 0 ? frame_ : minVideoStep_ > 0 ? minVideoStep_ : kDefaultFrame;
    std::vector<timeline::SegmentSeen> seen = seen_;
    for (size_t i = 0; i < seen.size(); ++i) {
        timeline::SegmentSeen& s = seen[i];
        s.lastFrameDuration = frame;
        // Where the pictures were counted, they say how long the segment shows.
        const Counted end = i + 1 < counted_.size() ? counted_[i + 1] : countedNow();
        const int64_t frames = end.frames - counted_[i].frames;
        const int64_t fields = end.fields - counted_[i].fields;
        const Ticks shown = fields > 0 ? fields * frame / 2 : frames * frame;
        if (frames_ && shown > 0) s.lastVideoPts = s.firstVideoPts + shown - frame;
    }
    // A segment that shows no picture of its own is placed by its first stamp of any stream.
    if (!open_.videoSeen && open_.anySeen)
        seen.back().firstVideoPts = seen.back().lastVideoPts = static_cast<Ticks>(open_.firstAny);
    return seen;
}

Stamp TitleClock::onFirstClock(Stamp pts) {
    if (seen_.size() < 2) return pts;
    if (cachedFor_ != version_) {
        const std::vector<timeline::SegmentPlaced> p = timeline::placeSegments(withDurations());
        offset_ = p.front().anchorPts + p.back().titleTime - p.back().anchorPts;
        cachedFor_ = version_;
    }
    Ticks t = (static_cast<Ticks>(pts) + offset_) % timeline::kStampWrap;
    if (t < 0) t += timeline::kStampWrap;
    return static_cast<Stamp>(t);
}

std::vector<timeline::SegmentPlaced> TitleClock::placed() const {
    std::vector<timeline::SegmentSeen> seen = withDurations();
    // The last segment's still, and none that carried no stamp (the packs of a part's end).
    seen.back().stillTime += still_;
    if (seen.size() > 1 && !open_.anySeen) {
        seen[seen.size() - 2].stillTime += seen.back().stillTime;
        seen.pop_back();
    }
    std::vector<timeline::SegmentPlaced> placed = timeline::placeSegments(seen);
    if (frames_)
        for (size_t i = 0; i < placed.size(); ++i) {
            const Counted end = i + 1 < counted_.size() ? counted_[i + 1] : countedNow();
            placed[i].frames = end.frames - counted_[i].frames;
            placed[i].fields = end.fields - counted_[i].fields;
        }
    // A segment whose clock runs on from the one before, with no still between them (a
    // part that continues its clock, a leap of the pack clocks alone), is part of it.
    std::vector<timeline::SegmentPlaced> kept;
    for (size_t i = 0; i < placed.size(); ++i) {
        if (i > 0 && !placed[i].clockRestarts && seen[i - 1].stillTime == 0) {
            kept.back().frames += placed[i].frames;
            kept.back().fields += placed[i].fields;
            continue;
        }
        kept.push_back(std::move(placed[i]));
        kept.back().number = static_cast<int>(kept.size());
    }
    return kept;
}

void chaptersAtPictures(TitleFacts& facts, const std::vector<std::pair<int, Stamp>>& pictures,
                        Stamp titleStart) {
    // The chapters were listed from the cells that begin one (and the first cell).
    std::vector<int> firstCells;
    for (const CellMark& c : facts.cells)
        if (c.beginsChapter || firstCells.empty()) firstCells.push_back(c.number);
    if (firstCells.size() != facts.chapters.size()) return;
    for (size_t i = 0; i < firstCells.size(); ++i)
        for (const auto& [cell, pts] : pictures)
            if (cell == firstCells[i]) {
                const Ticks t =
                    timeline::stampDelta(static_cast<Ticks>(titleStart), static_cast<Ticks>(pts));
                facts.chapters[i].start =
                    static_cast<double>(t) / static_cast<double>(timeline::kTicksPerSecond);
                break;
            }
}

} // namespace qf
