// Fuzzes every analyser on the same bytes.
#include <algorithm>

#include "analysers/analysers.h"
#include "fuzz_common.h"

using namespace qf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size = std::min(size, kBlockSize);
    fuzz::QuietHost host;
    Context ctx(host);
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
    return 0;
}
