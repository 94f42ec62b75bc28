#include "engine/catalogue.h"

#include <exception>

#include "engine/context.h"

namespace qf {

std::string VideoKindName(int32_t e) {
    if (e == -1) return "No video stream";
    if (e == 0x55 || e == 0x56) return "VC-1.stream";
    if (e == 0xE0 || e == 0xE1) return "MPEG-2.stream";
    if (e == 0xE2 || e == 0xE3) return "H.264.stream";
    return "";
}

std::string AudioKindName(int32_t e) {
    if (e == -1) return "No audio stream";
    if (e >= 0x80 && e <= 0x87) return "DD.stream";
    if (e >= 0x88 && e <= 0x8F) return "DTSHD.stream";
    if (e >= 0xA0 && e <= 0xA7) return "LPCM.stream";
    if (e >= 0xB0 && e <= 0xB7) return "MLP.stream";
    if (e >= 0xC0 && e <= 0xCF) return "DD+.stream";
    if (e >= kMpegAudioEntry + 0xC0 && e <= kMpegAudioEntry + 0xCF) return "MPA.stream";
    return "";
}

std::string SubKindName(int32_t e) {
    if (e == -1) return "No subpicture stream";
    if (e >= 0x20 && e <= 0x3F) return "Subpicture";
    if (e >= 0x60 && e <= 0x7F) return "Ext.Subpicture";
    return "";
}

Context::Context(JobEvents& e) : events(&e) {
    ReadBuffer.resize(kChunkSize);
    resetCatalogue();
}

void Context::log(std::string_view msg) {
    events->logAppended(std::string(msg));
}

void Context::slog(std::string_view text, int panel) {
    events->statusChanged(panel == 0 ? 0 : 1, std::string(text));
}

void Context::resetCatalogue() {
    VideoSlots.fill(-1);
    AudioSlots.fill(-1);
    SubSlots.fill(-1);
}

void Context::resetFacts() {
    for (auto& f : VideoFacts) f = {};
    for (auto& f : AudioFacts) f = {};
    for (auto& f : SubFacts) f = {};
}

void Context::fillReportTables() {
    NameTables::fill();
}

void Context::closeOutputs(bool check) {
    // Every output is closed, even after one failed; the first failure is reported.
    std::exception_ptr failed;
    auto close = [&](std::unique_ptr<Stream>& out) {
        if (out && check) try {
                out->close();
            } catch (...) {
                if (!failed) failed = std::current_exception();
            }
        out.reset();
    };
    for (auto& o : VideoOut) close(o);
    for (auto& o : AudioOut) close(o);
    for (auto& o : SubOut) close(o);
    if (failed) std::rethrow_exception(failed);
}

} // namespace qf
