// read --json on streams whose time stamps use the 33rd bit or cross the wrap: each
// stream's first PTS whole, and the audio's delay to the video the short way round.
#include <nlohmann/json.hpp>

#include "cli/cli_process.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

constexpr uint64_t k32 = uint64_t{1} << 32, kWrap = uint64_t{1} << 33;

Bytes packet(uint8_t id, const Bytes& sub, uint64_t pts) {
    Pes p;
    p.streamId = id;
    p.pts = pts;
    p.subHeader = sub;
    p.payload.assign(64, 0x5A);
    return pesBytes(p);
}

TEST(StampsJson, FirstPtsAndDelayOnWholeStamps) {
    struct Case {
        const char* what;
        uint64_t video, audio;
        double delayMs;
    };
    const std::vector<Case> cases = {
        {"bit 32 set in both", k32 + 0x1000, k32 + 0x1000 + 9000, 100},
        {"audio below 2^32, video above", k32 + 900, k32 - 900, -20},
        {"video before the wrap, audio after it", kWrap - 4500, 4500, 100},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = packHeader(c.video);
        for (const Bytes& b :
             {packet(0xE0, {}, c.video), packet(0xBD, subHeaderAudio(0x80), c.audio)})
            file.insert(file.end(), b.begin(), b.end());
        const std::string path = dir / "title.EVO";
        writeFile(path, file);
        const CliResult r = runCli({"read", "--json", path});
        ASSERT_EQ(r.status, 0) << r.err;
        const Json streams = Json::parse(r.out)["streams"];
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0]["first_pts"], c.video);
        EXPECT_EQ(streams[1]["first_pts"], c.audio);
        EXPECT_EQ(streams[1]["delay_ms"], c.delayMs);
    }
}

} // namespace
} // namespace qf::test
