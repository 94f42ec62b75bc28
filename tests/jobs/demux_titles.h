#pragma once
// Builder-made EVO titles for the Demux job tests: VC-1 video, two E-AC-3 streams, TrueHD
// and a subpicture stream, each known byte for byte; and a bench that has read one.
#include <utility>
#include <vector>

#include "job_fixture.h"

namespace qf::test {

struct Title {
    std::vector<Bytes> video, eac3a, eac3b, truehd, subs;
    Bytes build() const {
        PsMuxer m;
        m.add(vc1Track(video));
        if (!eac3a.empty()) m.add(audioTrack(eac3a, subHeaderAudio(0xC0)));
        if (!eac3b.empty()) m.add(audioTrack(eac3b, subHeaderAudio(0xC1)));
        if (!truehd.empty()) m.add(audioTrack(truehd, subHeaderTrueHD(0xB2)));
        if (!subs.empty()) m.add(subTrack(0x20, subs));
        return m.build();
    }
};

inline Title videoOnly(std::vector<Bytes> units) {
    Title t;
    t.video = std::move(units);
    return t;
}

inline Title fullTitle() {
    Title t;
    t.video = vc1Units(5);
    t.eac3a = repeatUnit(sample("eac3_51.eac3"), 3);
    t.eac3b = repeatUnit(sample("eac3_51.eac3"), 2);
    t.truehd = repeatUnit(sample("truehd_48k_51.thd"), 6);
    t.subs = subUnits(3);
    return t;
}

class DemuxJobTest : public JobTest {
protected:
    void readAndChoose(const std::string& path) {
        choose(path);
        bench.read();
        host.lines.clear();
        host.status0.clear();
    }
};

} // namespace qf::test
