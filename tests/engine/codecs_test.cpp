// Every id of every carrier, sent through the parser, the catalogue, the output naming and
// the rebuild writer, must come out as the formats assign the id, so that no view can drift
// from them or from the others.
#include "engine/codecs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/demux.h"
#include "engine/markup.h"
#include "jobs/outputs.h"
#include "jobs/rebuild.h"
#include "jobs/runner.h"
#include "support/memory_stream.h"
#include "support/recording_events.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

// The names users and scripts see, written out: changing one changes the program's
// captions, file names or JSON.
struct Seen {
    Codec codec;
    const char *caption, *json, *extension;
};
const Seen kSeen[] = {
    {Codec::Mpeg2, "MPEG-2.stream", "MPEG-2", "m2v"},
    {Codec::H264, "H.264.stream", "H.264", "264"},
    {Codec::Vc1, "VC-1.stream", "VC-1", "vc1"},
    {Codec::Ac3, "DD.stream", "AC-3", "ac3"},
    {Codec::Eac3, "DD+.stream", "E-AC-3", "eac3"},
    {Codec::Dts, "DTSHD.stream", "DTS", "dts"},
    {Codec::TrueHd, "MLP.stream", "TrueHD", "thd"},
    {Codec::Mlp, "LPCM.stream", "MLP", "mlp"},
    {Codec::Lpcm, "LPCM.stream", "LPCM", "pcm"},
    {Codec::MpegAudio, "MPA.stream", "MPEG audio", "mpa"},
    {Codec::Subpicture, "Subpicture", "Subpicture", "sup"},
    {Codec::ExtSubpicture, "Ext.Subpicture", "Extended subpicture", "sup"},
};

const Seen& seen(Codec codec) {
    for (const Seen& s : kSeen)
        if (s.codec == codec) return s;
    ADD_FAILURE() << "no names for codec " << static_cast<int>(codec);
    return kSeen[0];
}

TEST(CodecTable, NamesAsTheyAreSeen) {
    for (const Seen& s : kSeen) {
        const CodecInfo& c = codecInfo(s.codec);
        SCOPED_TRACE(s.caption);
        EXPECT_EQ(c.caption, s.caption);
        EXPECT_EQ(c.json, s.json);
        EXPECT_EQ(c.extension, s.extension);
    }
}

struct Probe {
    Carrier carrier;
    uint8_t id;
    bool aob; // the source is a DVD-Audio object
};

// The stream kinds by the ids the formats give them, written out as numbers: MPEG-2
// systems' stream ids (video 1110 xxxx, audio 110x xxxx), the sub-stream ids of private
// stream 1 on DVD-Video (subpicture 20-3F, AC-3 80-87, DTS 88-8F, LPCM A0-A7), DVD-Audio
// (A1 MLP) and HD DVD (extended subpicture, TrueHD, Dolby Digital Plus), and VC-1's stream
// id extensions. Each row says what a read makes of the id and what a rebuild does.
enum class In : uint8_t { Any, DvdAudio, NotDvdAudio };
struct Kind {
    Carrier carrier;
    uint8_t first, last;
    In in;
    Codec codec;
    Family family;
    uint8_t slotMask;  // slot = (id AND mask), or id - first for VC-1 (mask 0)
    uint8_t header;    // sub-stream header bytes (the id included) before the payload
    int keptAs;        // the id a rebuild gives the first stream kept; -1: its own
    const char* found; // the read's line, up to the slot number
};
constexpr int kOwn = -1;
const Kind kKinds[] = {
    {Carrier::PesId, 0xE0, 0xE1, In::Any, Codec::Mpeg2, Family::Video, 0x01, 0, 0xE0,
     "[b]MPEG-2[/b] video stream "},
    {Carrier::PesId, 0xE2, 0xE3, In::Any, Codec::H264, Family::Video, 0x01, 0, 0xE2,
     "[b]H.264 (AVC)[/b] video stream "},
    {Carrier::Extension, 0x55, 0x56, In::Any, Codec::Vc1, Family::Video, 0x00, 0, 0x55,
     "[b]VC-1[/b] video stream "},
    {Carrier::PesId, 0xC0, 0xCF, In::Any, Codec::MpegAudio, Family::Audio, 0x0F, 0, 0xC0,
     "[b]MPEG[/b] audio stream "},
    {Carrier::SubStream, 0x20, 0x3F, In::Any, Codec::Subpicture, Family::Subpicture, 0x1F, 1, 0x20,
     "[b]Subpicture[/b] stream "},
    {Carrier::SubStream, 0x60, 0x7F, In::Any, Codec::ExtSubpicture, Family::Subpicture, 0x1F, 1,
     0x60, "[b]Extended subpicture[/b] stream "},
    {Carrier::SubStream, 0x80, 0x87, In::Any, Codec::Ac3, Family::Audio, 0x07, 4, kOwn,
     "[b]Dolby Digital[/b] audio stream "},
    {Carrier::SubStream, 0x88, 0x8F, In::Any, Codec::Dts, Family::Audio, 0x07, 4, 0x88,
     "[b]DTS HD (DTS)[/b] audio stream "},
    {Carrier::SubStream, 0xA0, 0xA7, In::NotDvdAudio, Codec::Lpcm, Family::Audio, 0x0F, 7, kOwn,
     "[b]LPCM[/b] audio stream "},
    {Carrier::SubStream, 0xA0, 0xA0, In::DvdAudio, Codec::Lpcm, Family::Audio, 0x0F, 7, kOwn,
     "[b]LPCM[/b] audio stream "},
    {Carrier::SubStream, 0xA1, 0xA1, In::DvdAudio, Codec::Mlp, Family::Audio, 0x0F, 7, kOwn,
     "[b]MLP[/b] audio stream "},
    {Carrier::SubStream, 0xA2, 0xA7, In::DvdAudio, Codec::Lpcm, Family::Audio, 0x0F, 7, kOwn,
     "[b]LPCM[/b] audio stream "},
    {Carrier::SubStream, 0xB0, 0xB7, In::Any, Codec::TrueHd, Family::Audio, 0x07, 5, kOwn,
     "[b]Dolby TrueHD[/b] audio stream "},
    // A rebuild renumbers Dolby Digital Plus up to C8 only.
    {Carrier::SubStream, 0xC0, 0xC8, In::Any, Codec::Eac3, Family::Audio, 0x0F, 4, 0xC0,
     "[b]Dolby Digital[/b] Plus audio stream "},
    {Carrier::SubStream, 0xC9, 0xCF, In::Any, Codec::Eac3, Family::Audio, 0x0F, 4, kOwn,
     "[b]Dolby Digital[/b] Plus audio stream "},
};
// MPEG audio D0-DF: no stream of a read's, but a rebuild renumbers it from D0 and D8.
int keptAsUnread(const Probe& p) {
    if (p.carrier != Carrier::PesId || p.id < 0xD0 || p.id > 0xDF) return kOwn;
    return p.id < 0xD8 ? 0xD0 : 0xD8;
}
// The boxes a window shows: 2 video, 16 audio, 16 subpicture.
constexpr size_t kBoxes[] = {2, 16, 16};

