// Fuzzes every analyser on the same bytes, and the H.264 parameter-set fields on them; what
// each decodes is put into the report's words too.
#include <algorithm>
#include <iterator>

#include "analysers/analysers.h"
#include "engine/demux.h"
#include "engine/describe.h"
#include "fuzz_common.h"

using namespace qf;

namespace {

void word(const StreamInfo& info, char separator) {
    (void)describe(info, {separator, 0});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size = std::min(size, kBlockSize - 4); // room for the parameter-set header below
    fuzz::QuietHost host;
    PassIo io;
    Catalogue cat;
    RunControl control;
    PassEnv ctx(io, cat, control, host);
    // The payload ends exactly at the end of the buffer, so that any read past the
    // bytes handed over leaves the allocation and is caught by AddressSanitizer.
    const size_t p = kBlockSize - size;
    std::copy(data, data + size, ctx.io.ReadBuffer.begin() + static_cast<std::ptrdiff_t>(p));
    const char sep = (size & 1) ? ',' : '.';
    const std::span<const uint8_t> run = runBytes(ctx, p, size);
    word(parseAc3(run, ctx.tables()), sep);
    word(parseDts(ctx.block(), p, p + run.size()), sep);
    word(parseMlp(run), sep);
    word(parseLpcm(ctx.block(), p, false), sep);
    word(parseLpcm(ctx.block(), p, true), sep);
    word(parseMpa(run), sep);
    word(parseMpeg2(run, 0x1234), sep);
    word(parseH264(run), sep);
    word(parseVc1(run, 0x1234), sep);

    // The same bytes as the fields of an H.264 sequence parameter set, from profile_idc on:
    // the picture size, scaling lists and timing, which random payloads seldom reach.
    static constexpr uint8_t kParameterSet[] = {0x00, 0x00, 0x01, 0x67};
    const size_t at = kBlockSize - size - sizeof kParameterSet;
    std::copy(std::begin(kParameterSet), std::end(kParameterSet),
              ctx.io.ReadBuffer.begin() + static_cast<std::ptrdiff_t>(at));
    word(parseH264(runBytes(ctx, at, size + sizeof kParameterSet)), sep);
    return 0;
}
