// Fuzzes the caption reader on the same bytes as MPEG-2 and as H.264, cut into runs at
// places the bytes choose, and the line-21 decoder on every pair it finds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysers/captions.h"
#include "engine/describe_captions.h"
#include "engine/eia608.h"
#include "jobs/srt.h"

using namespace qf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    for (const VideoCoding coding : {VideoCoding::Mpeg2, VideoCoding::H264}) {
        CaptionReader reader(coding);
        size_t at = 0;
        while (at < size) {
            const size_t n = std::min<size_t>(size - at, 1 + bytes[at] % 61);
            reader.feed(bytes.subspan(at, n),
                        (n & 1) ? std::optional<int64_t>(at * 3003) : std::nullopt);
            at += n;
        }
        reader.finish();
        (void)describe(reader.channels(), {});
        Line21Decoder decoder;
        int64_t last = 0;
        for (const CaptionPair& p : reader.takePairs()) {
            decoder.feed(p.field, p.b1, p.b2, p.time);
            last = p.time;
        }
        // The bytes themselves as pairs too, which reaches every command.
        for (size_t i = 0; i + 2 < size; i += 3)
            decoder.feed(static_cast<uint8_t>(1 + (bytes[i] & 1)), bytes[i + 1], bytes[i + 2],
                         last + static_cast<int64_t>(i));
        decoder.finish(last + static_cast<int64_t>(size) + 1);
        for (int channel = 1; channel <= 4; ++channel) (void)srtText(decoder.cues(channel));
    }
    return 0;
}
