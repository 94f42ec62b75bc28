#include "engine/catalogue.h"

#include <exception>

#include "engine/codecs.h"
#include "engine/pass_io.h"

namespace qf {

namespace {

// The kind name of a family's entry; the same in every source (LPCM 0xA1 is named LPCM
// in a DVD-Audio object too).
std::string kindName(Family family, int32_t e) {
    return std::string(codecInfo(codecOfEntry(family, e)).caption);
}

} // namespace

std::string VideoKindName(int32_t e) {
    return e == -1 ? "No video stream" : kindName(Family::Video, e);
}

std::string AudioKindName(int32_t e) {
    return e == -1 ? "No audio stream" : kindName(Family::Audio, e);
}

std::string SubKindName(int32_t e) {
    return e == -1 ? "No subpicture stream" : kindName(Family::Subpicture, e);
}

void PassIo::closeOutputs(bool check) {
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
