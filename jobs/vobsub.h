#pragma once
// DVD subpictures as VobSub: the units in 2048-byte packs (.sub) and the text index that
// times them (.idx), the pair Matroska muxers and subtitle tools read.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/subpicture_units.h"
#include "jobs/unit_gatherer.h"

namespace qf {

// The common 16-colour palette of VobSub tools, for a title whose own is not known.
extern const std::array<uint32_t, 16> kDefaultVobSubPalette;

// What the .idx says besides the units' times.
struct VobSubIndex {
    int width = 720, height = 576;      // of the title's video
    std::array<uint32_t, 16> palette{}; // 0xRRGGBB
    std::string language;               // ISO 639-1; empty: unknown ("--")
    uint64_t videoStartPts = 0;         // the time 0 of the demuxed video (33 bits)
    bool forcedOnly = false;            // write only the forced units
    // HD DVD: the first 16 colours of a unit's own palette (its 256-colour command) go
    // before `palette`, when a unit brings one before the index goes out.
    bool paletteFromUnits = false;
};

// Takes one subpicture stream's packets as a demux pass hands them over, gathers them into
// units by their size field and writes each unit whole into `sub`, starting on a pack
// boundary; the index goes into `idx`, whole by finish(). A unit too short for its header
// and one display control sequence, or too long to be one, is incomplete: left out and
// counted, as one cut off by the next time stamp. A whole unit that shares a pack with an
// earlier one is left out and counted apart, as one before the video's start: each unit
// written takes a pack of its own, as on a disc, so the .sub stays about as large as the
// packs it came from.
class VobSubWriter final : public SubpictureUnits {
public:
    VobSubWriter(std::unique_ptr<Stream> sub, std::unique_ptr<Stream> idx, VobSubIndex index);

    void unitStart(uint64_t pts, bool sharesPack) override;
    void write(const void* buf, size_t n) override;
    size_t read(void*, size_t) override { return 0; }
    int64_t size() const override { return sub_->size(); }
    int64_t position() const override { return sub_->position(); }
    void seek(int64_t) override {}
    std::string failure(std::string_view what) const override { return sub_->failure(what); }
    void close() override {
        sub_->close();
        idx_->close();
    }

    // Writes the rest of the index. Units still incomplete are left out.
    void finish();

    const SubpictureUnitList& units() const { return units_; }
    int droppedBeforeStart() const { return beforeStart_; }
    int droppedUnfinished() const { return gatherer_.unfinished(); }
    int64_t droppedSharingPack() const { return sharingPack_; }
    // The index has the palette of a unit (paletteFromUnits).
    bool unitPalette() const { return unitPalette_; }
    bool paletteFromUnits() const { return index_.paletteFromUnits; }

private:
    void unitDone();
    void writePacks(const uint8_t* unit, size_t size, uint64_t pts);
    void takeUnitPalette();
    std::string indexHead() const;
    // Hands the index lines gathered so far to `idx`, its head first.
    void writeIndex();

    std::unique_ptr<Stream> sub_, idx_;
    VobSubIndex index_;
    UnitGatherer gatherer_;
    bool timed_ = false;      // the unit being gathered has a time
    bool sharesPack_ = false; // and began in the pack of an earlier one
    uint64_t pts_ = 0;
    SubpictureUnitList units_;
    // The lines of the index not written yet; its head goes before the first of them, once
    // the palette is settled. It goes out in pieces, so that a stream of millions of
    // units is never held whole.
    std::string indexText_;
    int beforeStart_ = 0;
    int64_t sharingPack_ = 0;
    bool headWritten_ = false, unitPalette_ = false;
};

// Does a 2-bit RLE unit's display control sequence hold "forced start display"?
bool forcedUnit(const uint8_t* unit, size_t size);

// "HH:MM:SS:mmm" of a time in milliseconds (negative gives 0).
std::string vobSubTime(int64_t ms);

} // namespace qf
