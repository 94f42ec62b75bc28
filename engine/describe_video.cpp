// The report lines of the video analysers' results and of a subpicture stream's format.
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>

#include "engine/describe.h"
#include "engine/numbers.h"

namespace qf {

namespace {

const char* aspectLine(int code) {
    switch (code) {
    case 0:
        return "   Aspect ratio = forbidden";
    case 1:
        return "   Aspect ratio = [bl]1:1[/bl] (square samples)";
    case 2:
        return "   Aspect ratio = [bl]4:3[/bl]";
    case 3:
        return "   Aspect ratio = [bl]16:9[/bl]";
    case 4:
        return "   Aspect ratio = [bl]2.21:1[/bl]";
    default:
        return "   Aspect ratio = reserved";
    }
}

const char* frameRateLine(int code) {
    switch (code) {
    case 0:
        return "   Frame rate = forbidden";
    case 1:
        return "   Frame rate = [bl]23.976[/bl] fps";
    case 2:
        return "   Frame rate = [bl]24[/bl] fps";
    case 3:
        return "   Frame rate = [bl]25[/bl] fps";
    case 4:
        return "   Frame rate = [bl]29.97[/bl] fps";
    case 5:
        return "   Frame rate = [bl]30[/bl] fps";
    case 6:
        return "   Frame rate = [bl]50[/bl] fps";
    case 7:
        return "   Frame rate = [bl]59.94[/bl] fps";
    case 8:
        return "   Frame rate = [bl]60[/bl] fps";
    default:
        return "   Frame rate = reserved";
    }
}

const char* aspectText(int code) {
    static const char* const texts[16] = {
        "unspecified",
        "[bl]1:1[/bl] (square samples)",
        "[bl]12:11[/bl] (704x576 4:3)",
        "[bl]10:11[/bl] (704x480 4:3)",
        "[bl]16:11[/bl] (704x576 16:9)",
        "[bl]40:33[/bl] (704x480 16:9)",
        "[bl]24:11[/bl] (352x576 4:3)",
        "[bl]20:11[/bl] (352x480 4:3)",
        "[bl]32:11[/bl] (352x576 16:9)",
        "[bl]80:33[/bl] (352x480 16:9)",
        "[bl]18:11[/bl] (48$576 4:3)",
        "[bl]15:11[/bl] (48$480 4:3)",
        "[bl]64:33[/bl] (528x576 16:9)",
        "[bl]160:99[/bl] (528x480 16:9)",
        "Reserved",
        "", // 15: the ratio is coded explicitly, which is not shown
    };
    return texts[code & 0x0F];
}

} // namespace

ReportLines describe(const Mpeg2Info& info, const Wording&) {
    ReportLines out;
    for (const auto& item : info.found) {
        if (const auto* s = std::get_if<Mpeg2SequenceFound>(&item)) {
            out.push_back("   Sequence Header found");
            out.push_back("   " + std::to_string(s->picturesBefore) +
                          " frames before first Sequence Header");
        } else if (const auto* size = std::get_if<Mpeg2Size>(&item)) {
            out.push_back("   size = [bl]" + std::to_string(size->width) + "[/bl]x[bl]" +
                          std::to_string(size->height) + "[/bl]");
        } else if (const auto* a = std::get_if<Mpeg2AspectRate>(&item)) {
            out.push_back(aspectLine(a->aspect));
            out.push_back(frameRateLine(a->rate));
        } else if (const auto* rate = std::get_if<Mpeg2BitRate>(&item)) {
            out.push_back("  Sequence header bitrate = [bl]" +
                          std::to_string(rate->value * 400 / 1000) + "[/bl] kbps");
        } else if (const auto* picture = std::get_if<Mpeg2IllegalPicture>(&item)) {
            out.push_back("   illegal picture_coding_type = " +
                          std::to_string(picture->codingType));
        } else if (const auto* pts = std::get_if<Mpeg2FirstPts>(&item)) {
            char hex[9];
            std::snprintf(hex, sizeof hex, "%08X", pts->pts);
            out.push_back(std::string("   First Video PTS = ") + hex);
        } else if (const auto* p = std::get_if<Mpeg2Progressive>(&item)) {
            out.push_back("   Progressive Sequence = " + std::to_string(p->progressive ? 1 : 0));
        }
    }
    return out;
}

ReportLines describe(const H264Info& info, const Wording& w) {
    ReportLines out;
    for (const auto& item : info.found) {
        if (const auto* f = std::get_if<H264FramesBeforeI>(&item)) {
            out.push_back("   " + std::to_string(f->accessUnits) + " frames before first I-frame");
        } else if (const auto* profile = std::get_if<H264Profile>(&item)) {
            out.push_back(std::string("   ") + h264ProfileName(profile->idc));
        } else if (const auto* level = std::get_if<H264Level>(&item)) {
            out.push_back("   Level = " + level->name());
        } else if (const auto* size = std::get_if<H264Size>(&item)) {
            out.push_back("   size = " + std::to_string(size->width) + "x" +
                          std::to_string(size->height));
        } else if (const auto* rate = std::get_if<H264FrameRate>(&item)) {
            out.push_back(
                "   Frame rate = [bl]" +
                generalDecimal(std::nearbyint(rate->fps * 1000) / 1000, w.decimalSeparator) +
                "[/bl] fps");
        }
    }
    return out;
}

ReportLines describe(const Vc1Info& info, const Wording& w) {
    const char sep = w.decimalSeparator;
    ReportLines out;
    for (const auto& item : info.found) {
        if (std::holds_alternative<Vc1SequenceFound>(item)) {
            out.push_back("   Sequence Header found");
        } else if (const auto* before = std::get_if<Vc1FramesBefore>(&item)) {
            out.push_back("   " + std::to_string(before->frames) + " frames before first I-frame");
        } else if (const auto* pl = std::get_if<Vc1ProfileLevel>(&item)) {
            out.push_back(pl->advanced() ? "   Advanced Profile" : "   Reserved Profile");
            out.push_back("   Level = " + pl->levelName());
            out.push_back(((pl->byte & 0x06) >> 1) == 1 ? "   Chroma Format = 4:2:0"
                                                        : "   Chroma Format = Reserved");
        } else if (const auto* size = std::get_if<Vc1Size>(&item)) {
            out.push_back("   Size = [bl]" + std::to_string(size->width) + "[/bl]x[bl]" +
                          std::to_string(size->height) + "[/bl]");
        } else if (const auto* scan = std::get_if<Vc1Scan>(&item)) {
            out.push_back("   Pulldown = " + std::to_string(scan->pulldown ? 1 : 0));
            out.push_back("   Interlace = " + std::to_string(scan->interlace ? 1 : 0));
        } else if (const auto* dw = std::get_if<Vc1DisplayWidth>(&item)) {
            out.push_back("   Display Horizontal size = " + std::to_string(dw->pixels));
        } else if (const auto* dh = std::get_if<Vc1DisplayHeight>(&item)) {
            out.push_back("   Display Vertical size = " + std::to_string(dh->pixels));
        } else if (const auto* aspect = std::get_if<Vc1Aspect>(&item)) {
            out.push_back(std::string("   Aspect ratio = ") + aspectText(aspect->code));
        } else if (const auto* ind = std::get_if<Vc1FrameRateInd>(&item)) {
            out.push_back("   Frame Rate =" + generalDecimal(ind->fps(), sep));
        } else if (const auto* codes = std::get_if<Vc1FrameRateCodes>(&item)) {
            if (codes->nr == 0)
                out.push_back("   Forbidden Frame Rate!");
            else if (codes->nr >= 8)
                out.push_back("   Reserved Frame Rate!");
            if (codes->dr == 0)
                out.push_back("   Forbidden Frame Rate!");
            else if (codes->dr >= 3)
                out.push_back("   Reserved Frame Rate!");
            // A code without a value shows a rate of 0 rather than dividing by zero.
            const double rate = std::nearbyint(codes->fps() * 1000) / 1000;
            out.push_back("   Frame Rate = [bl]" + generalDecimal(rate, sep) + "[/bl] (" +
                          std::to_string(codes->numerator()) + "/" +
                          std::to_string(codes->denominator()) + ")");
        } else if (const auto* pts = std::get_if<Vc1FirstPts>(&item)) {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llX",
                          static_cast<unsigned long long>(static_cast<uint64_t>(pts->pts)));
            out.push_back(std::string("   First Video PTS = ") + hex);
        }
    }
    return out;
}

ReportLines describe(const SubpictureInfo& info, const Wording&) {
    return {info.eightBit ? "   Format = [bl]8bitRLE[/bl]" : "   Format = [bl]2bitRLE[/bl]"};
}

ReportLines describe(const StreamInfo& info, const Wording& w) {
    return std::visit(
        [&w](const auto& i) -> ReportLines {
            if constexpr (std::is_same_v<std::decay_t<decltype(i)>, std::monostate>)
                return {};
            else
                return describe(i, w);
        },
        info);
}

ReportLines describe(const FirstPacket& first) {
    char pts[16], id[8];
    std::snprintf(pts, sizeof pts, "%08X", first.pts);
    std::snprintf(id, sizeof id, "%02X", static_cast<unsigned>(first.streamId));
    ReportLines lines = {std::string("   First PTS = ") + pts, std::string("   Stream id = ") + id};
    if (!first.hasSlot) lines.emplace_back("   No free slot: this stream cannot be selected");
    return lines;
}

} // namespace qf
