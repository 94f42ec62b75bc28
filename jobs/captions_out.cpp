#include "jobs/captions_out.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "analysers/captions.h"
#include "engine/codecs.h"
#include "engine/eia608.h"
#include "engine/paths.h"
#include "jobs/outputs.h"
#include "jobs/runner.h"
#include "jobs/srt.h"

namespace qf {

namespace {

// The captions of one written video file, or none when it cannot be read again.
std::vector<CaptionPair> captionPairs(const JobRunner& ctx, const std::string& path,
                                      VideoCoding coding) {
    const int at = ctx.outputFolder ? ctx.outputFolder->fd() : AT_FDCWD;
    const std::string name = ctx.outputFolder ? namePart(path) : path;
    const int fd = ::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    struct Close {
        int fd;
        ~Close() { ::close(fd); }
    } close{fd};
    CaptionReader reader(coding);
    constexpr size_t kRun = 1 << 20;
    const auto buffer = std::make_unique<uint8_t[]>(kRun);
    bool first = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.get(), kRun);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        // The stream's first picture is the captions' time 0, as it is the video track's.
        reader.feed({buffer.get(), static_cast<size_t>(got)},
                    first ? std::optional<int64_t>(0) : std::nullopt);
        first = false;
    }
    reader.finish();
    return reader.takePairs();
}

} // namespace

std::vector<std::string> writeCaptions(JobRunner& ctx, const OutputPlan& plan) {
    const std::string& prefix = plan.prefix;
    std::vector<std::string> written;
    if (!ctx.job.output.captions) return written;
    for (const PlannedStream& s : plan.streams) {
        if (s.family != Family::Video) continue;
        const size_t k = s.slot;
        const SlotEntry& held = ctx.cat.VideoSlots[k];
        if (held.empty()) continue;
        const Codec codec = codecOfEntry(Family::Video, held.entry());
        if (codec != Codec::Mpeg2 && codec != Codec::H264) continue;
        const std::vector<CaptionPair> pairs = captionPairs(
            ctx, s.out.path, codec == Codec::H264 ? VideoCoding::H264 : VideoCoding::Mpeg2);
        if (pairs.empty()) continue;
        // A caption still shown at the end stays up for a second more.
        const Line21Decoder decoded = decodeLine21(pairs, pairs.back().time + 90000);
        for (int channel = 1; channel <= 4; ++channel) {
            if (decoded.cues(channel).empty()) continue;
            // The first video stream's captions are the title's; a second one's say which.
            const std::string name = prefix + (k == 0 ? "" : ".video" + std::to_string(k)) + ".CC" +
                                     std::to_string(channel) + ".srt";
            const std::string text = srtText(decoded.cues(channel));
            auto out = createOutput(ctx, name);
            ctx.tell(FileCreated{name, std::nullopt});
            out->write(text.data(), text.size());
            out->close();
            written.push_back(name);
        }
    }
    return written;
}

} // namespace qf
