#pragma once
// HD DVD subpictures as a presentation-graphics stream (.sup of "PG" segments), which
// Matroska muxers and players take: each unit becomes a display set of its composition,
// window, palette and object, and an empty composition when it hides.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/pes.h"
#include "engine/subpicture_units.h"
#include "jobs/unit_gatherer.h"

namespace qf {

struct PgsOptions {
    int width = 1920, height = 1080; // of the title's video
    // The units' times are counted from here (the earliest time stamp of the last read), as
    // the "SP" records' are; kNoEarliestPts: from 0.
    Stamp origin = 0;
    bool hasOrigin = false;
    bool forcedOnly = false; // write only the forced units
    // The palette of 2-bit units that bring none of their own (0xRRGGBB).
    std::array<uint32_t, 16> palette{};
};

// Takes one subpicture stream's packets as a demux pass hands them over, gathers them into
// units by their size field and writes a display set for each whole unit. A unit too short
// for its header and one control sequence, one whose bitmap cannot be read and one without
// a time of its own are left out and counted.
class PgsWriter final : public SubpictureUnits {
public:
    PgsWriter(std::unique_ptr<Stream> out, PgsOptions options);

    void unitStart(uint64_t pts, bool sharesPack) override;
    void write(const void* buf, size_t n) override;
    size_t read(void*, size_t) override { return 0; }
    int64_t size() const override { return out_->size(); }
    int64_t position() const override { return out_->position(); }
    void seek(int64_t) override {}
    std::string failure(std::string_view what) const override { return out_->failure(what); }
    void close() override { out_->close(); }

    // Units still incomplete are left out.
    void finish();

    const SubpictureUnitList& units() const { return units_; }
    int droppedUnfinished() const { return gatherer_.unfinished(); }
    int droppedUnreadable() const { return unreadable_; }

private:
    void unitDone();
    void displaySet(const std::vector<uint8_t>& pixels, int x, int y, int w, int h,
                    const std::vector<std::array<uint8_t, 5>>& palette, uint32_t pts, bool forced);
    void clearSet(uint32_t pts, int x, int y, int w, int h);
    void segment(uint8_t type, uint32_t pts, const std::vector<uint8_t>& body);

    std::unique_ptr<Stream> out_;
    PgsOptions options_;
    UnitGatherer gatherer_;
    bool timed_ = false;
    uint64_t pts_ = 0;
    uint16_t composition_ = 0;
    // The 8-bit palette and transparency last given: later units may leave them out.
    std::vector<uint8_t> palette_, transparency_;
    SubpictureUnitList units_;
    int unreadable_ = 0;
    std::vector<uint8_t> segment_;
};

// The run-length coding of presentation graphics objects, line by line, each line ended by
// 00 00.
std::vector<uint8_t> pgsRle(const std::vector<uint8_t>& pixels, int width, int height);

} // namespace qf
