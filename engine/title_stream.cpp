#include "engine/title_stream.h"

#include <dvdread/dvd_reader.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "engine/angle_stream.h"
#include "engine/disc_files.h"

namespace qf {

namespace {

constexpr int64_t kSector = DVD_VIDEO_LB_LEN; // 2048
// Sectors asked of libdvdread at a time.
constexpr int64_t kRun = 512;

void quietLog(void*, dvd_logger_level_t, const char*, va_list) {}

} // namespace

struct TitleStream::Handles {
    dvd_reader_t* reader = nullptr;
    dvd_file_t* vobs = nullptr;
    ~Handles() {
        if (vobs) DVDCloseFile(vobs);
        if (reader) DVDClose(reader);
    }
};

namespace {

std::vector<TitleCell> plainCells(const std::vector<SectorRange>& cells) {
    std::vector<TitleCell> list;
    for (const SectorRange& c : cells) list.push_back({c, false});
    return list;
}

} // namespace

TitleStream::TitleStream(const std::string& disc, int titleSet,
                         const std::vector<SectorRange>& cells)
    : TitleStream(disc, titleSet, plainCells(cells)) {}

TitleStream::TitleStream(const std::string& disc, int titleSet, const std::vector<TitleCell>& cells,
                         bool menus)
    : dvd_(std::make_unique<Handles>()), disc_(disc), titleSet_(titleSet), sector_(kSector) {
    static const dvd_logger_cb quiet{quietLog};
    auto fail = [&](const std::string& reason) {
        throw Error("Cannot open title set " + std::to_string(titleSet) + " of \"" + disc + "\". " +
                    reason);
    };
    // The IFO files were read in a child already; the VOBs are read here, where libdvdread
    // only looks them up (the child did the same lookups) and reads their sectors. None of
    // them may block in its open().
    checkDiscFiles(disc);
    dvd_->reader = DVDOpen2(nullptr, &quiet, disc.c_str());
    if (!dvd_->reader) fail("It is no DVD-Video disc libdvdread can read");
    dvd_->vobs =
        DVDOpenFile(dvd_->reader, titleSet, menus ? DVD_READ_MENU_VOBS : DVD_READ_TITLE_VOBS);
    if (!dvd_->vobs) fail("Its VOB files cannot be opened");
    const SectorReader readSector = [this](uint32_t s, unsigned char* into) {
        return DVDReadBlocks(dvd_->vobs, static_cast<int>(s), 1, into) == 1;
    };
    int64_t at = 0;
    const auto runBytes = [](const SectorRange& r) {
        return r.last >= r.first ? (static_cast<int64_t>(r.last) - r.first + 1) * kSector : 0;
    };
    for (const TitleCell& c : cells) {
        cellStarts_.push_back(at);
        if (!c.interleaved) {
            cells_.push_back(c.sectors);
            at += runBytes(c.sectors);
            continue;
        }
        const UnitWalk walk = interleavedUnits(readSector, c.sectors);
        if (walk.unreadable) fail("Sector " + std::to_string(*walk.unreadable) + " cannot be read");
        if (walk.damaged)
            fail("Its navigation data at sector " + std::to_string(*walk.damaged) + " is damaged");
        cells_.insert(cells_.end(), walk.runs.begin(), walk.runs.end());
        for (const SectorRange& r : walk.runs) at += runBytes(r);
    }
    for (const SectorRange& c : cells_) {
        starts_.push_back(size_);
        if (c.last >= c.first) size_ += (static_cast<int64_t>(c.last) - c.first + 1) * kSector;
    }
    starts_.push_back(size_);
}

TitleStream::~TitleStream() = default;

size_t TitleStream::read(void* buf, size_t n) {
    auto* out = static_cast<unsigned char*>(buf);
    size_t done = 0;
    failedSector_ = -1;
    while (done < n && pos_ < size_) {
        // The cell holding pos_: the last one that starts at or before it.
        const auto next = std::upper_bound(starts_.begin(), starts_.end() - 1, pos_);
        const auto cell = static_cast<size_t>(next - starts_.begin()) - 1;
        const int64_t inCell = pos_ - starts_[cell];
        const int64_t sector = cells_[cell].first + inCell / kSector;
        const int64_t within = inCell % kSector;
        const int64_t left = static_cast<int64_t>(n - done);
        const int64_t cellLeft = starts_[cell + 1] - pos_;
        int64_t got = 0;
        if (within == 0 && left >= kSector) {
            const int64_t blocks = std::min({left / kSector, cellLeft / kSector, kRun});
            const ssize_t r = DVDReadBlocks(dvd_->vobs, static_cast<int>(sector),
                                            static_cast<size_t>(blocks), out + done);
            if (r <= 0) {
                failedSector_ = sector;
                break;
            }
            got = r * kSector;
        } else {
            if (DVDReadBlocks(dvd_->vobs, static_cast<int>(sector), 1, sector_.data()) != 1) {
                failedSector_ = sector;
                break;
            }
            got = std::min(kSector - within, left);
            std::memcpy(out + done, sector_.data() + within, static_cast<size_t>(got));
        }
        done += static_cast<size_t>(got);
        pos_ += got;
    }
    return done;
}

void TitleStream::write(const void*, size_t) {
    throw Error("Stream write error");
}

void TitleStream::seek(int64_t pos) {
    pos_ = std::clamp<int64_t>(pos, 0, size_);
}

std::string TitleStream::failure(std::string_view what) const {
    std::string text =
        std::string(what) + ": title set " + std::to_string(titleSet_) + " of \"" + disc_ + "\". ";
    if (failedSector_ >= 0)
        return text + "Sector " + std::to_string(failedSector_) + " cannot be read.";
    return text + "The title ended early.";
}

} // namespace qf
