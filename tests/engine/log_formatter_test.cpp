// The words of the events the logs of the jobs' tests leave out.
#include "engine/log_formatter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qf {
namespace {

using Lines = std::vector<std::string>;

TEST(LogFormatter, LinesOfEvents) {
    const LogFormatter f{TimeSettings{}};
    auto stop = [](StopReason reason, Lines files) {
        Stopped e;
        e.reason = reason;
        e.writes = true;
        e.files = std::move(files);
        return e;
    };
    struct Case {
        Words words;
        Lines lines;
    };
    const Case cases[] = {
        {f.words(FileCreated{"/out/A [1].ac3", -83}),
         {"Creating /out/A \x01"
          "1\x02.ac3 (delay \u221283 ms)"}},
        {f.words(FileCreated{"B.sup", 0}), {"Creating B.sup (delay 0 ms)"}},
        {f.words(stop(StopReason::Cancel, {"/o/A.ac3", "/o/B.m2v"})),
         {"Cancelled: A.ac3 and B.m2v are incomplete.", ""}},
        {f.words(stop(StopReason::Cancel, {"/o/A.ac3", "/o/B.m2v", "/o/C.sup"})),
         {"Cancelled: A.ac3, B.m2v and C.sup are incomplete.", ""}},
        {f.words(stop(StopReason::Error, {})), {"Cancelled: no file was written.", ""}},
        {f.words(Stopped{StopReason::Error, -1, {}, -1, false, {}}), {"Cancelled.", ""}},
        {f.words(SystemHeaderRead{1, 1}), {"It contains 1 video stream and 1 audio stream."}},
        {f.words(LateStream{0x82, Family::Audio, 2, "DD.stream.02", true}), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.words.lines, c.lines);
}

} // namespace
} // namespace qf
