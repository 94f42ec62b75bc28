#pragma once
// Every stream kind the program knows, in one table: the ids that carry it, its slot
// family and index rule, its names (in the log, on its check box, in the JSON report, as
// its file's extension), the sub-stream header in front of its payload, which analyser
// describes it and how the rebuild writer renumbers it. The parser, the catalogue, the
// output names, the JSON report, the rebuild writer and the help all read it; the
// lookups below are 256-entry arrays made from it when the program is compiled.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/slotmap.h"
#include "engine/stream_key.h"

namespace qf {

// Stream ids whose packets carry a second id of their own.
inline constexpr uint8_t kPrivateStream1 = 0xBD; // the sub-stream id, first payload byte
inline constexpr uint8_t kExtendedStream = 0xFD; // the stream id extension of the PES header

enum class Codec : uint8_t {
    None,
    Mpeg2,
    H264,
    Vc1,
    Ac3,
    Eac3,
    Dts,
    TrueHd,
    Mlp, // LPCM sub-stream 0xA1 of a DVD-Audio object
    Lpcm,
    MpegAudio,
    Subpicture,
    ExtSubpicture,
    MpegAudioHigh, // PES ids D0-DF: passed over by the parser, renumbered by the rebuild
};
inline constexpr size_t kCodecCount = static_cast<size_t>(Codec::MpegAudioHigh) + 1;

// How an id gives its slot within the family.
enum class SlotRule : uint8_t { Low1Bit, Low3Bits, Low4Bits, Low5Bits, FromFirst };

// Which analyser describes a stream's first payload.
enum class Analyser : uint8_t { None, Mpeg2, H264, Vc1, Ac3, Dts, Lpcm, Mlp, Mpa, Subpicture };

// What the rebuild writer does with a stream's packs.
enum class Renumber : uint8_t {
    None,      // nothing: copied as read
    KeepId,    // follows its box, keeps its id
    Masked,    // follows its box; new id = (id AND mask) OR the kept count
    FromFirst, // follows its box; new id = the kind's first id + the kept count
};
// Masked and FromFirst give the new id only where it lies within the kind's first id to
// RebuildRule::last and no other kept stream has it; else the rebuild writer takes the
// lowest free id of that range (jobs/rebuild.cpp).
// The kept-stream counts the rebuild writer numbers from.
enum class KeptCount : uint8_t { Video, Audio, Subpicture, ExtSubpicture };

struct RebuildRule {
    Renumber how = Renumber::None;
    uint8_t last = 0; // ids from the kind's first up to this one are renumbered; above: KeepId
    uint8_t mask = 0;
    KeptCount count = KeptCount::Video;
    constexpr bool operator==(const RebuildRule&) const = default;
};

struct CodecInfo {
    Codec codec = Codec::None;
    Family family = Family::Video;
    Carrier carrier = Carrier::PesId;
    uint8_t first = 1, last = 0; // the ids that carry it, both included
    bool parsed = true;          // the parser takes it (else only the rebuild writer knows it)
    bool aobOnly = false;        // stands in for the row of the same ids in a DVD-Audio object
    SlotRule slot = SlotRule::Low1Bit;
    // Private stream 1: bytes of the sub-stream header, the id included, before the
    // payload (a subpicture is decided at its id, audio after the first four bytes).
    uint8_t headerBytes = 0;
    bool ptsAtClaim = true; // the stream's first PTS is taken when it claims its slot
    bool clearsPts = false; // subpicture: a read pass clears the current PTS after its id
    // The read's line on meeting the stream: the codec's name (shown in bold), then these
    // words and the slot number ("MPEG-2", " video stream ").
    std::string_view foundName = {};
    std::string_view foundWords = {};
    std::string_view caption = {};   // the kind name: check box caption stem, file name part
    std::string_view json = {};      // "kind" in the JSON report
    std::string_view extension = {}; // of its file when named by codec
    // What captions and playlists call it (the caption's codec part first).
    std::array<std::string_view, 3> names = {};
    Analyser analyser = Analyser::None;
    uint8_t frameCode = 0; // video: the start code value (after 00 00 01) counted as a frame
    RebuildRule rebuild = {};
};

// clang-format off
inline constexpr std::array<CodecInfo, kCodecCount> kCodecs = {{
    {.codec = Codec::None, .parsed = false},

    {.codec = Codec::Mpeg2, .family = Family::Video, .carrier = Carrier::PesId,
     .first = 0xE0, .last = 0xE1, .slot = SlotRule::Low1Bit,
     .foundName = "MPEG-2", .foundWords = " video stream ", .caption = "MPEG-2.stream", .json = "MPEG-2",
     .extension = "m2v", .names = {"MPEG-2"}, .analyser = Analyser::Mpeg2, .frameCode = 0x00,
     .rebuild = {Renumber::Masked, 0xE1, 0xFE, KeptCount::Video}},

    {.codec = Codec::H264, .family = Family::Video, .carrier = Carrier::PesId,
     .first = 0xE2, .last = 0xE3, .slot = SlotRule::Low1Bit, .ptsAtClaim = false,
     .foundName = "H.264 (AVC)", .foundWords = " video stream ", .caption = "H.264.stream", .json = "H.264",
     .extension = "264", .names = {"H.264", "AVC"}, .analyser = Analyser::H264, .frameCode = 0x09,
     .rebuild = {Renumber::Masked, 0xE3, 0xFE, KeptCount::Video}},

    {.codec = Codec::Vc1, .family = Family::Video, .carrier = Carrier::Extension,
     .first = 0x55, .last = 0x56, .slot = SlotRule::FromFirst,
     .foundName = "VC-1", .foundWords = " video stream ", .caption = "VC-1.stream", .json = "VC-1",
     .extension = "vc1", .names = {"VC-1"}, .analyser = Analyser::Vc1, .frameCode = 0x0D,
     .rebuild = {Renumber::FromFirst, 0x56, 0, KeptCount::Video}},

    // AC-3, TrueHD and LPCM (MLP) keep their ids in a rebuild.
    {.codec = Codec::Ac3, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0x80, .last = 0x87, .slot = SlotRule::Low3Bits, .headerBytes = 4,
     .foundName = "Dolby Digital", .foundWords = " audio stream ", .caption = "DD.stream", .json = "AC-3",
     .extension = "ac3", .names = {"DD", "AC-3"}, .analyser = Analyser::Ac3,
     .rebuild = {Renumber::KeepId, 0, 0, KeptCount::Audio}},

    // The rebuild renumbers 0xC0-0xC8 only; 0xC9-0xCF keep their ids.
    {.codec = Codec::Eac3, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0xC0, .last = 0xCF, .slot = SlotRule::Low4Bits, .headerBytes = 4,
     .foundName = "Dolby Digital", .foundWords = " Plus audio stream ", .caption = "DD+.stream", .json = "E-AC-3",
     .extension = "eac3", .names = {"DD+", "E-AC-3"}, .analyser = Analyser::Ac3,
     .rebuild = {Renumber::Masked, 0xC8, 0xF0, KeptCount::Audio}},

    {.codec = Codec::Dts, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0x88, .last = 0x8F, .slot = SlotRule::Low3Bits, .headerBytes = 4,
     .foundName = "DTS HD (DTS)", .foundWords = " audio stream ", .caption = "DTSHD.stream", .json = "DTS",
     .extension = "dts", .names = {"DTSHD", "DTS", "DTS-HD"}, .analyser = Analyser::Dts,
     .rebuild = {Renumber::Masked, 0x8F, 0xF8, KeptCount::Audio}},

    {.codec = Codec::TrueHd, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0xB0, .last = 0xB7, .slot = SlotRule::Low3Bits, .headerBytes = 5,
     .foundName = "Dolby TrueHD", .foundWords = " audio stream ", .caption = "MLP.stream", .json = "TrueHD",
     .extension = "thd", .names = {"MLP", "TrueHD"}, .analyser = Analyser::Mlp,
     .rebuild = {Renumber::KeepId, 0, 0, KeptCount::Audio}},

    // In a DVD-Audio object LPCM 0xA1 is MLP, still named LPCM on its box.
    {.codec = Codec::Mlp, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0xA1, .last = 0xA1, .aobOnly = true, .slot = SlotRule::Low4Bits, .headerBytes = 7,
     .foundName = "MLP", .foundWords = " audio stream ", .caption = "LPCM.stream", .json = "MLP",
     .extension = "mlp", .analyser = Analyser::Mlp,
     .rebuild = {Renumber::KeepId, 0, 0, KeptCount::Audio}},

    {.codec = Codec::Lpcm, .family = Family::Audio, .carrier = Carrier::SubStream,
     .first = 0xA0, .last = 0xA7, .slot = SlotRule::Low4Bits, .headerBytes = 7,
     .foundName = "LPCM", .foundWords = " audio stream ", .caption = "LPCM.stream", .json = "LPCM",
     .extension = "pcm", .names = {"LPCM"}, .analyser = Analyser::Lpcm,
     .rebuild = {Renumber::KeepId, 0, 0, KeptCount::Audio}},

    // Claimed when its PES header ends; entered apart from E-AC-3's ids of the same values.
    {.codec = Codec::MpegAudio, .family = Family::Audio, .carrier = Carrier::PesId,
     .first = 0xC0, .last = 0xCF, .slot = SlotRule::Low4Bits,
     .foundName = "MPEG", .foundWords = " audio stream ", .caption = "MPA.stream", .json = "MPEG audio",
     .extension = "mpa", .names = {"MPA", "MPEG"}, .analyser = Analyser::Mpa,
     .rebuild = {Renumber::Masked, 0xCF, 0xF0, KeptCount::Audio}},

    // Plain and extended subpictures are numbered apart in a rebuild.
    {.codec = Codec::Subpicture, .family = Family::Subpicture, .carrier = Carrier::SubStream,
     .first = 0x20, .last = 0x3F, .slot = SlotRule::Low5Bits, .headerBytes = 1, .clearsPts = true,
     .foundName = "Subpicture", .foundWords = " stream ", .caption = "Subpicture", .json = "Subpicture",
     .extension = "sup", .analyser = Analyser::Subpicture,
     .rebuild = {Renumber::Masked, 0x3F, 0xE0, KeptCount::Subpicture}},

    {.codec = Codec::ExtSubpicture, .family = Family::Subpicture, .carrier = Carrier::SubStream,
     .first = 0x60, .last = 0x7F, .slot = SlotRule::Low5Bits, .headerBytes = 1,
     .foundName = "Extended subpicture", .foundWords = " stream ", .caption = "Ext.Subpicture",
     .json = "Extended subpicture", .extension = "sup", .analyser = Analyser::Subpicture,
     .rebuild = {Renumber::Masked, 0x7F, 0xE0, KeptCount::ExtSubpicture}},

    // MPEG audio past 0xCF is no stream of the parser's, but the rebuild renumbers it.
    {.codec = Codec::MpegAudioHigh, .family = Family::Audio, .carrier = Carrier::PesId,
     .first = 0xD0, .last = 0xDF, .parsed = false, .slot = SlotRule::Low4Bits,
     .rebuild = {Renumber::Masked, 0xDF, 0xF8, KeptCount::Audio}},
}};
// clang-format on

constexpr const CodecInfo& codecInfo(Codec c) {
    return kCodecs[static_cast<size_t>(c)];
}

namespace codecs_detail {

constexpr bool rowsInOrder() {
    for (size_t k = 0; k < kCodecCount; ++k)
        if (static_cast<size_t>(kCodecs[k].codec) != k) return false;
    return true;
}
static_assert(rowsInOrder(), "kCodecs holds the codecs in the order of their enum");

// The codec of each id of one carrier: the rows the parser takes (with the DVD-Audio
// stand-ins or without them), or every row that has a rebuild rule.
enum class Rows : uint8_t { Parsed, ParsedAob, Rebuild };
constexpr std::array<Codec, 256> idTable(Carrier carrier, Rows rows) {
    std::array<Codec, 256> t{};
    for (const CodecInfo& c : kCodecs) {
        if (c.codec == Codec::None || c.carrier != carrier) continue;
        const bool take = rows == Rows::Rebuild  ? c.rebuild.how != Renumber::None && !c.aobOnly
                          : rows == Rows::Parsed ? c.parsed && !c.aobOnly
                                                 : c.parsed;
        if (!take) continue;
        for (int id = c.first; id <= c.last; ++id) {
            Codec& at = t[static_cast<size_t>(id)];
            // A stand-in replaces the row it stands in for; no other ids may be shared.
            if (at == Codec::None || c.aobOnly)
                at = c.codec;
            else if (!codecInfo(at).aobOnly)
                throw "two codecs claim one id";
        }
    }
    return t;
}

constexpr std::array<Codec, kEntryLimit> entryTable() {
    std::array<Codec, kEntryLimit> t{};
    for (const CodecInfo& c : kCodecs) {
        if (!c.parsed || c.aobOnly) continue;
        for (int id = c.first; id <= c.last; ++id) {
            Codec& at = t[static_cast<size_t>(entryOf({c.carrier, static_cast<uint8_t>(id)}))];
            if (at != Codec::None) throw "two codecs claim one catalogue entry";
            at = c.codec;
        }
    }
    return t;
}

} // namespace codecs_detail

inline constexpr auto kPesCodecs =
    codecs_detail::idTable(Carrier::PesId, codecs_detail::Rows::Parsed);
inline constexpr auto kSubStreamCodecs =
    codecs_detail::idTable(Carrier::SubStream, codecs_detail::Rows::Parsed);
inline constexpr auto kAobSubStreamCodecs =
    codecs_detail::idTable(Carrier::SubStream, codecs_detail::Rows::ParsedAob);
inline constexpr auto kExtensionCodecs =
    codecs_detail::idTable(Carrier::Extension, codecs_detail::Rows::Parsed);
inline constexpr auto kEntryCodecs = codecs_detail::entryTable();

// The codec of a packet as the parser decides it: by its PES id, and for private stream 1
// by its sub-stream id, for an extended stream by its stream id extension (`subId`).
constexpr Codec codecOf(uint8_t pesId, uint8_t subId = 0, bool aob = false) {
    if (pesId == kPrivateStream1) return (aob ? kAobSubStreamCodecs : kSubStreamCodecs)[subId];
    if (pesId == kExtendedStream) return kExtensionCodecs[subId];
    return kPesCodecs[pesId];
}

// The codec of a catalogue entry; None for an empty slot or a playlist's marker.
constexpr Codec codecOfEntry(int32_t entry, bool aob = false) {
    if (entry < 0 || entry >= kEntryLimit) return Codec::None;
    const Codec c = kEntryCodecs[static_cast<size_t>(entry)];
    if (aob && c != Codec::None && codecInfo(c).carrier == Carrier::SubStream)
        return kAobSubStreamCodecs[static_cast<size_t>(entry)];
    return c;
}

// The codec of a catalogue entry of `family`; None also for an entry of another family.
// What the catalogue's kind names, the file extensions and the JSON report go by.
constexpr Codec codecOfEntry(Family family, int32_t entry, bool aob = false) {
    const Codec c = codecOfEntry(entry, aob);
    return codecInfo(c).family == family ? c : Codec::None;
}

constexpr int32_t firstEntry(Codec c) {
    return entryOf({codecInfo(c).carrier, codecInfo(c).first});
}

// The stream of a catalogue entry the codec table has ({} for any other): the entry's
// codec gives the carrier, and entryOf() adds no more than whole multiples of 256.
constexpr StreamKey keyOfEntry(int32_t entry) {
    const Codec c = codecOfEntry(entry);
    if (c == Codec::None) return {};
    return {codecInfo(c).carrier, static_cast<uint8_t>(entry & 0xFF)};
}

namespace codecs_detail {
constexpr bool entriesRoundTrip() {
    for (int32_t e = 0; e < kEntryLimit; ++e)
        if (codecOfEntry(e) != Codec::None && entryOf(keyOfEntry(e)) != e) return false;
    return true;
}
static_assert(entriesRoundTrip(), "every catalogue entry names one stream");
} // namespace codecs_detail

// The slot the index rule of its codec gives an id.
constexpr int ruleSlot(Codec c, int id) {
    switch (codecInfo(c).slot) {
    case SlotRule::Low1Bit:
        return id & 0x01;
    case SlotRule::Low3Bits:
        return id & 0x07;
    case SlotRule::Low4Bits:
        return id & 0x0F;
    case SlotRule::Low5Bits:
        return id & 0x1F;
    case SlotRule::FromFirst:
        break;
    }
    return id - codecInfo(c).first;
}

// What the parser does at a start code: begin a packet of a stream the PES id names, of
// private stream 1 or of an extended stream, pass a packet over whole (program stream
// map, padding, private stream 2), or nothing (no packet it acts on).
enum class PesAction : uint8_t { None, Stream, Private, Extended, Skip };
inline constexpr std::array<PesAction, 256> kPesActions = [] {
    std::array<PesAction, 256> t{};
    for (size_t id = 0; id < 256; ++id)
        if (kPesCodecs[id] != Codec::None) t[id] = PesAction::Stream;
    t[kPrivateStream1] = PesAction::Private;
    t[kExtendedStream] = PesAction::Extended;
    t[0xBC] = t[0xBE] = t[0xBF] = PesAction::Skip;
    return t;
}();

// The rebuild writer's view: the codec whose rule handles an id of a carrier (every
// carrier's ids share one 8-bit renumbering space), and the rule for that very id.
inline constexpr auto kRebuildPesCodecs =
    codecs_detail::idTable(Carrier::PesId, codecs_detail::Rows::Rebuild);
inline constexpr auto kRebuildSubStreamCodecs =
    codecs_detail::idTable(Carrier::SubStream, codecs_detail::Rows::Rebuild);
inline constexpr auto kRebuildExtensionCodecs =
    codecs_detail::idTable(Carrier::Extension, codecs_detail::Rows::Rebuild);

constexpr Codec rebuildCodecOf(Carrier carrier, uint8_t id) {
    return carrier == Carrier::PesId       ? kRebuildPesCodecs[id]
           : carrier == Carrier::SubStream ? kRebuildSubStreamCodecs[id]
                                           : kRebuildExtensionCodecs[id];
}

constexpr Renumber renumberOf(Codec c, uint8_t id) {
    const RebuildRule& r = codecInfo(c).rebuild;
    if ((r.how == Renumber::Masked || r.how == Renumber::FromFirst) && id > r.last)
        return Renumber::KeepId;
    return r.how;
}

// The renumbering rule of each id of the shared 8-bit space: the codec whose rule
// renumbers it (codecs of different carriers that share an id share its rule).
inline constexpr std::array<Codec, 256> kRenumberCodecs = [] {
    std::array<Codec, 256> t{};
    for (Carrier carrier : {Carrier::PesId, Carrier::SubStream, Carrier::Extension})
        for (size_t id = 0; id < 256; ++id) {
            const Codec c = rebuildCodecOf(carrier, static_cast<uint8_t>(id));
            const Renumber how = renumberOf(c, static_cast<uint8_t>(id));
            if (how != Renumber::Masked && how != Renumber::FromFirst) continue;
            if (t[id] != Codec::None) {
                const RebuildRule &a = codecInfo(t[id]).rebuild, &b = codecInfo(c).rebuild;
                const bool same =
                    a.how == b.how && a.mask == b.mask && a.count == b.count &&
                    (a.how != Renumber::FromFirst || codecInfo(t[id]).first == codecInfo(c).first);
                if (!same) throw "two renumbering rules for one id";
            }
            t[id] = c;
        }
    return t;
}();

// The new id the rebuild writer gives `id` as the kept stream number `kept` of its count.
constexpr uint8_t renumberedId(Codec c, uint8_t id, uint8_t kept) {
    const CodecInfo& info = codecInfo(c);
    if (info.rebuild.how == Renumber::FromFirst) return static_cast<uint8_t>(info.first + kept);
    return static_cast<uint8_t>((id & info.rebuild.mask) | kept);
}

} // namespace qf
