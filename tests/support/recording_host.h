#pragma once
// A host for tests of the window model: records what recording_events.h records, and the
// questions it is asked.
#include <string>
#include <vector>

#include "model/host.h"
#include "support/recording_events.h"

namespace qf::test {

class RecordingHost : public Recording<Host> {
public:
    std::vector<std::string> questions;
    bool answer = false; // what askYesNo returns

    bool askYesNo(const std::string& q) override {
        questions.push_back(q);
        return answer;
    }
};

} // namespace qf::test
