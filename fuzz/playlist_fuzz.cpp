// Fuzzes the playlist reader. The first byte shapes the run: its low four bits give the
// length of the source's base name taken from the bytes after it (0: "FEATURE_1"), its
// high four bits the size of the pieces an in-memory stream hands to the tag scan
// (0: whole blocks). The rest is the playlist. The whole reading then runs once more
// from a file, and both tag listings must agree wherever the block size cannot matter;
// what the reading shows must stay within its bounds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_common.h"
#include "jobs/runner.h"
#include "model/playlist_view.h"

using namespace qf;

namespace {

// Delivers at most `piece` bytes per read, so that the scan state must carry across
// reads at every possible byte.
class PiecewiseSource : public fuzz::MemorySource {
public:
    PiecewiseSource(std::vector<uint8_t> d, size_t piece)
        : MemorySource(std::move(d)), piece_(piece) {}
    size_t read(void* buf, size_t n) override {
        return MemorySource::read(buf, std::min(n, piece_));
    }

private:
    size_t piece_;
};

// The playlist as a file without touching the disk.
class MemFile {
public:
    explicit MemFile(const uint8_t* data, size_t size) {
        fd_ = memfd_create("playlist", MFD_CLOEXEC);
        if (fd_ < 0) std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t w = ::write(fd_, data + done, size - done);
            if (w <= 0) std::abort();
            done += static_cast<size_t>(w);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemFile() { ::close(fd_); }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t nameLength = std::min<size_t>(data[0] & 0x0F, size - 1);
    const size_t piece = (data[0] >> 4) ? static_cast<size_t>(data[0] >> 4) * 7 : kBlockSize;
    const std::string base = nameLength
                                 ? std::string(reinterpret_cast<const char*>(data + 1), nameLength)
                                 : std::string("FEATURE_1");
    data += 1 + nameLength;
    size -= 1 + nameLength;

    fuzz::QuietHost host;

    // The tag scan alone, fed piece by piece.
    Session scanned(host);
    std::vector<std::string> scannedListing;
    bool scanFailed = false;
    try {
        PiecewiseSource in(std::vector<uint8_t>(data, data + size), piece);
        (void)ScanXPL(scanned, in, "playlist", scannedListing);
    } catch (const Error&) {
        scanFailed = true;
    }

    // The whole reading, from a file.
    Session ctx(host);
    MemFile file(data, size);
    ctx.ui.eXPLfile = file.path();
    ctx.ui.XPLname = "VPLST000.XPL";
    ctx.ui.BaseName = base;
    bool readFailed = false;
    try {
        bReadXPLClick(ctx, ctx.ui);
    } catch (const Error&) {
        readFailed = true;
    }

    // Whatever happened, the reader let go of the file and gave the window back.
    if (ctx.io.SourceStream || !ctx.ui.mXPLVisible || !ctx.ui.bReadXPL) std::abort();
    if (scanFailed != readFailed) std::abort();
    // Without a listed title the text view keeps every tag line, as the scan made them.
    const bool listed = ctx.ui.tvXPL.size() == 5;
    if (!scanFailed && !listed && ctx.ui.mXPL != scannedListing) std::abort();
    // Only listed streams are ticked, each with a marked slot.
    for (size_t k = 0; k < ctx.ui.cbAudio.size(); ++k)
        if (ctx.ui.cbAudio[k].checked && !ctx.cat.AudioSlots[k].listed()) std::abort();
    for (size_t k = 0; k < ctx.ui.cbSub.size(); ++k)
        if (ctx.ui.cbSub[k].checked && !ctx.cat.SubSlots[k].listed()) std::abort();
    if (ctx.ui.cbVideo[0].checked && !ctx.cat.VideoSlots[0].listed()) std::abort();
    // Whatever the input, what the reading shows stays within about four times its size,
    // and no line is indented deeper than 64 levels.
    if (!readFailed) {
        size_t shown = 0;
        for (const std::string& line : ctx.ui.mXPL) {
            shown += line.size() + 1;
            if (line.size() > 128 && line.compare(0, 129, std::string(129, ' ')) == 0) std::abort();
        }
        for (const TreeNode& root : ctx.ui.tvXPL) {
            shown += root.text.size() + 1;
            for (const TreeNode& child : root.children) shown += child.text.size() + 3;
        }
        if (shown > 4 * size + (64 << 10)) std::abort();
    }
    return 0;
}
