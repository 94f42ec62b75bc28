#include "engine/lpcm_output.h"

#include "engine/catalogue.h"
#include "engine/codecs.h"
#include "engine/pass_io.h"
#include "engine/paths.h"
#include "engine/pcm_stream.h"
#include "engine/request.h"

namespace qf {

PcmFormat lpcmOutput(const Catalogue& cat, const JobRequest& job, size_t slot, LpcmFacts* facts) {
    using Pcm = OutputChoices::Pcm;
    const Pcm choice = job.output.pcm;
    const PcmFormat format = choice == Pcm::Flac                                 ? PcmFormat::Flac
                             : choice == Pcm::Wav                                ? PcmFormat::Wav
                             : choice == Pcm::Auto && job.output.mkvmergeOptions ? PcmFormat::Flac
                                                                                 : PcmFormat::Raw;
    if (format == PcmFormat::Raw || slot >= cat.AudioFacts.size()) return PcmFormat::Raw;
    const SlotEntry& held = cat.slotTable(Family::Audio)[slot];
    const int32_t entry = held.entry();
    const bool aob = upperExt(job.source) == ".AOB";
    const StreamFacts& known = cat.facts(Family::Audio, slot);
    if (!held.met() || known.entry != entry ||
        codecOfEntry(Family::Audio, entry, aob) != Codec::Lpcm)
        return PcmFormat::Raw;
    for (const StreamInfo& found : known.found) {
        const auto* info = std::get_if<LpcmInfo>(&found);
        if (info == nullptr || !info->found) continue;
        LpcmFacts f;
        f.layout = info->dvdVideo ? LpcmLayout::DvdVideo
                   : aob          ? LpcmLayout::DvdAudio
                                  : LpcmLayout::HdDvd;
        f.bits = info->bitsPerSample().value_or(0);
        f.rate = info->samplingRate().value_or(0);
        f.channels = info->channelCount().value_or(0);
        f.assignment = info->channels;
        if (f.layout == LpcmLayout::DvdAudio) {
            f.bits2 = info->group2Bits().value_or(0);
            f.rate2 = info->group2Rate().value_or(0);
        }
        try {
            LpcmUnpacker check(f); // facts it cannot convert leave the stream raw
        } catch (const Error&) {
            return PcmFormat::Raw;
        }
        if (facts != nullptr) *facts = f;
        return format;
    }
    return PcmFormat::Raw;
}

void convertLpcmOutputs(PassIo& io, const Catalogue& cat, const JobRequest& job) {
    for (size_t k = 0; k < io.AudioOut.size(); ++k) {
        std::unique_ptr<Stream>& out = io.AudioOut[k];
        if (!out || dynamic_cast<PcmStream*>(out.get()) != nullptr) continue;
        LpcmFacts facts;
        const PcmFormat format = lpcmOutput(cat, job, k, &facts);
        if (format != PcmFormat::Raw)
            out = std::make_unique<PcmStream>(std::move(out), facts, format);
    }
}

} // namespace qf
