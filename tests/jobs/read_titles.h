#pragma once
// Builder-made titles for the Read job tests.
#include <initializer_list>

#include "job_fixture.h"

namespace qf::test {

// FEATURE_1.EVO: VC-1 (6 frames), E-AC-3 0xC0 and 0xC1, TrueHD 0xB2, subpicture 0x20.
inline Bytes richTitle() {
    PsMuxer m;
    m.add(vc1Track(vc1Units(6)));
    m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 3), subHeaderAudio(0xC0)));
    m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 2), subHeaderAudio(0xC1)));
    m.add(audioTrack(repeatUnit(sample("truehd_48k_51.thd"), 4), subHeaderTrueHD(0xB2)));
    m.add(subTrack(0x20, subUnits(2)));
    return m.build();
}

inline Bytes titleWith(int frames, std::initializer_list<uint8_t> eac3Ids, bool withSub,
                       uint64_t firstPts = 90000) {
    PsMuxer m;
    auto video = vc1Track(vc1Units(frames));
    video.ptsStart = firstPts;
    m.add(std::move(video));
    for (uint8_t id : eac3Ids)
        m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 2), subHeaderAudio(id)));
    if (withSub) m.add(subTrack(0x20, subUnits(1)));
    return m.build();
}

// More than 4 MiB, so that passes hand control to the window at least once.
inline Bytes bigTitle() {
    PsMuxer m;
    m.add(vc1Track(vc1Units(2200, 1900)));
    return m.build();
}

} // namespace qf::test