// Sub-stream header bytes after the id, and a payload: no start code among them.
const Bytes kHeaderRest = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86};
const Bytes kPayload = {0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98};

// One packet of the stream with id `id` of the probe's carrier, without time stamps.
Bytes packet(const Probe& p, uint8_t id) {
    Pes pes;
    pes.payload = kPayload;
    switch (p.carrier) {
    case Carrier::PesId:
        pes.streamId = id;
        break;
    case Carrier::SubStream:
        pes.streamId = kPrivateStream1;
        pes.subHeader = {id};
        pes.subHeader.insert(pes.subHeader.end(), kHeaderRest.begin(), kHeaderRest.end());
        break;
    case Carrier::Extension:
        pes.streamId = kExtendedStream;
        pes.streamIdExt = id;
        break;
    }
    return pesBytes(pes);
}

Bytes packOf(const Bytes& pkt) {
    Bytes p = packHeader();
    p.insert(p.end(), pkt.begin(), pkt.end());
    const Bytes pad = paddingPacket(kPackSize - p.size());
    p.insert(p.end(), pad.begin(), pad.end());
    return p;
}

std::unique_ptr<Stream>& outputOf(JobRunner& ctx, Family family, size_t slot) {
    return family == Family::Video   ? ctx.io.VideoOut[slot]
           : family == Family::Audio ? ctx.io.AudioOut[slot]
                                     : ctx.io.SubOut[slot];
}

// The pack as the rebuild writer writes it with the stream's box ticked or not; empty when
// it leaves the pack out.
Bytes rebuilt(JobRunner& ctx, const Bytes& pack, Family family, int slot, bool ticked) {
    if (slot >= 0 && slot < kSelectableSlots[static_cast<int>(family)])
        ctx.job.selection.at(family, static_cast<size_t>(slot)).checked = ticked;
    RebuildState st;
    ctx.io.SourceStream = std::make_unique<MemoryStream>(pack);
    auto out = std::make_unique<MemoryStream>();
    MemoryStream& written = *out;
    st.RebuiltOut = std::move(out);
    st.SourceName = "x";
    Rebuild(ctx, st);
    return written.data;
}

const Kind* kindOf(const Probe& p) {
    for (const Kind& k : kKinds)
        if (k.carrier == p.carrier && p.id >= k.first && p.id <= k.last &&
            (k.in == In::Any || (k.in == In::DvdAudio) == p.aob))
            return &k;
    return nullptr;
}

