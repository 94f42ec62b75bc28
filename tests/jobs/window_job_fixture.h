#pragma once
// The job tests that still drive the jobs through the window model's buttons.
#include <span>

#include "job_fixture.h"
#include "model/session.h"
#include "model/window.h"
#include "support/recording_host.h"

namespace qf::test {

// What choosing a source (and an output folder) in the window does.
inline void chooseSource(Session& ctx, const std::string& path, const std::string& outDir = "") {
    ctx.ui.eEVOfile = path;
    EVOadj(ctx.ui);
    if (!outDir.empty()) ctx.ui.eWorkdir = outDir;
}

inline void streamFilesOnly(Session& ctx) {
    streamFilesOnly(ctx.ui.outputChoices);
}

class WindowJobTest : public ::testing::Test {
protected:
    WindowJobTest() { streamFilesOnly(ctx); }
    RecordingHost host;
    Session ctx{host};
    TempDir dir;

    // Chooses a source file the way dropping it on the window does.
    void choose(const std::string& path) { chooseSource(ctx, path); }
    Lines plainLines() const {
        Lines out;
        for (const auto& l : host.lines) out.push_back(plainText(l));
        return out;
    }
    int countLines(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : plainLines()) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    bool hasLine(const std::string& line) const {
        for (const auto& l : plainLines())
            if (l == line) return true;
        return false;
    }
    // Ticks exactly the given boxes of one family.
    void tickOnly(Family family, std::initializer_list<int> slots) {
        std::span<CheckBox> boxes = family == Family::Video   ? std::span<CheckBox>(ctx.ui.cbVideo)
                                    : family == Family::Audio ? std::span<CheckBox>(ctx.ui.cbAudio)
                                                              : std::span<CheckBox>(ctx.ui.cbSub);
        for (size_t k = 0; k < boxes.size(); ++k) {
            bool on = false;
            for (int s : slots) on = on || static_cast<size_t>(s) == k;
            setStreamChecked(ctx.ui, family, static_cast<int>(k), on);
        }
    }
    bool allOutputsClosed() const {
        for (const auto& o : ctx.io.VideoOut)
            if (o) return false;
        for (const auto& o : ctx.io.AudioOut)
            if (o) return false;
        for (const auto& o : ctx.io.SubOut)
            if (o) return false;
        return !ctx.io.SourceStream;
    }
};

} // namespace qf::test
