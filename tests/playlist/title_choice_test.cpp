// Which title of a playlist plays the source.
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#include "engine/paths.h"
#include "jobs/runner.h"
#include "playlist/playlist.h"
#include "support/ps_builder.h"
#include "support/recording_events.h"

namespace qf::test {
namespace {

const std::string kDisc = std::string(QUILLFEN_TEST_DATA) + "/playlist/VPLST000.XPL";

// The title is the one with a clip of the source: the clip's time map named as the source
// without its extension, the whole name in any letter case; no other mention counts.
TEST(PlaylistTitle, IsTheOneWithAClipOfTheSource) {
    RecordingEvents events;
    JobRunner ctx{events};
    TempDir dir;
    const std::string tenth = dir / "TENTH.XPL";
    std::ofstream(tenth) << R"(<Playlist displayName="Ten"><TitleSet>
<Title id="Ten" displayName="FEATURE_1 bonus"><PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_10.MAP"><Audio streamNumber="2" mediaAttr="1"/></PrimaryAudioVideoClip></Title>
<Title id="One"><PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP"><Audio streamNumber="1" mediaAttr="1"/></PrimaryAudioVideoClip>
<SubstituteAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1B.MAP"/></Title>
</TitleSet></Playlist>)";
    const struct {
        std::string playlist, source, id; // id "" : no title plays the source
    } cases[] = {
        {tenth, "/disc/HVDVD_TS/FEATURE_1.EVO", "One"},
        {tenth, "/disc/HVDVD_TS/FEATURE_10.EVO", "Ten"},
        {tenth, "/disc/HVDVD_TS/FEATURE_1B.EVO", "One"}, // any clip of the title
        {tenth, "/disc/HVDVD_TS/FEATURE.EVO", ""},
        {tenth, "/disc/HVDVD_TS/FEATURE_100.EVO", ""},
        {tenth, "/disc/Ten.EVO", ""}, // the title's own id is no clip
        {kDisc, "/rip/Bonus.EVO", "Bonus"},
        {kDisc, "/rip/trailer.evo", "Trailer"},
        {kDisc, "/disc/Making.EVO", ""},   // a word of a display name
        {kDisc, "/disc/HVDVD_TS.EVO", ""}, // a part of the clip's path
        {kDisc, "/disc/MAP.EVO", ""},
        {kDisc, "/disc/FEATURE_1.MAP.EVO", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        Playlist playlist;
        readPlaylist(ctx, {c.playlist, namePart(c.playlist), namePart(c.source), c.source},
                     playlist);
        EXPECT_EQ(playlist.listed, !c.id.empty());
        if (c.id.empty()) {
            EXPECT_TRUE(playlist.titles.empty());
            continue;
        }
        ASSERT_EQ(playlist.titles.size(), 1u);
        EXPECT_EQ(playlist.titles[0].id, c.id);
        EXPECT_EQ(playlist.listing.front().find("<Title id=\"" + c.id + "\""),
                  playlist.listing.front().find('<'));
        EXPECT_NE(playlist.listing.back().find("</Title>"), std::string::npos);
    }
}

} // namespace
} // namespace qf::test