void expectAgreement(const Probe& p) {
    RecordingEvents events;
    JobRunner ctx(events);
    ctx.job.source = p.aob ? "/nowhere/AUDIO_TS/ATS_01_1.aob" : "/nowhere/HVDVD_TS/FEATURE_1.EVO";
    ctx.job.pass.details = false;
    const Bytes pkt = packet(p, p.id);
    const uint8_t pesId = p.carrier == Carrier::PesId       ? p.id
                          : p.carrier == Carrier::SubStream ? kPrivateStream1
                                                            : kExtendedStream;
    const Kind* kind = kindOf(p);
    EXPECT_EQ(codecOf(pesId, p.id, p.aob), kind ? kind->codec : Codec::None);

    // The parser: what it announces and where it enters the stream.
    ctx.io.SourceStream = std::make_unique<MemoryStream>(pkt);
    demux(ctx, kReadPass);
    std::vector<std::string> found;
    for (const std::string& line : events.lines)
        if (line.find(" found!") != std::string::npos) found.push_back(line);
    int slot = -1;
    bool hasBox = false;
    if (!kind) {
        EXPECT_TRUE(found.empty());
        for (Family f : {Family::Video, Family::Audio, Family::Subpicture})
            for (int k = 0; k < kFamilySlots[static_cast<int>(f)]; ++k)
                EXPECT_TRUE(ctx.cat.slotTable(f)[static_cast<size_t>(k)].empty());
    } else {
        const Family family = kind->family;
        slot = kind->slotMask ? p.id & kind->slotMask : p.id - kind->first;
        hasBox = static_cast<size_t>(slot) < kBoxes[static_cast<int>(family)];
        const int32_t entry = kind->codec == Codec::MpegAudio ? p.id + 0x100 : p.id;
        EXPECT_EQ(found, std::vector<std::string>{kind->found + std::to_string(slot) + " found!"});
        for (Family f : {Family::Video, Family::Audio, Family::Subpicture})
            for (int k = 0; k < kFamilySlots[static_cast<int>(f)]; ++k)
                EXPECT_EQ(ctx.cat.slotTable(f)[static_cast<size_t>(k)],
                          f == family && k == slot ? metEntry(entry) : SlotEntry());

        // The catalogue's names, the file extension and the JSON kind go by the entry.
        const Seen& names = seen(kind->codec);
        EXPECT_EQ(codecOfEntry(family, entry, p.aob), kind->codec);
        EXPECT_EQ(VideoKindName(entry), family == Family::Video ? names.caption : "");
        EXPECT_EQ(AudioKindName(entry), family == Family::Audio ? names.caption : "");
        EXPECT_EQ(SubKindName(entry), family == Family::Subpicture ? names.caption : "");
        EXPECT_EQ(codecExtension(ctx, family, static_cast<size_t>(slot)), names.extension);

        // The sub-stream header: a demux pass writes what follows it.
        if (hasBox) {
            auto out = std::make_unique<MemoryStream>();
            MemoryStream& written = *out;
            outputOf(ctx, family, static_cast<size_t>(slot)) = std::move(out);
            ctx.job.selection.at(family, static_cast<size_t>(slot)).checked = true;
            ctx.io.SourceStream = std::make_unique<MemoryStream>(pkt);
            demux(ctx, kDemuxPass);
            Bytes carried;
            if (p.carrier == Carrier::SubStream) {
                carried = {p.id};
                carried.insert(carried.end(), kHeaderRest.begin(), kHeaderRest.end());
            }
            carried.insert(carried.end(), kPayload.begin(), kPayload.end());
            EXPECT_EQ(written.data, Bytes(carried.begin() + kind->header, carried.end()));
            ctx.io.closeOutputs(false);
        }
    }

    // The rebuild writer: whether the pack follows its box, and the id it is given.
    if (p.carrier == Carrier::PesId && p.id == 0xBB) return; // a system header: bounds
    const int keptAs = kind ? kind->keptAs : keptAsUnread(p);
    const Bytes pack = packOf(pkt);
    const Bytes kept = packOf(packet(p, keptAs == kOwn ? p.id : static_cast<uint8_t>(keptAs)));
    const Family family = kind ? kind->family : Family::Video;
    EXPECT_EQ(rebuilt(ctx, pack, family, slot, true), kept);
    EXPECT_EQ(rebuilt(ctx, pack, family, slot, false), hasBox ? Bytes{} : kept);
}

TEST(CodecTable, EveryIdAgreesInEveryView) {
    for (int n = 0; n < 256; ++n) {
        const auto id = static_cast<uint8_t>(n);
        std::vector<Probe> probes = {{Carrier::SubStream, id, false},
                                     {Carrier::SubStream, id, true}};
        if (id != kPrivateStream1 && id != kExtendedStream)
            probes.push_back({Carrier::PesId, id, false});
        if (id < 0x80) probes.push_back({Carrier::Extension, id, false}); // a 7-bit field
        for (const Probe& p : probes) {
            SCOPED_TRACE(testing::Message()
                         << "carrier " << static_cast<int>(p.carrier) << " id 0x" << std::hex << n
                         << (p.aob ? " in a DVD-Audio object" : ""));
            expectAgreement(p);
        }
    }
}

} // namespace
} // namespace qf::test
