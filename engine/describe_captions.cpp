// The report line of the captions found in a video stream's user data.
#include "engine/describe_captions.h"

namespace qf {

std::vector<std::string> captionChannelNames(const CaptionChannels& channels) {
    std::vector<std::string> names;
    for (size_t i = 0; i < channels.present.size(); ++i)
        if (channels.present[i]) names.push_back("CC" + std::to_string(i + 1));
    return names;
}

ReportLines describe(const CaptionChannels& channels, const Wording&) {
    if (!channels.any()) return {};
    std::string line = "   Closed captions: ";
    const std::vector<std::string> names = captionChannelNames(channels);
    for (size_t i = 0; i < names.size(); ++i) line += (i ? ", " : "") + names[i];
    // CC1 and CC2 ride on field 1, CC3 and CC4 on field 2.
    const bool one = channels.onField(1), two = channels.onField(2);
    line += one && two ? " (line 21, fields 1 and 2)"
            : one      ? " (line 21, field 1)"
                       : " (line 21, field 2)";
    return {line};
}

} // namespace qf
