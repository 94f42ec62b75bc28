#pragma once
// Closed captions of a demux: the line-21 captions a written MPEG-2 or H.264 video stream
// carries in its user data, one SubRip file per channel (BASE.CC1.srt … BASE.CC4.srt).
#include <string>
#include <vector>

namespace qf {

class JobRunner;
struct OutputPlan;

// Reads each written video output of the job back, decodes its captions and writes a file
// for every channel that shows any, timed from the stream's first picture. Returns the
// files written, in channel order.
std::vector<std::string> writeCaptions(JobRunner& ctx, const OutputPlan& plan);

} // namespace qf
