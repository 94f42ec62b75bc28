#pragma once
// Which LPCM streams a demux converts, and the facts it converts them by: the choice of
// the request, and what the last Read job found in the stream's LPCM header.
#include <cstddef>

#include "engine/pcm_out.h"

namespace qf {

struct Catalogue;
struct JobRequest;
struct PassIo;

// The format audio slot `slot` is written in under `job`, with the stream's facts in
// `facts` when it is converted. Raw for a stream that is no LPCM (MLP included), one whose
// header no Read job saw or whose facts describe nothing convertible, and by choice.
PcmFormat lpcmOutput(const Catalogue& cat, const JobRequest& job, size_t slot,
                     LpcmFacts* facts = nullptr);

// Puts a converter in front of every LPCM output of the running job that lpcmOutput
// converts, by the slots the outputs were named by; one already converting stays as it is.
void convertLpcmOutputs(PassIo& io, const Catalogue& cat, const JobRequest& job);

} // namespace qf
