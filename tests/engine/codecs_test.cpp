// The codec table against the program: every id of every carrier, sent through the
// parser, the catalogue, the output naming and the rebuild writer, must come out as the
// table says, so that no view can drift from the others.
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
#include "support/recording_host.h"

namespace qf::test {
namespace {

// The names users and scripts see, written out: changing one changes the program's
// captions, file names or JSON.
// The line a read logs when it meets a stream, as users have always read it: written out
// here, not taken from the codec table.
std::string foundLine(Codec codec) {
    switch (codec) {
    case Codec::Mpeg2:
        return "[b]MPEG-2[/b] video stream ";
    case Codec::H264:
        return "[b]H.264 (AVC)[/b] video stream ";
    case Codec::Vc1:
        return "[b]VC-1[/b] video stream ";
    case Codec::Ac3:
        return "[b]Dolby Digital[/b] audio stream ";
    case Codec::Eac3:
        return "[b]Dolby Digital[/b] Plus audio stream ";
    case Codec::Dts:
        return "[b]DTS HD (DTS)[/b] audio stream ";
    case Codec::TrueHd:
        return "[b]Dolby TrueHD[/b] audio stream ";
    case Codec::Mlp:
        return "[b]MLP[/b] audio stream ";
    case Codec::Lpcm:
        return "[b]LPCM[/b] audio stream ";
    case Codec::MpegAudio:
        return "[b]MPEG[/b] audio stream ";
    case Codec::Subpicture:
        return "[b]Subpicture[/b] stream ";
    case Codec::ExtSubpicture:
        return "[b]Extended subpicture[/b] stream ";
    case Codec::None:
    case Codec::MpegAudioHigh:
        break;
    }
    return "";
}

TEST(CodecTable, NamesAsTheyAreSeen) {
    struct Seen {
        Codec codec;
        uint8_t first, last;
        const char *caption, *json, *extension;
    };
    const Seen seen[] = {
        {Codec::Mpeg2, 0xE0, 0xE1, "MPEG-2.stream", "MPEG-2", "m2v"},
        {Codec::H264, 0xE2, 0xE3, "H.264.stream", "H.264", "264"},
        {Codec::Vc1, 0x55, 0x56, "VC-1.stream", "VC-1", "vc1"},
        {Codec::Ac3, 0x80, 0x87, "DD.stream", "AC-3", "ac3"},
        {Codec::Eac3, 0xC0, 0xCF, "DD+.stream", "E-AC-3", "eac3"},
        {Codec::Dts, 0x88, 0x8F, "DTSHD.stream", "DTS", "dts"},
        {Codec::TrueHd, 0xB0, 0xB7, "MLP.stream", "TrueHD", "thd"},
        {Codec::Mlp, 0xA1, 0xA1, "LPCM.stream", "MLP", "mlp"},
        {Codec::Lpcm, 0xA0, 0xA7, "LPCM.stream", "LPCM", "pcm"},
        {Codec::MpegAudio, 0xC0, 0xCF, "MPA.stream", "MPEG audio", "mpa"},
        {Codec::Subpicture, 0x20, 0x3F, "Subpicture", "Subpicture", "sup"},
        {Codec::ExtSubpicture, 0x60, 0x7F, "Ext.Subpicture", "Extended subpicture", "sup"},
    };
    for (const Seen& s : seen) {
        const CodecInfo& c = codecInfo(s.codec);
        SCOPED_TRACE(s.caption);
        EXPECT_EQ(c.first, s.first);
        EXPECT_EQ(c.last, s.last);
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

void expectAgreement(const Probe& p) {
    RecordingHost host;
    JobRunner ctx(host);
    ctx.job.source = p.aob ? "/nowhere/AUDIO_TS/ATS_01_1.aob" : "/nowhere/HVDVD_TS/FEATURE_1.EVO";
    ctx.job.pass.details = false;
    const Bytes pkt = packet(p, p.id);
    const uint8_t pesId = p.carrier == Carrier::PesId       ? p.id
                          : p.carrier == Carrier::SubStream ? kPrivateStream1
                                                            : kExtendedStream;
    const Codec codec = codecOf(pesId, p.id, p.aob);
    const CodecInfo& c = codecInfo(codec);

    // The parser: what it announces and where it enters the stream.
    ctx.io.SourceStream = std::make_unique<MemoryStream>(pkt);
    demux(ctx, kReadPass);
    std::vector<std::string> found;
    for (const std::string& line : host.lines)
        if (line.find(" found!") != std::string::npos) found.push_back(line);
    int slot = -1;
    int32_t entry = -1;
    if (codec == Codec::None) {
        EXPECT_TRUE(found.empty());
        for (Family f : {Family::Video, Family::Audio, Family::Subpicture})
            for (int k = 0; k < kFamilySlots[static_cast<int>(f)]; ++k)
                EXPECT_EQ(ctx.cat.slotTable(f)[k], -1);
    } else {
        slot = ruleSlot(codec, p.id);
        entry = p.id + c.entryOffset;
        EXPECT_EQ(found,
                  std::vector<std::string>{foundLine(codec) + std::to_string(slot) + " found!"});
        EXPECT_EQ(ctx.cat.slotTable(c.family)[slot], entry);

        // The catalogue's names, the file extension and the JSON kind go by the entry.
        EXPECT_EQ(codecOfEntry(c.family, entry, p.aob), codec);
        EXPECT_EQ(VideoKindName(entry), c.family == Family::Video ? c.caption : "");
        EXPECT_EQ(AudioKindName(entry), c.family == Family::Audio ? c.caption : "");
        EXPECT_EQ(SubKindName(entry), c.family == Family::Subpicture ? c.caption : "");
        EXPECT_EQ(codecExtension(ctx, c.family, static_cast<size_t>(slot)), c.extension);

        // The sub-stream header: a demux pass writes what follows it.
        if (slot < kSelectableSlots[static_cast<int>(c.family)]) {
            auto out = std::make_unique<MemoryStream>();
            MemoryStream& written = *out;
            outputOf(ctx, c.family, static_cast<size_t>(slot)) = std::move(out);
            ctx.job.selection.at(c.family, static_cast<size_t>(slot)).checked = true;
            ctx.io.SourceStream = std::make_unique<MemoryStream>(pkt);
            demux(ctx, kDemuxPass);
            Bytes carried;
            if (p.carrier == Carrier::SubStream) {
                carried = {p.id};
                carried.insert(carried.end(), kHeaderRest.begin(), kHeaderRest.end());
            }
            carried.insert(carried.end(), kPayload.begin(), kPayload.end());
            const size_t header = p.carrier == Carrier::SubStream ? c.headerBytes : 0;
            EXPECT_EQ(written.data,
                      Bytes(carried.begin() + static_cast<ptrdiff_t>(header), carried.end()));
            ctx.io.closeOutputs(false);
        }
    }

    // The rebuild writer: whether the pack follows its box, and the id it is given.
    if (p.carrier == Carrier::PesId && p.id == 0xBB) return; // a system header: bounds
    const Codec rule = rebuildCodecOf(p.carrier, p.id);
    const Renumber how = renumberOf(rule, p.id);
    if (codec != Codec::None) {
        EXPECT_EQ(codecInfo(rule).rebuild, c.rebuild);
    }
    const bool renumbered = how == Renumber::Masked || how == Renumber::FromFirst;
    const Bytes pack = packOf(pkt);
    const Bytes kept = packOf(packet(p, renumbered ? renumberedId(rule, p.id, 0) : p.id));
    const bool hasBox = slot >= 0 && slot < kSelectableSlots[static_cast<int>(c.family)];
    EXPECT_EQ(rebuilt(ctx, pack, c.family, slot, true), kept);
    EXPECT_EQ(rebuilt(ctx, pack, c.family, slot, false),
              how != Renumber::None && hasBox ? Bytes{} : kept);
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
