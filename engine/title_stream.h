#pragma once
// A DVD title as one program stream: the sector ranges of its cells, in playback order,
// read through libdvdread's reader of a title set's VOBs. Of an interleaved cell only its
// own units are read, as its navigation packets lead from one to the next.
#include <memory>
#include <string>
#include <vector>

#include "engine/dvd_disc.h"
#include "engine/stream.h"

namespace qf {

class TitleStream final : public Stream {
public:
    // Opens the VOBs of title set `titleSet` of `disc`. Throws Error("Cannot open title set
    // N of "disc". reason") when libdvdread cannot or an interleaved cell's navigation data
    // is damaged or unreadable, and the errors of checkDiscFiles.
    // With `menus`, the cells are sectors of the title set's menu VOB (title set 0: the
    // video manager's VIDEO_TS.VOB).
    TitleStream(const std::string& disc, int titleSet, const std::vector<TitleCell>& cells,
                bool menus = false);
    // Cells that are none of them interleaved.
    TitleStream(const std::string& disc, int titleSet, const std::vector<SectorRange>& cells);
    ~TitleStream() override;
    TitleStream(const TitleStream&) = delete;
    TitleStream& operator=(const TitleStream&) = delete;

    size_t read(void* buf, size_t n) override;
    // A title is only read.
    void write(const void* buf, size_t n) override;
    int64_t size() const override { return size_; }
    int64_t position() const override { return pos_; }
    void seek(int64_t pos) override;
    std::string failure(std::string_view what) const override;
    // Where each cell given begins in the title's bytes.
    const std::vector<int64_t>& cellStarts() const { return cellStarts_; }

private:
    struct Handles;
    std::unique_ptr<Handles> dvd_;
    std::string disc_;
    int titleSet_ = 0;
    std::vector<SectorRange> cells_; // the runs of sectors read, in order
    std::vector<int64_t> cellStarts_;
    std::vector<int64_t> starts_; // byte offset of each cell in the title, and the size last
    int64_t size_ = 0, pos_ = 0;
    int64_t failedSector_ = -1;         // the sector a read failed at
    std::vector<unsigned char> sector_; // one sector, for reads that start or end inside one
};

} // namespace qf
