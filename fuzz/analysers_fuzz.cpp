// Fuzzes every analyser on the same bytes, and the H.264 parameter-set fields on them.
#include <algorithm>
#include <iterator>

#include "analysers/analysers.h"
#include "fuzz_common.h"

using namespace qf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size = std::min(size, kBlockSize - 4); // room for the parameter-set header below
    fuzz::QuietHost host;
    Session ctx(host);
    ctx.fillReportTables();
    // The payload ends exactly at the end of the buffer, so that any read past the
    // bytes handed over leaves the allocation and is caught by AddressSanitizer.
    const size_t p = kBlockSize - size;
    std::copy(data, data + size, ctx.ReadBuffer.begin() + static_cast<std::ptrdiff_t>(p));
    ctx.timeSettings.decimalSeparator = (size & 1) ? ',' : '.';
    AC3info(ctx, p, size, 0);
    DTSinfo(ctx, p, size, 1);
    MLPinfo(ctx, p, size);
    LPCMinfo(ctx, p, size, false);
    LPCMinfo(ctx, p, size, true);
    MPAinfo(ctx, p, size);
    MPEG2info(ctx, p, size, 0x1234, 0x1000);
    H264info(ctx, p, size, 0x1234, 0x1000);
    VC1info(ctx, p, size, 0x1000, 0x1234);

    // The same bytes as the fields of an H.264 sequence parameter set, from profile_idc on:
    // the picture size, scaling lists and timing, which random payloads seldom reach.
    static constexpr uint8_t kParameterSet[] = {0x00, 0x00, 0x01, 0x67};
    const size_t at = kBlockSize - size - sizeof kParameterSet;
    std::copy(std::begin(kParameterSet), std::end(kParameterSet),
              ctx.ReadBuffer.begin() + static_cast<std::ptrdiff_t>(at));
    H264info(ctx, at, size + sizeof kParameterSet, 0x1234, 0x1000);
    return 0;
}
