#pragma once
// The lines a Read writes under a stream for what its analyser decoded from the first run:
// marked-up text, each line beginning with three blanks. A payload that held several
// headers gets the lines of each, in the order the analyser met them.
#include <cstdint>
#include <string>
#include <vector>

#include "analysers/info.h"

namespace qf {

using ReportLines = std::vector<std::string>;

struct Wording {
    char decimalSeparator = '.'; // of the numbers that follow the user's locale
    int audioSlot = 0;           // which the AC-3 lines name
};

ReportLines describe(const Ac3Info& info, const Wording& w);
ReportLines describe(const DtsInfo& info, const Wording& w);
ReportLines describe(const LpcmInfo& info, const Wording& w);
ReportLines describe(const MlpInfo& info, const Wording& w);
ReportLines describe(const MpaInfo& info, const Wording& w);
ReportLines describe(const Mpeg2Info& info, const Wording& w);
ReportLines describe(const H264Info& info, const Wording& w);
ReportLines describe(const Vc1Info& info, const Wording& w);
ReportLines describe(const SubpictureInfo& info, const Wording& w);
ReportLines describe(const StreamInfo& info, const Wording& w); // none for std::monostate

// What the details say of a stream's first packet, before its analyser's lines: its time
// stamp, its id, and that it has no slot when its family was full.
struct FirstPacket {
    uint32_t pts = 0;
    int streamId = 0;
    bool hasSlot = true;
};
ReportLines describe(const FirstPacket& first);

} // namespace qf
