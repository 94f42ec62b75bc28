#pragma once
// The Read's words for the line-21 captions a video stream's user data carries.
#include <string>
#include <vector>

#include "analysers/captions.h"
#include "engine/describe.h"

namespace qf {

// "CC1", "CC3": the channels present, in order (the JSON report's list).
std::vector<std::string> captionChannelNames(const CaptionChannels& channels);
// "   Closed captions: CC1, CC3 (line 21, fields 1 and 2)"; none without a channel.
ReportLines describe(const CaptionChannels& channels, const Wording& w);

} // namespace qf
