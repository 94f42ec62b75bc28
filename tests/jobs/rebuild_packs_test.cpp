// The rebuild writer on packs laid out in other ways than one packet right after a
// 14-byte pack header: pack headers with stuffing, and system headers followed by a
// packet in the same pack.
#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "job_fixture.h"
#include "jobs/rebuild.h"
#include "support/ffmpeg.h"
#include "support/memory_stream.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

// A track of the title: its PES stream id and sub-stream id, and the bytes it carries.
struct Track {
    uint8_t streamId;
    uint8_t subId; // private stream 1 only
    Bytes data;
};

// The title as the source holds it (rebuilt = false), or as the rebuild should leave it:
// tracks mapped to 0 left out, the others carrying their new ids from `ids`, the system
// headers' bounds those of the kept streams. Pack k has k % 8 stuffing bytes; every
// fifth pack starts with a system header, with the next packet of a track after it in
// the same pack (every fifth pack, so that each track has one). A track left out leaves such a
// packet behind as padding of its length.
Bytes title(const std::vector<Track>& tracks, const std::map<uint8_t, uint8_t>& ids, bool rebuilt,
            int* paddingLeft = nullptr) {
    const size_t chunk = 1700;
    Bytes out;
    std::vector<size_t> done(tracks.size(), 0);
    for (size_t k = 0;; ++k) {
        // Track k in turn, or the next with bytes left.
        size_t t = k % tracks.size(), tried = 0;
        while (tried < tracks.size() && done[t] >= tracks[t].data.size()) {
            t = (t + 1) % tracks.size();
            ++tried;
        }
        if (tried == tracks.size()) break;
        const Track& tr = tracks[t];
        const uint8_t own = tr.streamId == 0xBD ? tr.subId : tr.streamId;
        const uint8_t mapped = rebuilt && ids.count(own) ? ids.at(own) : own;
        const uint8_t id = mapped == 0 ? own : mapped;
        const bool nav = k % 5 == 0;
        Bytes pack = packHeader(90000 + 300 * k, 25200, static_cast<int>(k % 8));
        if (nav) {
            const Bytes sys = rebuilt ? systemHeader(2, 1) : systemHeader(4, 1);
            pack.insert(pack.end(), sys.begin(), sys.end());
        }
        Pes pes;
        pes.streamId = tr.streamId == 0xBD ? 0xBD : id;
        if (done[t] == 0) pes.pts = 90000;
        const size_t n = std::min(chunk, tr.data.size() - done[t]);
        if (tr.streamId == 0xBD)
            pes.subHeader = tr.subId < 0x40 ? subHeaderSub(id) : subHeaderAudio(id);
        pes.payload.assign(tr.data.begin() + static_cast<std::ptrdiff_t>(done[t]),
                           tr.data.begin() + static_cast<std::ptrdiff_t>(done[t] + n));
        done[t] += n;
        Bytes pkt = pesBytes(pes);
        if (rebuilt && mapped == 0) {
            if (!nav) continue;
            pkt[3] = 0xBE; // padding
            if (paddingLeft) ++*paddingLeft;
        }
        pack.insert(pack.end(), pkt.begin(), pkt.end());
        const Bytes pad = paddingPacket(kPackSize - pack.size());
        pack.insert(pack.end(), pad.begin(), pad.end());
        out.insert(out.end(), pack.begin(), pack.end());
    }
    return out;
}

Bytes repeated(const Bytes& unit, int n) {
    Bytes d;
    for (int k = 0; k < n; ++k) d.insert(d.end(), unit.begin(), unit.end());
    return d;
}

Bytes subpictureData(int units) {
    Bytes d;
    for (const Bytes& u : subUnits(units)) d.insert(d.end(), u.begin(), u.end());
    return d;
}

TEST(RebuildPacks, StuffedPacksAndPacketsAfterSystemHeadersAreDecidedOn) {
    const std::vector<Track> tracks = {
        {0xE0, 0, repeated(sample("mpeg2_720x576_50_221.m2v"), 8)},
        {0xBD, 0xC0, repeated(sample("eac3_51.eac3"), 8)},        // unticked: left out
        {0xBD, 0xC1, repeated(sample("eac3_51.eac3"), 8)},        // becomes C0
        {0xBD, 0x80, repeated(sample("ac3_48k_448k_51.ac3"), 8)}, // keeps its id
        {0xBD, 0x20, subpictureData(16)},                         // unticked: left out
        {0xBD, 0x21, subpictureData(16)},                         // becomes 20
    };
    const std::map<uint8_t, uint8_t> ids = {{0xC0, 0}, {0xC1, 0xC0}, {0x20, 0}, {0x21, 0x20}};
    const Bytes src = title(tracks, {}, false);
    int paddingLeft = 0;
    const Bytes expected = title(tracks, ids, true, &paddingLeft);
    // Some packets of left-out tracks follow system headers, and others are left out whole.
    ASSERT_GE(paddingLeft, 2);
    ASSERT_LT(expected.size(), src.size());

    RecordingEvents host;
    JobRunner ctx{host};
    auto keep = [&](Family f, size_t slot, int32_t entry, bool ticked) {
        ctx.cat.slotTable(f)[slot] = metEntry(entry);
        ctx.job.selection.at(f, slot).checked = ticked;
    };
    keep(Family::Video, 0, 0xE0, true);
    keep(Family::Audio, 0, 0xC0, false);
    keep(Family::Audio, 1, 0xC1, true);
    keep(Family::Audio, 2, 0x80, true);
    keep(Family::Subpicture, 0, 0x20, false);
    keep(Family::Subpicture, 1, 0x21, true);
    auto in = std::make_unique<MemoryStream>();
    in->data = src;
    ctx.io.SourceStream = std::move(in);
    RebuildState st;
    auto o = std::make_unique<MemoryStream>();
    MemoryStream* out = o.get();
    st.RebuiltOut = std::move(o);
    st.SourceName = "STUFFED.EVO";
    Rebuild(ctx, st);
    EXPECT_EQ(out->data, expected);

    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    TempDir dir;
    writeFile(dir / "STUFFED.rebuilt.EVO", out->data);
    const std::string listed =
        ffprobe(dir.path, "-show_entries stream=id -of csv=p=0 STUFFED.rebuilt.EVO");
    std::istringstream lines(listed);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && line.back() == ',') line.pop_back(); // the program's entry
        if (!line.empty()) got.push_back(line);
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"0x1e0", "0x20", "0x80", "0xc0"})) << listed;
}

} // namespace
} // namespace qf::test
